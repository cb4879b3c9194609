#include "platform/format_text.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

namespace {

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = platform::FormatText(format, args);
    va_end(args);
    return text;
}

}  // namespace

// Lines on either side of the first attempt's buffer come out whole.
TEST(FormatText, TextOfAnyLengthComesOutWhole) {
    for (size_t length : {0u, 1u, 254u, 255u, 256u, 257u, 5000u}) {
        SCOPED_TRACE(length);
        const std::string argument(length, 'a');
        EXPECT_EQ(Format("<%s|%d>", argument.c_str(), -7), "<" + argument + "|-7>");
    }
}
