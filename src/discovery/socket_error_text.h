#pragma once

#include <cstdint>
#include <string>

namespace discovery {

// The text of a Windows Sockets error number (see platform::WsaFromErrno);
// "Unknown WSA error : N!" for numbers outside the table.
std::string SocketErrorText(uint32_t code);

}  // namespace discovery
