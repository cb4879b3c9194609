#include "tests/support/fault_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "link/frame.h"

namespace test_support {

namespace {

bool SendAll(int fd, const uint8_t* data, size_t n) {
    while (n) {
        const ssize_t sent = ::send(fd, data, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        n -= static_cast<size_t>(sent);
    }
    return true;
}

int ConnectToPeer(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

void NoDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Waits until the other side's kernel has acknowledged every byte sent on
// fd: they are then in its receive queue, readable before a reset or an end
// of stream that follows. False when that takes longer than timeoutMs.
bool WaitAcknowledged(int fd, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int unacknowledged = -1;
        if (::ioctl(fd, SIOCOUTQ, &unacknowledged) != 0)
            return false;
        if (unacknowledged == 0)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        ::poll(nullptr, 0, 1);
    }
}

}  // namespace

FaultProxy::FaultProxy(uint16_t peerPort, ProxyFault fault) : peerPort_(peerPort), fault_(fault) {
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0)
        return;
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_, 4) != 0)
        return;
    socklen_t len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
}

FaultProxy::~FaultProxy() {
    if (thread_.joinable()) {
        const char stop = 1;
        [[maybe_unused]] const ssize_t n = ::write(stopPipe_[1], &stop, 1);
        thread_.join();
    }
    for (int fd : {listen_, stopPipe_[0], stopPipe_[1]})
        if (fd >= 0)
            ::close(fd);
}

std::vector<uint8_t> FaultProxy::Passed() const {
    std::lock_guard<std::mutex> g(lock_);
    return passed_;
}

void FaultProxy::Run() {
    for (;;) {
        pollfd fds[2] = {{stopPipe_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (!(fds[1].revents & POLLIN))
            continue;
        const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        NoDelay(client);
        Serve(client);
        ::close(client);
        pollfd stop{stopPipe_[0], POLLIN, 0};
        if (::poll(&stop, 1, 0) > 0)
            return;
    }
}

// Both directions until both have ended, the fault has finished the client
// connection, or the proxy stops.
void FaultProxy::Serve(int client) {
    const int peer = ConnectToPeer(peerPort_);
    if (peer < 0)
        return;
    NoDelay(peer);
    bool clientOpen = true, peerOpen = true;
    uint8_t buf[4096];
    while (clientOpen || peerOpen) {
        // A negative descriptor is left out of the poll: a stalled proxy
        // waits for nothing but its stop.
        pollfd fds[3] = {{stopPipe_[0], POLLIN, 0},
                         {clientOpen && !stalled_ ? client : -1, POLLIN, 0},
                         {peerOpen && !stalled_ ? peer : -1, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        if (fds[1].revents) {
            const ssize_t n = ::recv(client, buf, sizeof buf, 0);
            if (n > 0) {
                if (!SendAll(peer, buf, static_cast<size_t>(n)))
                    peerOpen = false;
            } else if (n == 0 || errno != EINTR) {
                clientOpen = false;
                ::shutdown(peer, SHUT_WR);  // the client's half-close reaches the peer
            }
        }
        if (fds[2].revents) {
            const ssize_t n = ::recv(peer, buf, sizeof buf, 0);
            if (n > 0) {
                if (!ToClient(client, buf, static_cast<size_t>(n)))
                    break;
            } else if (n == 0 || errno != EINTR) {
                peerOpen = false;
                ::shutdown(client, SHUT_WR);  // and the peer's close the client
            }
        }
    }
    ::close(peer);
}

bool FaultProxy::ToClient(int client, const uint8_t* data, size_t n) {
    const auto keep = [this](const uint8_t* p, size_t count) {
        std::lock_guard<std::mutex> g(lock_);
        passed_.insert(passed_.end(), p, p + count);
    };
    const auto passedSoFar = [this] {
        std::lock_guard<std::mutex> g(lock_);
        return passed_.size();
    };
    switch (fault_.kind) {
        case ProxyFault::Kind::kNone:
            keep(data, n);
            return SendAll(client, data, n);
        case ProxyFault::Kind::kSlice:
            for (size_t i = 0; i < n; ++i) {
                keep(data + i, 1);
                if (!SendAll(client, data + i, 1))
                    return false;
                // A pause lets each byte leave as a segment of its own.
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
            return true;
        case ProxyFault::Kind::kDelay:
            std::this_thread::sleep_for(std::chrono::milliseconds(fault_.delayMs));
            keep(data, n);
            return SendAll(client, data, n);
        default:
            break;
    }
    const size_t before = std::min(n, fault_.after - std::min(fault_.after, passedSoFar()));
    keep(data, before);
    if (!SendAll(client, data, before))
        return false;
    if (before == n)
        return true;
    // Stalled from here on, or the connection is finished.
    return ApplyFault(client);
}

bool FaultProxy::ApplyFault(int client) {
    // The bytes before the fault reach the client whole: a reset would
    // throw away whatever still waits in our send queue, and then what the
    // client delivers would not match what Passed() reports. A client that
    // takes nothing for this long is left to the fault as it is.
    WaitAcknowledged(client, 5000);
    faulted_ = true;
    switch (fault_.kind) {
        case ProxyFault::Kind::kStall:
            stalled_ = true;
            return true;
        case ProxyFault::Kind::kReset: {
            const linger abort{1, 0};
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            return false;  // the caller closes: a reset
        }
        case ProxyFault::Kind::kClose:
            ::shutdown(client, SHUT_WR);
            return false;
        case ProxyFault::Kind::kHugeFrame: {
            uint8_t header[devlink::kHeaderSize];
            devlink::WriteHeader(header, devlink::kTypeUserPacket, 0xFFFFFFF0u);
            stalled_ = true;  // what the client makes of it is what counts
            return SendAll(client, header, sizeof header);
        }
        default:
            return true;
    }
}

}  // namespace test_support
