#pragma once
// Recorders standing in for the message boxes and the log: what a test
// checks instead of a screen or an Output pane. Qt-free.

#include <functional>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "platform/trace_log.h"

namespace test_support {

struct RecordedMessage {
    std::wstring text;
    platform::MessageIcon icon;
    bool operator==(const RecordedMessage&) const = default;
};

class RecordingMessageBox : public platform::MessageBox {
public:
    void ShowMessage(const std::wstring& text, platform::MessageIcon icon) override {
        messages.push_back({text, icon});
        if (onShow)
            onShow();
    }
    std::vector<RecordedMessage> messages;
    std::function<void()> onShow;  // runs "while the box is open"
};

struct RecordedTrace {
    char kind;  // 'M', 'E' or 'W'
    std::wstring source;
    std::wstring text;
    bool operator==(const RecordedTrace&) const = default;
};

class RecordingTraceLog : public platform::TraceLog {
public:
    void TraceMessage(const wchar_t* source, const wchar_t* format, ...) override;
    void TraceError(const wchar_t* source, const wchar_t* format, ...) override;
    void TraceWarning(const wchar_t* source, const wchar_t* format, ...) override;
    std::vector<RecordedTrace> lines;
    std::vector<std::wstring> ErrorTexts() const;
};

}  // namespace test_support
