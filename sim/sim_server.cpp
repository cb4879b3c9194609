#include "sim/sim_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

#include "bake/controller_packets.h"
#include "link/frame.h"
#include "platform/system_error_text.h"

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

// Read per wake-up at most, so that a client that sends without pause still
// leaves the gauge stream and the sending of replies their turn.
constexpr size_t kReadBudget = 64u << 10;
static_assert(SimServer::kMaxPendingBytes > devlink::kMaxFrameLength + kReadBudget,
              "the largest acceptable frame must fit in what a client may have pending");
// The kernel's share of what waits for a client, fixed so that it stays small
// (left alone, it grows to megabytes for a client that does not read).
constexpr int kSendBuffer = 64 << 10;
// A closing client that does not take its last replies is not waited for longer.
constexpr auto kCloseGrace = std::chrono::seconds(5);
// The model is moved on at least this often, with or without traffic.
constexpr int kMaxWaitMs = 100;

// INIT results the simulator itself can give.
constexpr uint32_t kInitAccepted = 0;
constexpr uint32_t kInitVersionDiffers = 1;
constexpr uint32_t kInitSignatureDiffers = 3;
constexpr uint32_t kInitEncryption = 4;
constexpr uint32_t kInitClientType = 5;

std::string ErrnoText(int err) {
    return platform::SystemErrorText(err) + " (" + std::to_string(err) + ")";
}

}  // namespace

SimServer::SimServer(ControllerModel& model, const ServerOptions& options, LogFn log)
    : model_(model), options_(options), log_(std::move(log)) {}

SimServer::~SimServer() {
    if (clientFd_ >= 0)
        ::close(clientFd_);
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

void SimServer::Log(const std::string& line) const {
    if (log_)
        log_(line);
}

int SimServer::Open(std::string* error) {
    auto fail = [&](int err, const std::string& what) {
        if (error)
            *error = what + ": " + ErrnoText(err);
        if (listenFd_ >= 0)
            ::close(listenFd_);
        listenFd_ = -1;
        return err;
    };
    if (!stop_.IsValid())
        return fail(errno, "cannot create the stop event");

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(options_.port);
    if (::inet_pton(AF_INET, options_.bind.c_str(), &addr.sin_addr) != 1) {
        if (error)
            *error = "not an IPv4 address: " + options_.bind;
        return EINVAL;
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        return fail(errno, "socket");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return fail(errno, "cannot bind " + options_.bind + ":" + std::to_string(options_.port));
    if (::listen(listenFd_, 4) != 0)
        return fail(errno, "listen");
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    return 0;
}

int SimServer::Run() {
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / options_.rate));
    auto last = Clock::now();
    auto nextGauge = last + period;
    double simCarryMs = 0;
    std::vector<std::vector<uint8_t>> unsolicited;

    for (;;) {
        auto now = Clock::now();
        auto untilGauge =
            std::chrono::duration_cast<std::chrono::milliseconds>(nextGauge - now).count() + 1;
        int timeout = static_cast<int>(std::clamp<long long>(untilGauge, 0, kMaxWaitMs));

        pollfd fds[3] = {{stop_.Handle().fd, POLLIN, 0}, {listenFd_, POLLIN, 0}, {clientFd_, 0, 0}};
        // After the client's end of stream POLLIN would report it again and again.
        if (clientFd_ >= 0)
            fds[2].events =
                static_cast<short>((clientClosed_ ? 0 : POLLIN) | (tx_.empty() ? 0 : POLLOUT));
        const nfds_t count = clientFd_ >= 0 ? 3 : 2;
        if (::poll(fds, count, timeout) < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (fds[0].revents)
            break;

        // Simulated time follows real time, scaled.
        now = Clock::now();
        simCarryMs +=
            std::chrono::duration<double, std::milli>(now - last).count() * options_.speed;
        last = now;
        const double whole = std::floor(simCarryMs);
        simCarryMs -= whole;
        model_.Advance(static_cast<uint64_t>(whole), unsolicited);
        for (const auto& packet : unsolicited) {
            bake::CONCC_BakeResult r;
            if (bake::DecodeBakeResult(packet.data(), packet.size(), r))
                Log("bake ended: " + std::string(bake::ResultCodeText(r.bakeError)) + " after " +
                    std::to_string(r.bakeTime) + " s");
            if (state_ == ClientState::Ready)
                QueueFrame(devlink::kTypeUserPacket, packet.data(),
                           static_cast<uint32_t>(packet.size()));
        }
        unsolicited.clear();

        if (options_.dropLinkAfterBakeMs) {
            if (!model_.IsBaking())
                droppedThisBake_ = false;
            else if (!droppedThisBake_ && state_ == ClientState::Ready &&
                     model_.BakeElapsedMs() >= *options_.dropLinkAfterBakeMs) {
                droppedThisBake_ = true;
                DropClient("link dropped " + std::to_string(model_.BakeElapsedMs() / 1000) +
                           " s into the bake");
            }
        }

        if (fds[1].revents & POLLIN)
            Accept();
        if (count == 3 && clientFd_ == fds[2].fd) {
            if (fds[2].revents & (POLLIN | POLLHUP | POLLERR))
                Receive();
        }
        if (state_ == ClientState::AwaitInit && Clock::now() >= initBy_) {
            const auto ms = options_.handshakeTimeout.count();
            DropClient("no INIT within " + (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s"
                                                           : std::to_string(ms) + " ms"));
        }

        if (now >= nextGauge) {
            if (state_ == ClientState::Ready) {
                auto g = model_.GaugePacket();
                QueueFrame(devlink::kTypeUserPacket, g.data(), static_cast<uint32_t>(g.size()));
            }
            nextGauge += period;
            if (nextGauge < now)
                nextGauge = now + period;  // fell behind: no burst to catch up
        }
        Flush();
    }
    DropClient("simulator stopping");
    return 0;
}

void SimServer::Accept() {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    char ip[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
    std::string name = std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port));
    if (clientFd_ >= 0) {
        // One client at a time: a second one is closed at once, which its
        // link reports as a close by the server.
        ::close(fd);
        Log("refused " + name + ": already serving " + clientName_);
        return;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
    clientFd_ = fd;
    clientName_ = name;
    state_ = ClientState::AwaitInit;
    initBy_ = Clock::now() + options_.handshakeTimeout;
    clientClosed_ = false;
    closeAfterFlush_.clear();
    rx_.clear();
    tx_.clear();
    Log("client " + clientName_ + " connected");
}

void SimServer::Receive() {
    uint8_t chunk[4096];
    size_t budget = kReadBudget;
    while (clientFd_ >= 0 && !clientClosed_ && budget > 0) {
        ssize_t n = ::recv(clientFd_, chunk, sizeof chunk, 0);
        if (n > 0) {
            rx_.insert(rx_.end(), chunk, chunk + n);
            budget -= std::min(budget, static_cast<size_t>(n));
            // Served at once, so that only an incomplete frame ever waits.
            ParseFrames();
            // Replies may only be waiting for their turn: the socket takes them
            // before they count against the client.
            if (tx_.size() > kReadBudget)
                Flush();
            if (!WithinLimit())
                return;
            continue;
        }
        if (n == 0) {
            OnClientClosed();
            return;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            DropClient("receive failed: " + ErrnoText(errno));
        return;
    }
}

// The client sent all it will send: what it sent before is served (above),
// its replies still go out, then the connection closes.
void SimServer::OnClientClosed() {
    clientClosed_ = true;
    state_ = ClientState::None;  // no more gauge packets
    std::string why = "closed by the client";
    if (!rx_.empty())
        why += " (" + std::to_string(rx_.size()) + " bytes of an incomplete frame dropped)";
    rx_.clear();
    CloseAfterFlush(why);
}

void SimServer::ParseFrames() {
    size_t at = 0;
    while (clientFd_ >= 0) {
        devlink::Header h;
        const auto cut = devlink::CutFrame(rx_.data() + at, rx_.size() - at, &h);
        if (cut == devlink::Cut::Bad) {
            DropClient("protocol error: bad frame header");
            return;
        }
        if (cut == devlink::Cut::NeedMore)
            break;
        Dispatch(h.type, rx_.data() + at + devlink::kHeaderSize, h.length - devlink::kHeaderSize);
        at += h.length;
    }
    if (clientFd_ >= 0) {
        NotePending();
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(at));
    }
}

void SimServer::Dispatch(uint32_t type, const uint8_t* body, uint32_t n) {
    if (state_ == ClientState::AwaitInit) {
        if (type == devlink::kTypeInitRequest)
            HandleInit(body, n);
        return;  // nothing else is served before the handshake
    }
    if (state_ != ClientState::Ready || type != devlink::kTypeUserPacket || n == 0)
        return;

    auto reply = model_.HandleRequest(body, n);
    if (reply.empty()) {
        Log("ignored a " + std::to_string(n) + "-byte packet without a header");
        return;
    }
    bake::CONCC_Header req, rep;
    bake::DecodeHeader(body, n, req);
    bake::DecodeHeader(reply.data(), reply.size(), rep);
    Log("request " + std::to_string(req.type) + " seq " + std::to_string(req.seqId) + " -> " +
        std::to_string(rep.result) + " " + bake::ResultCodeText(rep.result));
    QueueFrame(devlink::kTypeUserPacket, reply.data(), static_cast<uint32_t>(reply.size()));
}

void SimServer::HandleInit(const uint8_t* body, uint32_t n) {
    uint32_t result = kInitAccepted;
    constexpr size_t kSigLen = sizeof devlink::kClientSignature;  // with its NUL
    // A body too short for the signature and a wrong signature are one refusal,
    // checked first and last in the order the controller checks its fields.
    // NOLINTNEXTLINE(bugprone-branch-clone)
    if (n < 8 + kSigLen) {
        result = kInitSignatureDiffers;
    } else if (platform::ReadLe16(body) != 0x0101) {
        result = kInitVersionDiffers;
    } else if (platform::ReadLe16(body + 2) != 1) {
        result = kInitClientType;
    } else if (platform::ReadLe32(body + 4) != 0) {
        result = kInitEncryption;
    } else if (std::memcmp(body + 8, devlink::kClientSignature, kSigLen) != 0) {
        result = kInitSignatureDiffers;
    }
    if (result == kInitAccepted && options_.refuseInit != 0)
        result = options_.refuseInit;

    uint8_t response[4];
    platform::WriteLe32(response, result);
    QueueFrame(devlink::kTypeInitResponse, response, sizeof response);
    if (result == kInitAccepted) {
        state_ = ClientState::Ready;
        Log("client " + clientName_ + " initialised");
        model_.OnClientReady();
    } else {
        CloseAfterFlush("handshake refused");
        state_ = ClientState::None;  // no further frames are served
        Log("refused INIT of " + clientName_ + " with result " + std::to_string(result));
    }
}

void SimServer::QueueFrame(uint32_t type, const uint8_t* body, uint32_t n) {
    if (clientFd_ < 0)
        return;
    devlink::AppendFrame(tx_, type, body, n);
}

void SimServer::Flush() {
    if (clientFd_ < 0)
        return;
    NotePending();
    size_t sent = 0;
    while (sent < tx_.size()) {
        ssize_t n = ::send(clientFd_, tx_.data() + sent, tx_.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        DropClient("send failed: " + ErrnoText(errno));
        return;
    }
    tx_.erase(tx_.begin(), tx_.begin() + static_cast<std::ptrdiff_t>(sent));
    if (!WithinLimit())
        return;
    if (closeAfterFlush_.empty())
        return;
    const std::string why = closeAfterFlush_;  // DropClient clears the member
    if (tx_.empty()) {
        DropClient(why);
    } else if (Clock::now() >= closeBy_) {
        DropClient(why + "; " + std::to_string(tx_.size()) + " bytes of replies not taken in time");
    }
}

void SimServer::CloseAfterFlush(const std::string& why) {
    if (!closeAfterFlush_.empty())
        return;
    closeAfterFlush_ = why;
    closeBy_ = Clock::now() + kCloseGrace;
}

bool SimServer::WithinLimit() {
    if (clientFd_ < 0)
        return false;
    NotePending();
    if (rx_.size() + tx_.size() <= kMaxPendingBytes)
        return true;
    DropClient("more than " + std::to_string(kMaxPendingBytes) + " bytes pending (" +
               std::to_string(rx_.size()) + " received, " + std::to_string(tx_.size()) +
               " unsent): it sends without taking its replies");
    return false;
}

void SimServer::NotePending() {
    const size_t now = rx_.size() + tx_.size();
    if (now > peakPending_.load(std::memory_order_relaxed))
        peakPending_.store(now, std::memory_order_relaxed);
}

void SimServer::DropClient(const std::string& why) {
    if (clientFd_ < 0)
        return;
    ::close(clientFd_);
    clientFd_ = -1;
    state_ = ClientState::None;
    clientClosed_ = false;
    closeAfterFlush_.clear();
    // A dropped flood leaves nothing behind for the next client.
    std::vector<uint8_t>().swap(rx_);
    std::vector<uint8_t>().swap(tx_);
    Log("client " + clientName_ + " gone: " + why);
}

}  // namespace sim
