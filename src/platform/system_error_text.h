#pragma once

#include <string>

namespace platform {

// The operating system's message for an error number; empty when it has none.
std::string SystemErrorText(int errnum);

}  // namespace platform
