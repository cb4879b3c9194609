#pragma once
// printf formatting into a string of whatever length the text needs, for
// the log functions that take a format and its arguments.

#include <cstdarg>
#include <string>

namespace platform {

// The formatted text; empty when the format cannot be applied. `args` is
// left for the caller to end.
std::string FormatText(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace platform
