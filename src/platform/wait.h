#pragma once
// Waiting on several objects at once, the lowest index winning.

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/wait_handle.h"

namespace platform {

inline constexpr int kWaitInfinite = -1;
inline constexpr int kWaitTimeout = 0x102;
inline constexpr int kWaitFailed = -1;

// Waits until one of the handles is signalled, or timeoutMs passes
// (kWaitInfinite: no limit). Returns the lowest signalled index, kWaitTimeout,
// or kWaitFailed with errno set. Only the returned object is consumed; a
// consumable object that another waiter took first is waited for again.
int WaitAny(std::span<const WaitHandle> handles, int timeoutMs);

// The ready events poll() reported for handles[index] by the last WaitAny on
// this thread (useful for sockets: POLLIN, POLLOUT, POLLHUP, ...).
short LastReadyEvents(size_t index);

}  // namespace platform
