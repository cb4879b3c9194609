#pragma once
// A TCP proxy on 127.0.0.1 that stands between a client link and a real peer
// and spoils the peer's stream on purpose: it slices it into 1-byte writes,
// delays it, stalls it, resets or closes the connection in the middle of a
// frame, or injects a frame header with a huge length. The client's own
// bytes always pass unchanged. It serves one connection at a time; every
// byte it passes from the peer to the client is kept, so that a test can
// compare what the client delivered with what was sent.
//
// Threads: the proxy runs on a thread of its own; every public member may be
// called from any other thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace test_support {

struct ProxyFault {
    enum class Kind {
        kNone,       // pass everything as it comes
        kSlice,      // one byte per write
        kDelay,      // hold every chunk for delayMs
        kStall,      // after `after` bytes, pass nothing more either way
        kReset,      // after `after` bytes, reset the client's connection
        kClose,      // after `after` bytes, close the client's connection in order
        kHugeFrame,  // after `after` bytes, a header announcing 0xFFFFFFF0 bytes; then stall
    };
    Kind kind = Kind::kNone;
    size_t after = 0;  // bytes from the peer passed before the fault
    int delayMs = 0;
};

class FaultProxy {
public:
    // Listens on an ephemeral port of 127.0.0.1 and connects every client to
    // 127.0.0.1:peerPort. Port() is 0 when listening failed.
    FaultProxy(uint16_t peerPort, ProxyFault fault);
    ~FaultProxy();  // stops the thread and closes every socket
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    uint16_t Port() const { return port_; }
    // The peer's bytes passed to the client so far (injected bytes excluded).
    std::vector<uint8_t> Passed() const;
    // True once the fault has been applied.
    bool Faulted() const { return faulted_.load(); }

private:
    void Run();
    void Serve(int client);
    // Passes n bytes of the peer to the client, applying the fault. False
    // once the client connection is finished with.
    bool ToClient(int client, const uint8_t* data, size_t n);
    bool ApplyFault(int client);

    const uint16_t peerPort_;
    const ProxyFault fault_;
    int listen_ = -1;
    int stopPipe_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::atomic<bool> faulted_{false};
    bool stalled_ = false;  // proxy thread only

    mutable std::mutex lock_;
    std::vector<uint8_t> passed_;  // guarded by lock_

    std::thread thread_;
};

}  // namespace test_support
