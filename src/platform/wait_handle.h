#pragma once
// One object a thread can wait on: a descriptor, the poll() events that mean
// "signalled", and whether a wait that returns it must consume the signal
// (auto-reset events and timers) or leave it standing (manual-reset ones,
// sockets whose readiness is consumed by reading them).

#include <poll.h>
#include <cstdint>

namespace platform {

struct WaitHandle {
    enum class Consume : uint8_t {
        None,     // level: stays signalled until the owner resets it
        Counter,  // eventfd/timerfd: read the 8-byte counter to consume
    };
    int fd = -1;
    short events = POLLIN;
    Consume consume = Consume::None;
};

}  // namespace platform
