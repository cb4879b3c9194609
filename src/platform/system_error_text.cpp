#include "platform/system_error_text.h"

#include <cstring>

namespace platform {

std::string SystemErrorText(int errnum) {
    char buf[256];
    // GNU strerror_r may return a static string instead of filling buf.
    const char* text = ::strerror_r(errnum, buf, sizeof buf);
    if (text == nullptr)
        return {};
    // glibc answers unknown numbers with "Unknown error N": that is no text.
    if (std::strncmp(text, "Unknown error", 13) == 0)
        return {};
    return text;
}

}  // namespace platform
