#pragma once

#include <cstdint>
#include <string>

// The text of a Windows Sockets error number (see platform::WsaFromErrno);
// "Unknown WSA error : N!" for numbers outside the table.
std::string WsaErrorText(uint32_t code);
