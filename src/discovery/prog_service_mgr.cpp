#include "discovery/prog_service_mgr.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "discovery/plixor_datagram.h"
#include "discovery/psm_result.h"
#include "discovery/wsa_error_text.h"
#include "platform/socket_errors.h"
#include "platform/system_error_text.h"
#include "platform/wait.h"

namespace {

constexpr size_t kLogBufferSize = 4096;
constexpr uint32_t kStopTimeoutMs = 5000;
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

}  // namespace

CProgServiceMgr::CProgServiceMgr() = default;

CProgServiceMgr::~CProgServiceMgr() {
    if (IsRunning())
        StopOperations();
}

uint32_t CProgServiceMgr::StartOperations(ICPSMD_Notification* sink) {
    if (sink == nullptr)
        return psm::kInvalidParameters;
    if (IsRunning()) {
        // The running worker waits on the current events: leave them alone.
        const uint32_t result = Start();
        Log("CProgServiceMgr::StartOperations()", "%s", PSMResultText(result));
        return result;
    }
    sink_ = sink;

    sendCompleteEvent_ = CreateEventHandle();
    sendKickEvent_ = CreateEventHandle();
    opQueueEvent_ = CreateEventHandle();
    if (!sendCompleteEvent_ || !sendKickEvent_ || !opQueueEvent_) {
        ReleaseEvents();
        Log("CProgServiceMgr::StartOperations()", "Can't create event objects!");
        return psm::kGeneralFailure;
    }
    const uint32_t result = Start();
    if (result != 0) {
        Log("CProgServiceMgr::StartOperations()", "%s", PSMResultText(result));
        ReleaseEvents();
        return result;
    }
    return psm::kSuccess;
}

uint32_t CProgServiceMgr::StopOperations() {
    if (!IsRunning())
        return psm::kGeneralFailure;
    uint32_t exitCode = 0;
    const bool ended = Stop(&exitCode, kStopTimeoutMs);
    if (ended) {
        ReleaseEvents();
    }
    // A worker that did not end in time may still wait on the events; they
    // stay until the next start or the destructor.
    std::lock_guard<std::mutex> lock(opQueueLock_);
    opQueue_.clear();
    return psm::kSuccess;
}

void CProgServiceMgr::ReleaseEvents() {
    std::lock_guard<std::mutex> lock(opQueueLock_);
    sendCompleteEvent_.reset();
    sendKickEvent_.reset();
    opQueueEvent_.reset();
}

uint32_t CProgServiceMgr::RefreshDevices() {
    auto request = std::make_unique<CPSMD_DevStatus>();
    request->requestId = 0;
    request->deviceId = 0;
    request->action = PSM_ACTION_READ;
    return QueueOperation(std::move(request));
}

uint32_t CProgServiceMgr::SetDeviceIP(uint32_t deviceId, uint32_t ipAddress, uint32_t netMask,
                                      uint32_t* requestId) {
    auto request = std::make_unique<CPSMD_DevIPConfig>();
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

uint32_t CProgServiceMgr::QueueOperation(std::unique_ptr<CPSMDataBase> record) {
    std::lock_guard<std::mutex> lock(opQueueLock_);
    // Without a worker the record would sit unseen until some later start.
    if (!opQueueEvent_)
        return psm::kNoMemory;
    opQueue_.push_back(std::move(record));
    SignalEventHandle(opQueueEvent_.get());
    return psm::kSuccess;
}

void CProgServiceMgr::Log(const char* source, const char* format, ...) {
    (void)source;
    if (std::strlen(format) >= kLogBufferSize)
        return;
    char text[kLogBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (sink_)
        sink_->OnServiceLog(text);
}

bool CProgServiceMgr::OpenSocket() {
    constexpr const char* kSource = "CProgServiceMgr::OpenSocket()";
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
        Log(kSource, "#%d - Can't create socket!", static_cast<int>(platform::WsaFromErrno(errno)));
        return false;
    }
    const int on = 1;
    if (::setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        Log(kSource, "#%d - Can't set broadcast option!",
            static_cast<int>(platform::WsaFromErrno(errno)));
        CloseSocket();
        return false;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(PLIXOR_HOST_PORT);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        Log(kSource, "Can't bind socket : %s", platform::SystemErrorText(errno).c_str());
        CloseSocket();
        return false;
    }
    // Linux has no largest-message-size query for datagram sockets (a UDP
    // datagram can carry 65507 bytes), so that check passes. The socket's own
    // read readiness stands in for a separate readable event.
    return true;
}

void CProgServiceMgr::CloseSocket() {
    if (socket_ >= 0)
        ::close(socket_);
    socket_ = -1;
}

uint32_t CProgServiceMgr::Run() {
    sendInProgress_ = false;
    pending_ = PendingSend{};
    // Start() called directly, not through StartOperations: nothing to run with.
    if (!sink_ || !sendCompleteEvent_ || !sendKickEvent_ || !opQueueEvent_)
        return psm::kInvalidParameters;
    if (!OpenSocket())
        return psm::kNoSystemResources;
    SignalStarted();

    platform::WaitHandle handles[kSlotCount];
    handles[kSlotStop] = StopEventHandle();
    handles[kSlotSocket] = platform::WaitHandle{socket_, POLLIN};
    handles[kSlotOperation] = opQueueEvent_->Handle();
    handles[kSlotSendKick] = sendKickEvent_->Handle();
    for (;;) {
        // A datagram the socket could not take yet completes when it becomes
        // writable; every other send completes through its event.
        handles[kSlotSendComplete] = pending_.blocked ? platform::WaitHandle{socket_, POLLOUT}
                                                      : sendCompleteEvent_->Handle();
        const uint32_t slot = WaitForHandles(handles, kSlotCount);
        if (slot == kSlotStop)
            break;
        switch (slot) {
            case kSlotSocket:
                OnSocketReady(platform::LastReadyEvents(kSlotSocket));
                break;
            case kSlotSendComplete:
                OnSocketWrite();
                if (!pending_.blocked)
                    ResetEventHandle(sendCompleteEvent_.get());
                break;
            case kSlotOperation: {
                std::unique_ptr<CPSMDataBase> record;
                {
                    std::lock_guard<std::mutex> lock(opQueueLock_);
                    if (!opQueue_.empty()) {
                        record = std::move(opQueue_.front());
                        opQueue_.pop_front();
                    }
                    if (opQueue_.empty())
                        ResetEventHandle(opQueueEvent_.get());
                }
                if (record)
                    DoQOperation(std::move(record));
                break;
            }
            case kSlotSendKick:
                ResetEventHandle(sendKickEvent_.get());
                if (!sendInProgress_ && !sendQueue_.empty())
                    PostSendOperation(sendQueue_.front());
                break;
            default:
                Log("CProgServiceMgr::Run()", "WSAWaitForMultipleEvents() failed!");
                break;
        }
    }

    if (sendInProgress_) {
        if (pending_.blocked) {
            pollfd p{socket_, POLLOUT, 0};
            ::poll(&p, 1, kFinishSendTimeoutMs);
        }
        OnSocketWrite();
        // Still not taken: the datagram is given up with the socket.
        if (sendInProgress_)
            CompleteSend(psm::kNetworkError);
    }
    CloseSocket();
    sendQueue_.clear();
    return 0;
}

void CProgServiceMgr::OnSocketReady(short revents) {
    int readError = 0;
    if (revents & POLLERR) {
        socklen_t len = sizeof readError;
        if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &readError, &len) != 0)
            readError = 0;
        if (readError == 0) {
            // An error queued without a pending error number: drop it, or the
            // socket would stay ready forever.
            char scratch[64];
            ::recv(socket_, scratch, sizeof scratch, MSG_ERRQUEUE | MSG_DONTWAIT);
        }
    }
    if (readError != 0) {
        OnSocketRead(platform::WsaFromErrno(readError));
    } else if (revents & POLLIN) {
        OnSocketRead(0);
    }
}

void CProgServiceMgr::OnSocketRead(uint32_t readError) {
    constexpr const char* kSource = "CProgServiceMgr::OnSocketRead()";
    if (readError != 0) {
        Log(kSource, "#%d - Socket error while waiting for incoming data!",
            static_cast<int>(readError));
        return;
    }
    uint8_t buffer[PLIXOR_MAX_DATAGRAM];
    // MSG_TRUNC reports the datagram's real size: one that does not fit is
    // dropped rather than handled cut short.
    const ssize_t n = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
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
        buffer, static_cast<size_t>(n), *sink_,
        [this](const char* source, const std::string& text) { Log(source, "%s", text.c_str()); });
}

void CProgServiceMgr::DoQOperation(std::unique_ptr<CPSMDataBase> record) {
    if (auto* ipConfig = dynamic_cast<CPSMD_DevIPConfig*>(record.get())) {
        uint8_t payload[PLIXOR_SET_IP_PAYLOAD_SIZE];
        std::memcpy(payload, &ipConfig->ipAddress, 4);
        std::memcpy(payload + 4, &ipConfig->netMask, 4);
        const uint32_t deviceId = ipConfig->deviceId;
        const uint32_t requestId = ipConfig->requestId;
        QueuePacket(PLIXOR_PKT_SET_IP, deviceId, std::move(record), requestId, payload,
                    sizeof payload);
    } else if (auto* status = dynamic_cast<CPSMD_DevStatus*>(record.get())) {
        const uint32_t deviceId = status->deviceId;
        const uint32_t requestId = status->requestId;
        record.reset();
        QueuePacket(PLIXOR_PKT_DEV_STATUS_REQ, deviceId, nullptr, requestId, nullptr, 0);
    } else {
        Log("CProgServiceMgr::DoQOperation()", "Invalid object type");
    }
}

uint32_t CProgServiceMgr::QueuePacket(uint32_t type, uint32_t deviceId,
                                      std::unique_ptr<CPSMDataBase> record, uint32_t requestId,
                                      const uint8_t* payload, size_t payloadSize) {
    PLIXOR_Header header;
    header.type = type;
    header.deviceId = deviceId;
    header.requestId = requestId;
    sendQueue_.push_back(
        SendPacket{EncodeDatagram(header, payload, payloadSize), std::move(record)});
    SignalEventHandle(sendKickEvent_.get());
    return 0;
}

void CProgServiceMgr::PostSendOperation(SendPacket& packet) {
    ResetEventHandle(sendCompleteEvent_.get());
    TrySend(packet);
    if (pending_.failed && !pending_.blocked) {
        Log("CProgServiceMgr::PostSendOperation()", "%s",
            WsaErrorText(platform::WsaFromErrno(pending_.error)).c_str());
        CompleteSend(psm::kNetworkError);
        return;
    }
    sendInProgress_ = true;
    if (!pending_.blocked)
        SignalEventHandle(sendCompleteEvent_.get());
}

void CProgServiceMgr::TrySend(const SendPacket& packet) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(PLIXOR_DEVICE_PORT);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    pending_ = PendingSend{};
    const ssize_t n =
        ::sendto(socket_, packet.bytes.data(), packet.bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (n >= 0) {
        pending_.sent = static_cast<size_t>(n);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pending_.blocked = true;
    } else {
        pending_.failed = true;
        pending_.error = errno;
    }
}

void CProgServiceMgr::OnSocketWrite() {
    if (!sendInProgress_ || sendQueue_.empty())
        return;
    if (pending_.blocked) {
        TrySend(sendQueue_.front());
        if (pending_.blocked)
            return;  // not taken yet: keep waiting
    }
    uint32_t result = psm::kSuccess;
    if (pending_.failed) {
        Log("CProgServiceMgr::OnSocketWrite()", "%s",
            WsaErrorText(platform::WsaFromErrno(pending_.error)).c_str());
        result = psm::kNetworkError;
    } else if (pending_.sent != sendQueue_.front().bytes.size()) {
        result = psm::kNetworkError;
    }
    CompleteSend(result);
}

void CProgServiceMgr::CompleteSend(uint32_t result) {
    if (!sendQueue_.empty()) {
        std::unique_ptr<CPSMDataBase> record = std::move(sendQueue_.front().record);
        sendQueue_.pop_front();
        if (record && result != psm::kSuccess && sink_)
            sink_->OnSetIPResult(record->requestId, result);
    }
    pending_ = PendingSend{};
    sendInProgress_ = false;
    SignalEventHandle(sendKickEvent_.get());
}
