#pragma once
// A signalable event built on eventfd: the Linux form of the auto- and
// manual-reset event objects the link and the worker threads wait on.

#include "platform/unique_fd.h"
#include "platform/wait_handle.h"

namespace platform {

class Event {
public:
    enum class Kind { AutoReset, ManualReset };

    explicit Event(Kind kind, bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // False when the descriptor could not be created (errno says why).
    bool IsValid() const { return fd_.IsValid(); }
    bool Set();
    bool Reset();
    // True when signalled; an auto-reset event is consumed by the test.
    bool TryWait();
    WaitHandle Handle() const;
    Kind GetKind() const { return kind_; }

private:
    UniqueFd fd_;
    Kind kind_;
};

}  // namespace platform
