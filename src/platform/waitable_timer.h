#pragma once
// A one-shot waitable timer on timerfd. An auto-reset timer is consumed by the
// wait that returns it; a manual-reset one stays signalled until re-armed or
// cancelled (timerfd_settime clears the expiry count).

#include <cstdint>

#include "platform/unique_fd.h"
#include "platform/wait_handle.h"

namespace platform {

class WaitableTimer {
public:
    enum class Kind { AutoReset, ManualReset };

    explicit WaitableTimer(Kind kind);
    ~WaitableTimer();
    WaitableTimer(const WaitableTimer&) = delete;
    WaitableTimer& operator=(const WaitableTimer&) = delete;

    bool IsValid() const { return fd_.IsValid(); }
    // Arms the timer to fire once, dueMs from now (0 fires at once).
    bool Arm(uint64_t dueMs);
    bool Cancel();
    // True when expired; an auto-reset timer is consumed by the test.
    bool TryWait();
    WaitHandle Handle() const;

private:
    UniqueFd fd_;
    Kind kind_;
};

}  // namespace platform
