#include "platform/wait.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace platform {
namespace {

constexpr size_t kMaxHandles = 64;
thread_local short t_lastReady[kMaxHandles];

bool Consume(const WaitHandle& h) {
    if (h.consume == WaitHandle::Consume::None)
        return true;
    uint64_t value;
    return ::read(h.fd, &value, sizeof value) == sizeof value;
}

}  // namespace

int WaitAny(std::span<const WaitHandle> handles, int timeoutMs) {
    if (handles.empty() || handles.size() > kMaxHandles) {
        errno = EINVAL;
        return kWaitFailed;
    }
    pollfd fds[kMaxHandles];
    for (size_t i = 0; i < handles.size(); ++i) {
        fds[i] = pollfd{handles[i].fd, handles[i].events, 0};
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int wait = timeoutMs;
        if (timeoutMs >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        int n = ::poll(fds, handles.size(), wait);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return kWaitFailed;
        }
        if (n == 0)
            return kWaitTimeout;
        for (size_t i = 0; i < handles.size(); ++i) {
            t_lastReady[i] = fds[i].revents;
            if (fds[i].revents & POLLNVAL) {
                errno = EBADF;
                return kWaitFailed;
            }
        }
        for (size_t i = 0; i < handles.size(); ++i) {
            if (fds[i].revents != 0 && Consume(handles[i]))
                return static_cast<int>(i);
        }
        // Every ready object was consumed by another waiter: wait again.
    }
}

short LastReadyEvents(size_t index) {
    return index < kMaxHandles ? t_lastReady[index] : 0;
}

}  // namespace platform
