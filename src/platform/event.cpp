#include "platform/event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace platform {

Event::Event(Kind kind, bool initiallySet)
    : fd_(::eventfd(initiallySet ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC)), kind_(kind) {}

Event::~Event() = default;

bool Event::Set() {
    uint64_t one = 1;
    // The counter saturating (EAGAIN) still means "signalled".
    return ::write(fd_.Get(), &one, sizeof one) == sizeof one || errno == EAGAIN;
}

bool Event::Reset() {
    uint64_t value;
    // Reading drains the whole counter; EAGAIN means it was already clear.
    return ::read(fd_.Get(), &value, sizeof value) == sizeof value || errno == EAGAIN;
}

bool Event::TryWait() {
    if (kind_ == Kind::AutoReset) {
        uint64_t value;
        return ::read(fd_.Get(), &value, sizeof value) == sizeof value;
    }
    pollfd p{fd_.Get(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

WaitHandle Event::Handle() const {
    return WaitHandle{
        fd_.Get(), POLLIN,
        kind_ == Kind::AutoReset ? WaitHandle::Consume::Counter : WaitHandle::Consume::None};
}

}  // namespace platform
