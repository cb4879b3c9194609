#include "platform/format_text.h"

#include <cstdio>

namespace platform {

std::string FormatText(const char* format, va_list args) {
    // Most lines fit here, so that formatting them once is enough.
    char line[256];
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(line, sizeof line, format, measure);
    va_end(measure);
    if (length < 0)
        return std::string();
    if (static_cast<size_t>(length) < sizeof line)
        return std::string(line, static_cast<size_t>(length));
    std::string text(static_cast<size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

}  // namespace platform
