#include "tests/support/recorders.h"

#include <cstdarg>
#include <cwchar>

namespace test_support {

namespace {

std::wstring Format(const wchar_t* format, va_list args) {
    wchar_t buf[4096];
    buf[0] = L'\0';
    std::vswprintf(buf, 4096, format, args);
    buf[4095] = L'\0';
    return buf;
}

}  // namespace

void RecordingTraceLog::TraceMessage(const wchar_t* source, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    lines.push_back({'M', source, Format(format, args)});
    va_end(args);
}

void RecordingTraceLog::TraceError(const wchar_t* source, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    lines.push_back({'E', source, Format(format, args)});
    va_end(args);
}

void RecordingTraceLog::TraceWarning(const wchar_t* source, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    lines.push_back({'W', source, Format(format, args)});
    va_end(args);
}

std::vector<std::wstring> RecordingTraceLog::ErrorTexts() const {
    std::vector<std::wstring> out;
    for (const auto& l : lines)
        if (l.kind == 'E')
            out.push_back(l.text);
    return out;
}

}  // namespace test_support
