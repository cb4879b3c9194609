#pragma once
// The client link: one TCP connection to a controller, run by a thread of
// its own. Callers queue commands (connect, disconnect, send); the link
// thread carries them out between socket events and reports through the
// receiver. All socket work happens on the link thread.

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "link/connection.h"
#include "link/frame.h"
#include "link/receive_buffer.h"
#include "platform/event.h"
#include "platform/unique_fd.h"
#include "platform/wait_handle.h"
#include "platform/waitable_timer.h"
#include "platform/worker_thread.h"

namespace devlink {

class ClientLink final : public Connection {
public:
    enum class State { kDisconnected, kConnecting, kInitialising, kConnected };

    // Received data is read in chunks of this size.
    static constexpr uint32_t kReceiveChunk = 4096;
    // At most this many chunks are read per socket event, so that a peer
    // that never pauses cannot keep queued commands (a disconnect, the stop)
    // waiting; the rest is read on the next turn.
    static constexpr int kMaxChunksPerTurn = 16;
    // A graceful disconnect waits this long in all for the peer to close,
    // however much it still sends meanwhile.
    static constexpr int kGracefulCloseMs = 5000;
    // A send that makes no progress for this long (a controller that stopped
    // reading) fails with a time-out, so that no command, Disconnect or the
    // shutdown waits behind it for ever.
    static constexpr int kSendStallMs = 5000;
    // ReleaseClientConnection waits this long for the link thread to end.
    static constexpr int kStopWaitMs = 10000;

    ClientLink();
    // Stops the link first if that has not happened yet.
    ~ClientLink() override;
    ClientLink(const ClientLink&) = delete;
    ClientLink& operator=(const ClientLink&) = delete;

    // Creates the events and starts the link thread; returns a link code.
    uint32_t Start(Receiver* receiver, LinkLog* log);
    // The shutdown sequence: immediate disconnect without notification, stop
    // the thread (detached if it does not end in time), drain the queue.
    void Stop();

    uint32_t Connect(const char* host, uint16_t port, uint32_t retryInterval) override;
    uint32_t Disconnect(uint32_t notify, uint32_t immediate) override;
    uint32_t Send(const void* data, uint32_t length) override;

    // Bytes read from the controller over the link's life, counted once the
    // frames they complete have been delivered: a caller that sees the count
    // reach n knows the link has acted on the first n bytes. Any thread.
    uint64_t BytesReceived() const;

private:
    struct ConnectCommand {
        std::string host;
        uint16_t port = 0;
        uint32_t retryInterval = 0;
    };
    // Set by the link thread once the disconnect has been carried out (or
    // dropped at shutdown); shared with the caller that waits for it.
    struct DisconnectDone {
        platform::Event event{platform::Event::Kind::AutoReset};
    };
    struct DisconnectCommand {
        bool notify = false;
        bool immediate = false;
        std::shared_ptr<DisconnectDone> done;
    };
    struct SendCommand {
        std::vector<uint8_t> payload;
    };
    using Command = std::variant<ConnectCommand, DisconnectCommand, SendCommand>;

    // Everything the link thread touches lives here. The thread co-owns it,
    // so a thread given up on at shutdown never runs on freed memory. Fields marked "link thread"
    // are touched by the link thread only (before the thread starts, by Start).
    struct Core {
        Core();
        ~Core();

        uint32_t Run(platform::WorkerThread::Control& control);

        // Commands.
        void RunNextCommand();
        void DoConnect(const ConnectCommand& cmd);
        void DoDisconnect(const DisconnectCommand& cmd);
        void CloseGracefully(bool notify);
        void DoSend(const SendCommand& cmd);
        void OnRetryTimer();

        // Socket.
        uint32_t TryConnect(bool* lookupFailed);
        platform::WaitHandle SocketHandle() const;
        void HandleNetworkEvents(bool notify, short revents);
        void OnConnectCompleted();
        void ReceiveStep(bool notify);
        bool ExtractFrames(bool notify);
        uint32_t Dispatch(const uint8_t* frame, const devlink::Header& header);
        uint32_t OnInitResponse(const uint8_t* frame, const devlink::Header& header);
        void CloseConnection(bool notify, uint32_t code);
        void CloseSocket();
        uint32_t BuildFrame(uint32_t type, const void* body, uint32_t n);
        uint32_t WriteFrame();

        // Receiver and log, silenced once the thread has been given up on.
        bool Silenced() const;
        void NotifyConnected();
        void NotifyConnectFailed(uint32_t code);
        void NotifyDisconnected(uint32_t code);
        void LogMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));
        void LogError(const char* format, ...) __attribute__((format(printf, 2, 3)));
        void VLog(bool error, const char* format, va_list args);

        // Link thread.
        State state = State::kDisconnected;
        const platform::WorkerThread::Control* control = nullptr;
        // Set by Start, then read-only.
        uint32_t context = 1;
        char signature[100] = {};
        uint32_t initWord = 0;
        uint16_t clientType = 1;
        Receiver* receiver = nullptr;
        LinkLog* log = nullptr;
        // Link thread.
        uint16_t port = 0;
        std::string host;
        uint32_t retryInterval = 0;
        platform::UniqueFd socket;
        uint8_t receiveChunk[kReceiveChunk];
        ReceiveBuffer rxArchive;
        ReceiveBuffer txArchive;
        bool timerArmed = false;
        std::unique_ptr<platform::WaitableTimer> retryTimer;

        // Thread-safe.
        platform::Event queueEvent{platform::Event::Kind::ManualReset};
        // Written by the link thread only; an atomic, so that any thread may read it.
        std::atomic<uint64_t> bytesReceived{0};

        // Guards commandQueue and stopped; held only to push or pop.
        std::mutex queueLock;
        std::deque<Command> commandQueue;  // guarded by queueLock
        bool stopped = false;              // guarded by queueLock: no more commands accepted
    };

    // Queues a command; false (nothing queued) once the link is stopped.
    bool Push(Command cmd);

    // Owner's thread; the link thread holds its own reference to the core.
    std::shared_ptr<Core> core_;
    platform::WorkerThread worker_;
};

}  // namespace devlink
