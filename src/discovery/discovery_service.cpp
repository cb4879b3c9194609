#include "discovery/discovery_service.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "discovery/discovery_datagram.h"
#include "discovery/socket_error_text.h"
#include "platform/format_text.h"
#include "platform/socket_errors.h"
#include "platform/system_error_text.h"
#include "platform/unique_fd.h"
#include "platform/wait.h"

namespace discovery {

namespace {

constexpr size_t kLogBufferSize = 4096;
// How long a stopping worker waits for a datagram the socket has not taken yet.
constexpr int kFinishSendTimeoutMs = 1000;

// Wait list, in the order of priority.
enum WaitSlot : uint32_t {
    kSlotStop = 0,
    kSlotSocket = 1,
    kSlotSendComplete = 2,
    kSlotOperation = 3,
    kSlotSendKick = 4,
    kSlotCount = 5,
};

// Hands one log line to the sink the way the service shows it: a format too
// long to be taken shows nothing, a line too long is cut.
__attribute__((format(printf, 2, 0))) void SendLogLine(DiscoveryListener& sink, const char* format,
                                                       va_list args) {
    if (std::strlen(format) >= kLogBufferSize)
        return;
    std::string text = platform::FormatText(format, args);
    if (text.size() >= kLogBufferSize)
        text.resize(kLogBufferSize - 1);
    sink.OnServiceLog(std::move(text));
}

// The client's sink as the worker sees it: silent once the worker has been
// given up on, so that a late worker never calls into a client that stopped
// waiting for it.
class GuardedSink final : public DiscoveryListener {
public:
    void Attach(DiscoveryListener* target, const platform::WorkerThread::Control* control) {
        target_ = target;
        control_ = control;
    }
    void OnDeviceStatus(const DeviceStatus* status) override {
        if (Open())
            target_->OnDeviceStatus(status);
    }
    void OnDeviceConfig(const DeviceConfig* config, uint32_t result) override {
        if (Open())
            target_->OnDeviceConfig(config, result);
    }
    void OnSetDeviceIdResult(uint32_t requestId, uint32_t result) override {
        if (Open())
            target_->OnSetDeviceIdResult(requestId, result);
    }
    void OnSetIPResult(uint32_t requestId, uint32_t result) override {
        if (Open())
            target_->OnSetIPResult(requestId, result);
    }
    void OnServiceLog(std::string text) override {
        if (Open())
            target_->OnServiceLog(std::move(text));
    }

private:
    bool Open() const { return target_ && !(control_ && control_->GivenUp()); }

    DiscoveryListener* target_ = nullptr;
    const platform::WorkerThread::Control* control_ = nullptr;
};

}  // namespace

// Everything the worker thread touches. The worker holds a reference of its
// own, so the service may drop (and be freed) while a worker it gave up on
// still runs.
struct DiscoveryService::Worker final : platform::WorkerLog {
    struct SendPacket {
        std::vector<uint8_t> bytes;
        std::unique_ptr<DeviceRecord> record;  // set-IP requests only
    };
    // The datagram handed to the socket and not yet completed.
    struct PendingSend {
        bool blocked = false;  // waiting for the socket to take it
        bool failed = false;
        int error = 0;
        size_t sent = 0;
    };

    // Client's thread, before the worker starts: false when an event is missing.
    bool CreateEvents(platform::WorkerLog& log);

    // Worker thread.
    uint32_t Run(platform::WaitHandle stopHandle, const std::function<void()>& signalStarted,
                 const platform::WorkerThread::Control* control);
    bool OpenSocket();
    void Serve(platform::WaitHandle stopHandle);
    void FinishPendingSend();
    void OnSocketReady(short revents);
    void OnSocketRead(uint32_t readError);
    void OnSocketWrite();
    void TakeOperation();
    void DoQOperation(std::unique_ptr<DeviceRecord> record);
    void QueuePacket(uint32_t type, uint32_t deviceId, std::unique_ptr<DeviceRecord> record,
                     uint32_t requestId, const uint8_t* payload, size_t payloadSize);
    void PostSendOperation(SendPacket& packet);
    void TrySend(const SendPacket& packet);
    void CompleteSend(uint32_t result);

    // Client's thread: false when the worker takes no more records.
    bool Push(std::unique_ptr<DeviceRecord> record);
    void Close();

    // Any thread; goes to the sink while the worker is not given up on.
    void Log(const char* source, const char* format, ...) override
        __attribute__((format(printf, 3, 4)));

    // Set before the worker starts, then read-only.
    DiscoveryListener* client = nullptr;

    // Worker thread only.
    GuardedSink sink;
    bool sendInProgress = false;
    PendingSend pending;
    std::deque<SendPacket> sendQueue;
    platform::UniqueFd socket;

    // Created by the client's thread before the worker starts, released with
    // this state.
    std::unique_ptr<platform::Event> sendCompleteEvent;
    std::unique_ptr<platform::Event> sendKickEvent;
    // Set and cleared only under opQueueLock: signalled exactly while
    // opQueue holds records.
    std::unique_ptr<platform::Event> opQueueEvent;

    std::mutex opQueueLock;
    std::deque<std::unique_ptr<DeviceRecord>> opQueue;  // guarded by opQueueLock
    bool closed = false;                                // guarded by opQueueLock
};

// ---------------------------------------------------------------------------
// Client's thread

DiscoveryService::DiscoveryService() = default;

DiscoveryService::~DiscoveryService() {
    if (IsRunning())
        StopOperations();
}

uint32_t DiscoveryService::StartOperations(DiscoveryListener* sink) {
    if (sink == nullptr)
        return discovery::kInvalidParameters;
    if (IsRunning()) {
        // The running worker keeps its state: leave it alone.
        const uint32_t result = Start();
        Log("CProgServiceMgr::StartOperations()", "%s", DiscoveryResultText(result));
        return result;
    }
    sink_ = sink;
    auto worker = std::make_shared<Worker>();
    worker->client = sink;
    if (!worker->CreateEvents(*this)) {
        Log("CProgServiceMgr::StartOperations()", "Can't create event objects!");
        return discovery::kGeneralFailure;
    }
    worker_ = std::move(worker);
    const uint32_t result = Start();
    if (result != 0) {
        worker_.reset();
        Log("CProgServiceMgr::StartOperations()", "%s", DiscoveryResultText(result));
        return result;
    }
    return discovery::kSuccess;
}

uint32_t DiscoveryService::StopOperations() {
    if (!IsRunning())
        return discovery::kGeneralFailure;
    // A worker given up on keeps its own reference and winds down alone;
    // records it never took die with it.
    worker_->Close();
    Stop(nullptr, kStopTimeoutMs);
    worker_.reset();
    return discovery::kSuccess;
}

uint32_t DiscoveryService::RefreshDevices() {
    auto request = std::make_unique<DeviceStatus>();
    request->requestId = 0;
    request->deviceId = 0;
    request->action = PSM_ACTION_READ;
    return QueueOperation(std::move(request));
}

uint32_t DiscoveryService::SetDeviceIP(uint32_t deviceId, uint32_t ipAddress, uint32_t netMask,
                                       uint32_t* requestId) {
    auto request = std::make_unique<DeviceIpConfig>();
    uint32_t id = ++requestIdCounter_;
    while (id == 0) id = ++requestIdCounter_;
    if (requestId)
        *requestId = id;
    request->requestId = id;
    request->deviceId = deviceId;
    request->action = PSM_ACTION_WRITE;
    request->ipAddress = ipAddress;
    request->netMask = netMask;
    return QueueOperation(std::move(request));
}

uint32_t DiscoveryService::QueueOperation(std::unique_ptr<DeviceRecord> record) {
    // Without a worker the record would sit unseen until some later start.
    if (!worker_ || !worker_->Push(std::move(record)))
        return discovery::kNoMemory;
    return discovery::kSuccess;
}

void DiscoveryService::Log(const char* /*source*/, const char* format, ...) {
    if (!sink_)
        return;
    va_list args;
    va_start(args, format);
    SendLogLine(*sink_, format, args);
    va_end(args);
}

uint32_t DiscoveryService::Run() {
    // Start() waits while this runs up to the start signal, so worker_ and
    // the object are still there; after it, only the worker's own state is.
    std::shared_ptr<Worker> worker = worker_;
    // Start() called directly, not through StartOperations: nothing to run with.
    if (!worker)
        return discovery::kInvalidParameters;
    return worker->Run(
        StopEventHandle(), [this] { SignalStarted(); }, RunControl());
}

// ---------------------------------------------------------------------------
// The worker's state

bool DiscoveryService::Worker::CreateEvents(platform::WorkerLog& log) {
    sendCompleteEvent = platform::worker::CreateEventHandle(log);
    sendKickEvent = platform::worker::CreateEventHandle(log);
    opQueueEvent = platform::worker::CreateEventHandle(log);
    return sendCompleteEvent && sendKickEvent && opQueueEvent;
}

bool DiscoveryService::Worker::Push(std::unique_ptr<DeviceRecord> record) {
    std::lock_guard<std::mutex> lock(opQueueLock);
    if (closed)
        return false;
    opQueue.push_back(std::move(record));
    platform::worker::SignalEventHandle(*this, opQueueEvent.get());
    return true;
}

void DiscoveryService::Worker::Close() {
    std::lock_guard<std::mutex> lock(opQueueLock);
    closed = true;
}

void DiscoveryService::Worker::Log(const char* /*source*/, const char* format, ...) {
    va_list args;
    va_start(args, format);
    SendLogLine(sink, format, args);
    va_end(args);
}

uint32_t DiscoveryService::Worker::Run(platform::WaitHandle stopHandle,
                                       const std::function<void()>& signalStarted,
                                       const platform::WorkerThread::Control* control) {
    sink.Attach(client, control);
    sendInProgress = false;
    pending = PendingSend{};
    if (!OpenSocket())
        return discovery::kNoSystemResources;
    signalStarted();
    Serve(stopHandle);
    FinishPendingSend();
    socket.Reset();
    sendQueue.clear();
    return 0;
}

bool DiscoveryService::Worker::OpenSocket() {
    constexpr const char* kSource = "CProgServiceMgr::OpenSocket()";
    socket.Reset(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.IsValid()) {
        Log(kSource, "#%d - Can't create socket!", static_cast<int>(platform::WsaFromErrno(errno)));
        return false;
    }
    const int on = 1;
    if (::setsockopt(socket.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        Log(kSource, "#%d - Can't set broadcast option!",
            static_cast<int>(platform::WsaFromErrno(errno)));
        socket.Reset();
        return false;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(PLIXOR_HOST_PORT);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        Log(kSource, "Can't bind socket : %s", platform::SystemErrorText(errno).c_str());
        socket.Reset();
        return false;
    }
    // Linux has no largest-message-size query for datagram sockets (a UDP
    // datagram can carry 65507 bytes), so that check passes. The socket's own
    // read readiness stands in for a separate readable event.
    return true;
}

void DiscoveryService::Worker::Serve(platform::WaitHandle stopHandle) {
    platform::WaitHandle handles[kSlotCount];
    handles[kSlotStop] = stopHandle;
    handles[kSlotSocket] = platform::WaitHandle{socket.Get(), POLLIN};
    handles[kSlotOperation] = opQueueEvent->Handle();
    handles[kSlotSendKick] = sendKickEvent->Handle();
    for (;;) {
        // A datagram the socket could not take yet completes when it becomes
        // writable; every other send completes through its event.
        handles[kSlotSendComplete] = pending.blocked ? platform::WaitHandle{socket.Get(), POLLOUT}
                                                     : sendCompleteEvent->Handle();
        const uint32_t slot = platform::worker::WaitForHandles(*this, handles, kSlotCount);
        switch (slot) {
            case kSlotStop:
                return;
            case kSlotSocket:
                OnSocketReady(platform::LastReadyEvents(kSlotSocket));
                break;
            case kSlotSendComplete:
                OnSocketWrite();
                if (!pending.blocked)
                    platform::worker::ResetEventHandle(*this, sendCompleteEvent.get());
                break;
            case kSlotOperation:
                TakeOperation();
                break;
            case kSlotSendKick:
                platform::worker::ResetEventHandle(*this, sendKickEvent.get());
                if (!sendInProgress && !sendQueue.empty())
                    PostSendOperation(sendQueue.front());
                break;
            default:
                Log("CProgServiceMgr::Run()", "WSAWaitForMultipleEvents() failed!");
                break;
        }
    }
}

void DiscoveryService::Worker::FinishPendingSend() {
    if (!sendInProgress)
        return;
    if (pending.blocked) {
        pollfd p{socket.Get(), POLLOUT, 0};
        ::poll(&p, 1, kFinishSendTimeoutMs);
    }
    OnSocketWrite();
    // Still not taken: the datagram is given up with the socket.
    if (sendInProgress)
        CompleteSend(discovery::kNetworkError);
}

void DiscoveryService::Worker::TakeOperation() {
    std::unique_ptr<DeviceRecord> record;
    {
        std::lock_guard<std::mutex> lock(opQueueLock);
        if (!opQueue.empty()) {
            record = std::move(opQueue.front());
            opQueue.pop_front();
        }
        if (opQueue.empty())
            platform::worker::ResetEventHandle(*this, opQueueEvent.get());
    }
    if (record)
        DoQOperation(std::move(record));
}

void DiscoveryService::Worker::OnSocketReady(short revents) {
    int readError = 0;
    if (revents & POLLERR) {
        socklen_t len = sizeof readError;
        if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &readError, &len) != 0)
            readError = 0;
        if (readError == 0) {
            // An error queued without a pending error number: drop it, or the
            // socket would stay ready forever.
            char scratch[64];
            ::recv(socket.Get(), scratch, sizeof scratch, MSG_ERRQUEUE | MSG_DONTWAIT);
        }
    }
    if (readError != 0) {
        OnSocketRead(platform::WsaFromErrno(readError));
    } else if (revents & POLLIN) {
        OnSocketRead(0);
    }
}

void DiscoveryService::Worker::OnSocketRead(uint32_t readError) {
    constexpr const char* kSource = "CProgServiceMgr::OnSocketRead()";
    if (readError != 0) {
        Log(kSource, "#%d - Socket error while waiting for incoming data!",
            static_cast<int>(readError));
        return;
    }
    uint8_t buffer[PLIXOR_MAX_DATAGRAM];
    // MSG_TRUNC reports the datagram's real size: one that does not fit is
    // dropped rather than handled cut short.
    const ssize_t n = ::recv(socket.Get(), buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;  // nothing there after all
        Log(kSource, "#%d - Can't read incoming data!",
            static_cast<int>(platform::WsaFromErrno(errno)));
        return;
    }
    if (static_cast<size_t>(n) > sizeof buffer) {
        Log(kSource, "#%d - Can't read incoming data!",
            static_cast<int>(platform::WsaFromErrno(EMSGSIZE)));
        return;
    }
    DispatchPacket(
        buffer, static_cast<size_t>(n), sink,
        [this](const char* source, const std::string& text) { Log(source, "%s", text.c_str()); });
}

void DiscoveryService::Worker::DoQOperation(std::unique_ptr<DeviceRecord> record) {
    if (auto* ipConfig = dynamic_cast<DeviceIpConfig*>(record.get())) {
        uint8_t payload[PLIXOR_SET_IP_PAYLOAD_SIZE];
        std::memcpy(payload, &ipConfig->ipAddress, 4);
        std::memcpy(payload + 4, &ipConfig->netMask, 4);
        const uint32_t deviceId = ipConfig->deviceId;
        const uint32_t requestId = ipConfig->requestId;
        QueuePacket(PLIXOR_PKT_SET_IP, deviceId, std::move(record), requestId, payload,
                    sizeof payload);
    } else if (auto* status = dynamic_cast<DeviceStatus*>(record.get())) {
        const uint32_t deviceId = status->deviceId;
        const uint32_t requestId = status->requestId;
        record.reset();
        QueuePacket(PLIXOR_PKT_DEV_STATUS_REQ, deviceId, nullptr, requestId, nullptr, 0);
    } else {
        Log("CProgServiceMgr::DoQOperation()", "Invalid object type");
    }
}

void DiscoveryService::Worker::QueuePacket(uint32_t type, uint32_t deviceId,
                                           std::unique_ptr<DeviceRecord> record, uint32_t requestId,
                                           const uint8_t* payload, size_t payloadSize) {
    PLIXOR_Header header;
    header.type = type;
    header.deviceId = deviceId;
    header.requestId = requestId;
    sendQueue.push_back(
        SendPacket{EncodeDatagram(header, payload, payloadSize), std::move(record)});
    platform::worker::SignalEventHandle(*this, sendKickEvent.get());
}

void DiscoveryService::Worker::PostSendOperation(SendPacket& packet) {
    platform::worker::ResetEventHandle(*this, sendCompleteEvent.get());
    TrySend(packet);
    if (pending.failed && !pending.blocked) {
        Log("CProgServiceMgr::PostSendOperation()", "%s",
            SocketErrorText(platform::WsaFromErrno(pending.error)).c_str());
        CompleteSend(discovery::kNetworkError);
        return;
    }
    sendInProgress = true;
    if (!pending.blocked)
        platform::worker::SignalEventHandle(*this, sendCompleteEvent.get());
}

void DiscoveryService::Worker::TrySend(const SendPacket& packet) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(PLIXOR_DEVICE_PORT);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    pending = PendingSend{};
    const ssize_t n =
        ::sendto(socket.Get(), packet.bytes.data(), packet.bytes.size(),
                 MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (n >= 0) {
        pending.sent = static_cast<size_t>(n);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pending.blocked = true;
    } else {
        pending.failed = true;
        pending.error = errno;
    }
}

void DiscoveryService::Worker::OnSocketWrite() {
    if (!sendInProgress || sendQueue.empty())
        return;
    if (pending.blocked) {
        TrySend(sendQueue.front());
        if (pending.blocked)
            return;  // not taken yet: keep waiting
    }
    uint32_t result = discovery::kSuccess;
    if (pending.failed) {
        Log("CProgServiceMgr::OnSocketWrite()", "%s",
            SocketErrorText(platform::WsaFromErrno(pending.error)).c_str());
        result = discovery::kNetworkError;
    } else if (pending.sent != sendQueue.front().bytes.size()) {
        result = discovery::kNetworkError;
    }
    CompleteSend(result);
}

void DiscoveryService::Worker::CompleteSend(uint32_t result) {
    if (!sendQueue.empty()) {
        std::unique_ptr<DeviceRecord> record = std::move(sendQueue.front().record);
        sendQueue.pop_front();
        if (record && result != discovery::kSuccess)
            sink.OnSetIPResult(record->requestId, result);
    }
    pending = PendingSend{};
    sendInProgress = false;
    platform::worker::SignalEventHandle(*this, sendKickEvent.get());
}

}  // namespace discovery
