#pragma once
// The program-wide wide-character log, callable from any thread. `source`
// names the writer and is not shown; `format` is a wide printf-style format
// (in it, %ls takes a wide string and %s a narrow one).

namespace platform {

class TraceLog {
public:
    virtual ~TraceLog() = default;
    virtual void TraceMessage(const wchar_t* source, const wchar_t* format, ...) = 0;
    virtual void TraceError(const wchar_t* source, const wchar_t* format, ...) = 0;
    virtual void TraceWarning(const wchar_t* source, const wchar_t* format, ...) = 0;
};

}  // namespace platform
