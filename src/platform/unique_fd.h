#pragma once
// Sole owner of one file descriptor: closes it when it goes, so that no
// early return or failed set-up step can leak a socket or an event.

#include <unistd.h>

#include <utility>

namespace platform {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool IsValid() const { return fd_ >= 0; }
    // Closes the descriptor held (if any) and takes fd.
    void Reset(int fd = -1) noexcept {
        const int old = std::exchange(fd_, fd);
        if (old >= 0)
            ::close(old);
    }
    // Gives the descriptor up without closing it.
    int Release() noexcept { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

}  // namespace platform
