#pragma once
// The simulated controller's TCP side: listens for the operator program,
// serves one client at a time, performs the INIT handshake, passes every user
// packet to the controller model and streams gauge packets at a fixed rate.
// One thread (the one in Run) does all of it; Stop may come from anywhere.
//
// A client cannot make the simulator hold more than kMaxPendingBytes for it:
// frames are served as their bytes arrive, so only an incomplete frame waits,
// and a client that keeps sending without taking its replies is dropped.
// A client's close ends the connection only after every frame it sent before
// has been served and every reply has gone out, or 5 s later at the latest.
// A client that does not complete the INIT handshake in time is dropped.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/event.h"
#include "sim/controller_model.h"

namespace sim {

struct ServerOptions {
    std::string bind = "127.0.0.1";  // dotted IPv4 address to listen on; 0.0.0.0 = every interface
    uint16_t port = 5565;            // 0 = any free port (see SimServer::Port)
    double rate = 4.0;               // gauge packets per real second
    double speed = 1.0;              // simulated seconds per real second
    uint32_t refuseInit = 0;         // non-zero: refuse every INIT with this result
    // A client that has not sent an INIT this long after connecting is
    // dropped: it would hold the one place for clients for ever.
    std::chrono::milliseconds handshakeTimeout{10000};
    // Set: the link drops (the client's connection is closed at once) this
    // long into a bake, in simulated time, once per bake; the bake goes on.
    std::optional<uint64_t> dropLinkAfterBakeMs;
};

class SimServer {
public:
    using LogFn = std::function<void(const std::string&)>;

    // Unparsed input and unsent output that one client may have waiting.
    static constexpr size_t kMaxPendingBytes = 2u << 20;

    // `log` receives one line per event (client connected, request answered...).
    SimServer(ControllerModel& model, const ServerOptions& options, LogFn log = {});
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Binds and listens. Returns 0, or an errno value with `error` set to a text.
    int Open(std::string* error);
    // The port actually bound, after Open.
    uint16_t Port() const { return port_; }

    // Serves until Stop(). Returns 0, or the errno of a failed wait.
    int Run();
    // Safe from any thread and from a signal handler.
    void Stop() { stop_.Set(); }

    // The most a client has had waiting at once, input and output together.
    // Safe from any thread.
    size_t PeakPendingBytes() const { return peakPending_.load(std::memory_order_relaxed); }

private:
    enum class ClientState { None, AwaitInit, Ready };

    void Accept();
    void Receive();
    void OnClientClosed();
    void ParseFrames();
    void Dispatch(uint32_t type, const uint8_t* body, uint32_t n);
    void HandleInit(const uint8_t* body, uint32_t n);
    void QueueFrame(uint32_t type, const uint8_t* body, uint32_t n);
    // Sends what the socket takes; closes a closing client once all is sent
    // or its time is up.
    void Flush();
    void CloseAfterFlush(const std::string& why);
    // Drops the client when it has more than kMaxPendingBytes waiting.
    bool WithinLimit();
    void NotePending();
    void DropClient(const std::string& why);
    void Log(const std::string& line) const;

    ControllerModel& model_;
    ServerOptions options_;
    LogFn log_;
    platform::Event stop_{platform::Event::Kind::ManualReset};

    // All of the following belong to the thread in Run.
    int listenFd_ = -1;
    uint16_t port_ = 0;
    int clientFd_ = -1;
    std::string clientName_;
    ClientState state_ = ClientState::None;
    std::chrono::steady_clock::time_point initBy_;
    bool droppedThisBake_ = false;  // drop it if not Ready by then
    bool clientClosed_ = false;     // its end of stream has arrived; nothing more is read
    std::string closeAfterFlush_;   // non-empty: close for this reason once tx_ is empty
    std::chrono::steady_clock::time_point closeBy_;  // ... or at this time at the latest
    std::vector<uint8_t> rx_;
    std::vector<uint8_t> tx_;

    std::atomic<size_t> peakPending_{0};  // written by the thread in Run
};

}  // namespace sim
