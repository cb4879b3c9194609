#pragma once
// Test doubles for the client link: a scripted loopback peer playing the
// controller, a receiver and a log that record what the link reports.

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "link/connection.h"
#include "link/frame.h"

namespace link_test {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

inline Bytes Frame(uint32_t type, const Bytes& body) {
    Bytes out;
    devlink::AppendFrame(out, type, body.data(), static_cast<uint32_t>(body.size()));
    return out;
}

inline Bytes InitResponse(uint32_t result) {
    Bytes body(4);
    platform::WriteLe32(body.data(), result);
    return Frame(devlink::kTypeInitResponse, body);
}

inline Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A one-connection-at-a-time TCP server on 127.0.0.1 with an ephemeral port.
class ScriptedPeer {
public:
    ScriptedPeer() {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::listen(listen_, 8) == 0) {
            socklen_t len = sizeof addr;
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
            port_ = ntohs(addr.sin_port);
        }
    }
    ~ScriptedPeer() {
        Close();
        if (listen_ >= 0)
            ::close(listen_);
    }
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    uint16_t Port() const { return port_; }

    // Accepts the next connection (closing the current one).
    bool Accept(int timeoutMs = 3000) {
        Close();
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1)
            return false;
        conn_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (conn_ < 0)
            return false;
        const int on = 1;
        ::setsockopt(conn_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return true;
    }

    // Reads exactly n bytes; fewer when the link closes or the time runs out.
    Bytes Read(size_t n, int timeoutMs = 3000) {
        Bytes out;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < n) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            pollfd p{conn_, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) != 1)
                break;
            uint8_t buf[4096];
            const ssize_t got = ::recv(conn_, buf, std::min(sizeof buf, n - out.size()), 0);
            if (got <= 0)
                break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }

    // Reads one whole frame (header, then the body its length announces).
    Bytes ReadFrame(int timeoutMs = 3000) {
        Bytes out = Read(devlink::kHeaderSize, timeoutMs);
        if (out.size() < devlink::kHeaderSize)
            return out;
        const uint32_t length = platform::ReadLe32(out.data() + 2);
        if (length > devlink::kHeaderSize)
            out = Concat(out, Read(length - devlink::kHeaderSize, timeoutMs));
        return out;
    }

    // Accepts, takes the INIT request and answers it with `result`.
    bool AcceptAndAnswerInit(uint32_t result, int timeoutMs = 3000) {
        return Accept(timeoutMs) && ReadFrame().size() == 10 + devlink::kInitBodySize &&
               Write(InitResponse(result));
    }

    bool Write(const Bytes& bytes) {
        return ::send(conn_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }

    // True once the link has closed its side (end of stream or reset).
    bool SeesClose(int timeoutMs = 3000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            pollfd p{conn_, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) != 1)
                return false;
            uint8_t buf[256];
            if (::recv(conn_, buf, sizeof buf, 0) <= 0)
                return true;
        }
    }

    // True once the other side's kernel has acknowledged every byte written
    // here, the connection still up: it took them instead of answering with
    // a reset, as a socket closed for reading would. False after timeoutMs.
    bool SeesAcknowledged(int timeoutMs = 3000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int unacknowledged = -1;
            if (::ioctl(conn_, SIOCOUTQ, &unacknowledged) != 0)
                return false;
            // Read after the queue: a reset empties the queue and closes at once.
            tcp_info info{};
            socklen_t length = sizeof info;
            if (::getsockopt(conn_, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
                info.tcpi_state == TCP_CLOSE)
                return false;
            if (unacknowledged == 0)
                return true;
            if (Clock::now() >= deadline)
                return false;
            ::poll(nullptr, 0, 1);
        }
    }

    // True when no new connection is waiting.
    bool NoPendingConnection() {
        pollfd p{listen_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 0;
    }

    void Close() {
        if (conn_ >= 0)
            ::close(conn_);
        conn_ = -1;
    }

    // Closes with a reset instead of an orderly end of stream.
    void Reset() {
        linger l{1, 0};
        ::setsockopt(conn_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        Close();
    }

private:
    int listen_ = -1;
    int conn_ = -1;
    uint16_t port_ = 0;
};

struct LinkEvent {
    enum Kind { kPacket, kConnectFailed, kDisconnected, kConnected } kind;
    uint32_t code = 0;  // failure code; the context for kConnected
    Bytes data;         // kPacket
    uint32_t context = 0;

    bool operator==(const LinkEvent& o) const {
        return kind == o.kind && code == o.code && data == o.data;
    }
};

inline LinkEvent Connected() {
    return {LinkEvent::kConnected, 0, {}, 0};
}
inline LinkEvent ConnectFailed(uint32_t code) {
    return {LinkEvent::kConnectFailed, code, {}, 0};
}
inline LinkEvent Disconnected(uint32_t code) {
    return {LinkEvent::kDisconnected, code, {}, 0};
}
inline LinkEvent Packet(Bytes data) {
    return {LinkEvent::kPacket, 0, std::move(data), 0};
}

inline std::ostream& operator<<(std::ostream& os, const LinkEvent& e) {
    static const char* names[] = {"Packet", "ConnectFailed", "Disconnected", "Connected"};
    os << names[e.kind] << "(" << e.code;
    if (e.kind == LinkEvent::kPacket)
        os << ", " << e.data.size() << " bytes";
    return os << ")";
}

class RecordingReceiver : public devlink::Receiver {
public:
    void OnPacket(const uint8_t* data, uint32_t length, uint32_t context) override {
        Add({LinkEvent::kPacket, 0, Bytes(data, data + length), context});
    }
    void OnConnectFailed(uint32_t code, uint32_t context) override {
        Add({LinkEvent::kConnectFailed, code, {}, context});
    }
    void OnDisconnected(uint32_t code, uint32_t context) override {
        Add({LinkEvent::kDisconnected, code, {}, context});
    }
    void OnConnected(uint32_t context) override { Add({LinkEvent::kConnected, 0, {}, context}); }

    // Waits until at least n events were recorded.
    bool WaitFor(size_t n, int timeoutMs = 3000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return events_.size() >= n; });
    }
    // Waits until done(events) holds for the events recorded so far.
    template <class Done>
    bool WaitUntil(Done done, int timeoutMs = 3000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return done(std::as_const(events_)); });
    }
    std::vector<LinkEvent> Events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    size_t Count() {
        std::lock_guard lock(mutex_);
        return events_.size();
    }
    bool AllContextsAreOne() {
        std::lock_guard lock(mutex_);
        for (const auto& e : events_)
            if (e.context != 1)
                return false;
        return true;
    }

private:
    void Add(LinkEvent e) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(e));
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<LinkEvent> events_;
};

class RecordingLog final : public devlink::LinkLog {
public:
    void LogMessage(const char* format, ...) override {
        va_list args;
        va_start(args, format);
        Add("MSG ", format, args);
        va_end(args);
    }
    void LogError(const char* format, ...) override {
        va_list args;
        va_start(args, format);
        Add("ERR ", format, args);
        va_end(args);
    }
    // Lines as "MSG text" or "ERR text".
    std::vector<std::string> Lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    bool Has(const std::string& line) {
        std::lock_guard lock(mutex_);
        for (const auto& l : lines_)
            if (l == line)
                return true;
        return false;
    }
    bool WaitFor(const std::string& line, int timeoutMs = 3000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (const auto& l : lines_)
                if (l == line)
                    return true;
            return false;
        });
    }

private:
    void Add(const char* kind, const char* format, va_list args) {
        char text[1024];
        std::vsnprintf(text, sizeof text, format, args);
        std::lock_guard lock(mutex_);
        lines_.push_back(std::string(kind) + text);
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

}  // namespace link_test
