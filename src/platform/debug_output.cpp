#include "platform/debug_output.h"

#include <cstdio>
#include <cstring>

namespace platform {

void DebugOutput(const char* text) {
    size_t n = std::strlen(text);
    std::fwrite(text, 1, n, stderr);
    if (n == 0 || text[n - 1] != '\n')
        std::fputc('\n', stderr);
}

}  // namespace platform
