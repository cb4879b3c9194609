#include "platform/waitable_timer.h"

#include <sys/timerfd.h>
#include <unistd.h>

namespace platform {

WaitableTimer::WaitableTimer(Kind kind)
    : fd_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)), kind_(kind) {}

WaitableTimer::~WaitableTimer() = default;

bool WaitableTimer::Arm(uint64_t dueMs) {
    itimerspec setting{};
    setting.it_value.tv_sec = static_cast<time_t>(dueMs / 1000);
    setting.it_value.tv_nsec = static_cast<long>((dueMs % 1000) * 1000000);
    // An all-zero it_value would disarm: "due now" is the smallest delay instead.
    if (dueMs == 0)
        setting.it_value.tv_nsec = 1;
    return ::timerfd_settime(fd_.Get(), 0, &setting, nullptr) == 0;
}

bool WaitableTimer::Cancel() {
    itimerspec setting{};
    return ::timerfd_settime(fd_.Get(), 0, &setting, nullptr) == 0;
}

bool WaitableTimer::TryWait() {
    if (kind_ == Kind::AutoReset) {
        uint64_t expirations;
        return ::read(fd_.Get(), &expirations, sizeof expirations) == sizeof expirations;
    }
    pollfd p{fd_.Get(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

WaitHandle WaitableTimer::Handle() const {
    return WaitHandle{
        fd_.Get(), POLLIN,
        kind_ == Kind::AutoReset ? WaitHandle::Consume::Counter : WaitHandle::Consume::None};
}

}  // namespace platform
