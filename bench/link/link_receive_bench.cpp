// Receive throughput of the client link: a loopback server streams gauge
// packets (66-byte bodies in 76-byte user packets) as fast as it can, once
// to the link (after a real INIT handshake) and once to a minimal blocking
// reader that cuts the same frames. Prints frames/s of both and their ratio.
//
// usage: bench_link_receive [frames] [rounds]   (run under scripts/isolated)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "link/connection.h"
#include "link/frame.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kBodySize = 66;
constexpr uint32_t kFrameSize = devlink::kHeaderSize + kBodySize;
constexpr uint32_t kFramesPerBatch = 1000;

// A plausible gauge record: a small header, a time stamp, temperatures in
// hundredths of a degree, fan and heater levels.
void FillGaugeBody(uint8_t* body, uint32_t seq) {
    std::memset(body, 0, kBodySize);
    platform::WriteLe16(body, 0x0010);
    platform::WriteLe16(body + 2, static_cast<uint16_t>(kBodySize));
    platform::WriteLe32(body + 4, seq * 250);
    for (int i = 0; i < 6; ++i) platform::WriteLe32(body + 8 + 4 * i, 2150 + 13 * i + (seq % 97));
    body[40] = static_cast<uint8_t>(seq % 100);
    body[41] = static_cast<uint8_t>(100 - seq % 100);
}

std::vector<uint8_t> MakeBatch() {
    std::vector<uint8_t> batch(kFramesPerBatch * kFrameSize);
    for (uint32_t i = 0; i < kFramesPerBatch; ++i) {
        uint8_t* f = batch.data() + i * kFrameSize;
        devlink::WriteHeader(f, devlink::kTypeUserPacket, kFrameSize);
        FillGaugeBody(f + devlink::kHeaderSize, i);
    }
    return batch;
}

bool ReadExact(int fd, uint8_t* p, size_t n) {
    while (n) {
        const ssize_t got = ::recv(fd, p, n, 0);
        if (got <= 0)
            return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n) {
        const ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL);
        if (put <= 0)
            return false;
        p += put;
        n -= static_cast<size_t>(put);
    }
    return true;
}

// The controller's side: accept one client, answer its INIT, stream.
class StreamServer {
public:
    explicit StreamServer(uint64_t frames) : frames_(frames) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listen_, 1) != 0) {
            std::perror("server");
            std::exit(1);
        }
        socklen_t len = sizeof addr;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~StreamServer() {
        thread_.join();
        ::close(listen_);
    }
    uint16_t Port() const { return port_; }
    Clock::time_point StreamStart() const {
        return Clock::time_point(Clock::duration(start_.load()));
    }

private:
    void Serve() {
        const int conn = ::accept(listen_, nullptr, nullptr);
        if (conn < 0)
            return;
        uint8_t init[130];
        uint8_t answer[14];
        devlink::WriteHeader(answer, devlink::kTypeInitResponse, sizeof answer);
        platform::WriteLe32(answer + 10, 0);
        if (ReadExact(conn, init, sizeof init) && WriteAll(conn, answer, sizeof answer)) {
            const auto batch = MakeBatch();
            start_ = Clock::now().time_since_epoch().count();
            for (uint64_t left = frames_; left > 0;) {
                const uint64_t n = std::min<uint64_t>(left, kFramesPerBatch);
                if (!WriteAll(conn, batch.data(), n * kFrameSize))
                    break;
                left -= n;
            }
            // Hold the connection until the client has read everything and closes.
            uint8_t byte;
            while (::recv(conn, &byte, 1, 0) > 0) {
            }
        }
        ::close(conn);
    }

    uint64_t frames_;
    int listen_ = -1;
    uint16_t port_ = 0;
    std::atomic<Clock::rep> start_{0};  // written by the server thread
    std::thread thread_;
};

class CountingReceiver : public devlink::Receiver {
public:
    explicit CountingReceiver(uint64_t target) : target_(target) {}
    void OnPacket(const uint8_t* data, uint32_t length, uint32_t) override {
        if (length != kBodySize)
            ++wrong_;
        checksum_ += data[4];
        if (++count_ == target_) {
            done_at_ = Clock::now();
            std::lock_guard lock(mutex_);
            done_ = true;
            cv_.notify_all();
        }
    }
    void OnConnectFailed(uint32_t code, uint32_t) override {
        std::fprintf(stderr, "connect failed: %u\n", code);
        std::exit(1);
    }
    void OnDisconnected(uint32_t, uint32_t) override {}
    void OnConnected(uint32_t) override {}

    bool Wait(int seconds) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(seconds), [&] { return done_; });
    }
    uint64_t wrong() const { return wrong_; }
    Clock::time_point done_at() const { return done_at_; }

private:
    const uint64_t target_;
    uint64_t count_ = 0;
    uint64_t wrong_ = 0;
    uint64_t checksum_ = 0;
    Clock::time_point done_at_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
};

double RunLink(uint64_t frames) {
    StreamServer server(frames);
    CountingReceiver receiver(frames);
    uint32_t error = 0;
    devlink::Connection* link = devlink::CreateClientConnection(&receiver, nullptr, &error);
    if (!link) {
        std::fprintf(stderr, "link: %u\n", error);
        std::exit(1);
    }
    link->Connect("127.0.0.1", server.Port(), 0);
    if (!receiver.Wait(120)) {
        std::fprintf(stderr, "link: timed out\n");
        std::exit(1);
    }
    const double seconds =
        std::chrono::duration<double>(receiver.done_at() - server.StreamStart()).count();
    if (receiver.wrong())
        std::fprintf(stderr, "link: %llu frames of the wrong size\n",
                     (unsigned long long)receiver.wrong());
    devlink::ReleaseClientConnection(link);
    return static_cast<double>(frames) / seconds;
}

// Keeps the baseline's per-frame delivery from being optimised away.
struct Sink {
    uint64_t count = 0;
    uint64_t checksum = 0;
    uint64_t wrong = 0;
};
__attribute__((noinline)) void Deliver(Sink& sink, const uint8_t* data, uint32_t length) {
    if (length != kBodySize)
        ++sink.wrong;
    sink.checksum += data[4];
    ++sink.count;
}

double RunBaseline(uint64_t frames) {
    StreamServer server(frames);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(server.Port());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::perror("baseline connect");
        std::exit(1);
    }
    uint8_t init[130];
    devlink::WriteHeader(init, devlink::kTypeInitRequest, sizeof init);
    devlink::WriteInitRequestBody(init + devlink::kHeaderSize);
    uint8_t answer[14];
    if (!WriteAll(fd, init, sizeof init) || !ReadExact(fd, answer, sizeof answer)) {
        std::fprintf(stderr, "baseline handshake failed\n");
        std::exit(1);
    }
    Sink sink;
    std::vector<uint8_t> buffer(64 * 1024);
    size_t have = 0;
    uint8_t chunk[4096];
    Clock::time_point done;
    while (sink.count < frames) {
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0)
            break;
        std::memcpy(buffer.data() + have, chunk, static_cast<size_t>(got));
        have += static_cast<size_t>(got);
        size_t at = 0;
        while (have - at >= devlink::kHeaderSize) {
            const auto h = devlink::ReadHeader(buffer.data() + at);
            if (h.magic != devlink::kMagic || h.length < devlink::kHeaderSize) {
                std::fprintf(stderr, "baseline: bad frame\n");
                std::exit(1);
            }
            if (have - at < h.length)
                break;
            Deliver(sink, buffer.data() + at + devlink::kHeaderSize,
                    h.length - devlink::kHeaderSize);
            at += h.length;
        }
        std::memmove(buffer.data(), buffer.data() + at, have - at);
        have -= at;
    }
    done = Clock::now();
    if (sink.count < frames)
        std::fprintf(stderr, "baseline: stream ended early\n");
    if (sink.wrong)
        std::fprintf(stderr, "baseline: %llu frames of the wrong size\n",
                     (unsigned long long)sink.wrong);
    ::close(fd);
    return static_cast<double>(frames) /
           std::chrono::duration<double>(done - server.StreamStart()).count();
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t frames = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    std::printf("%llu gauge packets of %u bytes per run, best of %d rounds\n",
                (unsigned long long)frames, kFrameSize, rounds);
    double bestLink = 0, bestBase = 0;
    for (int r = 0; r < rounds; ++r) {
        // Alternate the order so that a drifting machine load favours neither.
        double link, base;
        if (r % 2 == 0) {
            link = RunLink(frames);
            base = RunBaseline(frames);
        } else {
            base = RunBaseline(frames);
            link = RunLink(frames);
        }
        std::printf("round %d: link %.0f frames/s, baseline %.0f frames/s\n", r + 1, link, base);
        bestLink = std::max(bestLink, link);
        bestBase = std::max(bestBase, base);
    }
    std::printf("link:     %.0f frames/s\n", bestLink);
    std::printf("baseline: %.0f frames/s\n", bestBase);
    std::printf("ratio: %.2f\n", bestLink / bestBase);
    return 0;
}
