#include "link/client_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

#include "link/link_errors.h"
#include "platform/byte_order.h"
#include "platform/debug_output.h"
#include "platform/socket_errors.h"
#include "platform/wait.h"

namespace devlink {
namespace {

using platform::WaitHandle;

uint32_t MapErrno(int err) {
    return MapSocketError(platform::WsaFromErrno(err));
}

constexpr uint32_t kGrowStep = 512;
constexpr int kKeepAliveIdleSeconds = 5;
constexpr int kKeepAliveIntervalSeconds = 1;

}  // namespace

// ---------------------------------------------------------------------------
// Caller side

ClientLink::ClientLink() = default;

ClientLink::~ClientLink() {
    Stop();
}

uint32_t ClientLink::Start(Receiver* receiver, LinkLog* log) {
    if (!receiver)
        return EIOCPE_BAD_PARAMS;
    if (core_)
        return EIOCPE_ALREADY_STARTED;
    std::shared_ptr<Core> core;
    try {
        core = std::make_shared<Core>();
    } catch (const std::bad_alloc&) {
        return EIOCPE_NO_MEM;
    }
    core->receiver = receiver;
    core->log = log;
    core->context = 1;
    std::memcpy(core->signature, devlink::kClientSignature, sizeof devlink::kClientSignature);
    core->initWord = 0;
    core->clientType = 1;
    if (!core->queueEvent.IsValid())
        return EIOCPE_UNABLE_TO_CREATE_EVENT;
    const auto started = worker_.Start(
        [core](platform::WorkerThread::Control& control) { return core->Run(control); });
    using Status = platform::WorkerThread::StartResult::Status;
    switch (started.status) {
        case Status::Started:
            core_ = std::move(core);
            return EIOCPE_SUCCESS;
        case Status::EndedDuringSetUp:
            return started.code;
        case Status::NoEvent:
            return EIOCPE_UNABLE_TO_CREATE_EVENT;
        case Status::NoThread:
            return EIOCPE_UNABLE_RUN_THREAD;
        case Status::WaitFailed:
            break;
    }
    return EIOCPE_FAIL;
}

bool ClientLink::Push(Command cmd) {
    std::lock_guard lock(core_->queueLock);
    if (core_->stopped)
        return false;
    core_->commandQueue.push_back(std::move(cmd));
    core_->queueEvent.Set();
    return true;
}

uint32_t ClientLink::Connect(const char* host, uint16_t port, uint32_t retryInterval) {
    if (!host || port == 0)
        return EIOCPE_BAD_PARAMS;
    if (!core_)
        return EIOCPE_FAIL;
    try {
        Push(ConnectCommand{host, port, retryInterval});
    } catch (const std::bad_alloc&) {
        return EIOCPE_NO_MEM;
    }
    return EIOCPE_SUCCESS;
}

uint32_t ClientLink::Disconnect(uint32_t notify, uint32_t immediate) {
    if (!core_)
        return EIOCPE_SUCCESS;
    // Waiting for ourselves would never end.
    if (worker_.IsWorkerThread())
        return EIOCPE_FAIL;
    std::shared_ptr<DisconnectDone> done;
    try {
        done = std::make_shared<DisconnectDone>();
        if (!done->event.IsValid())
            return EIOCPE_UNABLE_TO_CREATE_EVENT;
        if (!Push(DisconnectCommand{notify != 0, immediate != 0, done}))
            return EIOCPE_SUCCESS;
    } catch (const std::bad_alloc&) {
        return EIOCPE_NO_MEM;
    }
    const WaitHandle signalled[] = {done->event.Handle()};
    while (platform::WaitAny(signalled, platform::kWaitInfinite) != 0) {
    }
    return EIOCPE_SUCCESS;
}

uint32_t ClientLink::Send(const void* data, uint32_t length) {
    if (!data || length == 0)
        return EIOCPE_BAD_PARAMS;
    // The frame length must still fit its 32-bit field.
    if (length > UINT32_MAX - devlink::kHeaderSize)
        return EIOCPE_BAD_PARAMS;
    if (!core_)
        return EIOCPE_FAIL;
    try {
        const auto* bytes = static_cast<const uint8_t*>(data);
        Push(SendCommand{std::vector<uint8_t>(bytes, bytes + length)});
    } catch (const std::bad_alloc&) {
        return EIOCPE_NO_MEM;
    }
    return EIOCPE_SUCCESS;
}

uint64_t ClientLink::BytesReceived() const {
    return core_ ? core_->bytesReceived.load() : 0;
}

void ClientLink::Stop() {
    // The core stays (refusing commands) until the object goes, so that a
    // caller racing with the shutdown never finds it freed.
    if (!core_ || !worker_.Running())
        return;
    Disconnect(0, 1);
    // A thread that does not end in time is given up on: it runs out on its
    // own share of the core, with callbacks and logging silenced.
    worker_.Stop(kStopWaitMs);
    std::deque<Command> rest;
    {
        std::lock_guard lock(core_->queueLock);
        core_->stopped = true;
        rest.swap(core_->commandQueue);
        core_->queueEvent.Reset();
    }
    // Callers of Disconnect still wait for their command.
    for (const Command& cmd : rest) {
        if (const auto* disconnect = std::get_if<DisconnectCommand>(&cmd))
            disconnect->done->event.Set();
    }
}

// ---------------------------------------------------------------------------
// Link thread

ClientLink::Core::Core() {
    rxArchive.growStep = kGrowStep;
    txArchive.growStep = kGrowStep;
}

ClientLink::Core::~Core() = default;

uint32_t ClientLink::Core::Run(platform::WorkerThread::Control& workerControl) {
    control = &workerControl;
    retryTimer.reset(new (std::nothrow)
                         platform::WaitableTimer(platform::WaitableTimer::Kind::AutoReset));
    if (!retryTimer || !retryTimer->IsValid()) {
        const int err = retryTimer ? errno : ENOMEM;
        retryTimer.reset();
        LogError("IIOCP_ClientConnection - conn thread - CreateWaitableTimer failed : %d", err);
        return EIOCPE_NO_RESOURCESS;
    }
    workerControl.ReportStarted();
    timerArmed = false;

    enum Slot { kSlotStop, kSlotQueue, kSlotSocket, kSlotRetryTimer };
    for (;;) {
        if (!timerArmed && retryInterval != 0 && state == State::kDisconnected) {
            if (retryTimer->Arm(static_cast<uint64_t>(retryInterval) * 1000)) {
                timerArmed = true;
            } else {
                const int err = errno;
                retryInterval = 0;
                NotifyConnectFailed(EIOCPE_FAIL);
                LogError("IIOCP_ClientConnection - conn thread - Unable to set timer : %d", err);
            }
        }
        const WaitHandle handles[] = {workerControl.StopHandle(), queueEvent.Handle(),
                                      SocketHandle(), retryTimer->Handle()};
        const int which = platform::WaitAny(handles, platform::kWaitInfinite);
        if (which == kSlotStop)
            break;
        switch (which) {
            case kSlotQueue:
                RunNextCommand();
                break;
            case kSlotSocket:
                HandleNetworkEvents(true, platform::LastReadyEvents(kSlotSocket));
                break;
            case kSlotRetryTimer:
                timerArmed = false;
                OnRetryTimer();
                break;
            default:
                LogError(
                    "IIOCP_ClientConnection - conn thread - WSAWaitForMultipleEvents() failed : %s",
                    LinkErrorText(MapErrno(errno)));
                break;
        }
    }
    retryTimer.reset();
    // Normally the shutdown's disconnect has closed it already.
    CloseSocket();
    return EIOCPE_SUCCESS;
}

void ClientLink::Core::RunNextCommand() {
    std::optional<Command> cmd;
    {
        std::lock_guard lock(queueLock);
        if (!commandQueue.empty()) {
            cmd.emplace(std::move(commandQueue.front()));
            commandQueue.pop_front();
        }
        if (commandQueue.empty())
            queueEvent.Reset();
    }
    if (!cmd)
        return;
    if (const auto* connect = std::get_if<ConnectCommand>(&*cmd))
        DoConnect(*connect);
    else if (const auto* disconnect = std::get_if<DisconnectCommand>(&*cmd))
        DoDisconnect(*disconnect);
    else if (const auto* send = std::get_if<SendCommand>(&*cmd))
        DoSend(*send);
}

void ClientLink::Core::DoConnect(const ConnectCommand& cmd) {
    if (state != State::kDisconnected) {
        NotifyConnectFailed(state == State::kConnected ? EIOCPE_ALREADY_CONNECTED
                                                       : EIOCPE_CONNECT_IN_PROGRESS);
        return;
    }
    retryTimer->Cancel();  // also drops an expiry not yet waited for
    timerArmed = 0;
    port = cmd.port;
    host = cmd.host;
    bool lookupFailed = false;
    const uint32_t code = TryConnect(&lookupFailed);
    if (code == 0) {
        state = State::kConnecting;
        retryInterval = cmd.retryInterval;
    } else if (lookupFailed && cmd.retryInterval != 0) {
        retryInterval = cmd.retryInterval;
    } else {
        NotifyConnectFailed(code);
        LogError("IIOCP_ClientConnection - conn thread - Try to connect failed : %s",
                 LinkErrorText(code));
    }
}

void ClientLink::Core::OnRetryTimer() {
    // A connect command cancels the timer before leaving Disconnected, so a
    // late expiry must not open a second socket.
    if (state != State::kDisconnected)
        return;
    bool lookupFailed = false;
    const uint32_t code = TryConnect(&lookupFailed);
    if (code == 0) {
        state = State::kConnecting;
    } else if (code == EIOCPE_WSANO_DATA) {
        // The name exists but has no address yet: the timer is armed again.
    } else {
        retryInterval = 0;
        NotifyConnectFailed(code);
        LogError("IIOCP_ClientConnection - conn thread - Try to connect failed : %s",
                 LinkErrorText(code));
    }
}

void ClientLink::Core::DoDisconnect(const DisconnectCommand& cmd) {
    retryInterval = 0;
    // A pending reconnect must not bring the link back after it was told to go.
    retryTimer->Cancel();
    timerArmed = false;
    switch (state) {
        case State::kDisconnected:
            break;
        case State::kConnecting:
        case State::kInitialising:
            CloseConnection(cmd.notify, EIOCPE_SUCCESS);
            break;
        case State::kConnected:
            if (cmd.immediate)
                CloseConnection(cmd.notify, EIOCPE_SUCCESS);
            else
                CloseGracefully(cmd.notify);
            break;
    }
    cmd.done->event.Set();  // the caller may go on from here
}

// One deadline for the whole close: a peer that keeps sending after our
// half-close must not keep the caller of Disconnect waiting.
void ClientLink::Core::CloseGracefully(bool notify) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kGracefulCloseMs);
    ::shutdown(socket.Get(), SHUT_WR);
    while (state != State::kDisconnected) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const WaitHandle handles[] = {SocketHandle()};
        const int which =
            left > 0 ? platform::WaitAny(handles, static_cast<int>(left)) : platform::kWaitTimeout;
        if (which == 0) {
            HandleNetworkEvents(notify, platform::LastReadyEvents(0));
        } else if (which == platform::kWaitTimeout) {
            CloseConnection(notify, EIOCPE_SUCCESS);
        } else {
            LogError(
                "IIOCP_ClientConnection - conn thread - WSAWaitForMultipleEvents() failed "
                ": %s",
                LinkErrorText(MapErrno(errno)));
        }
    }
}

void ClientLink::Core::DoSend(const SendCommand& cmd) {
    if (state != State::kConnected)
        return;
    const auto n = static_cast<uint32_t>(cmd.payload.size());
    uint32_t code = BuildFrame(devlink::kTypeUserPacket, cmd.payload.data(), n);
    if (code != 0) {
        LogError(
            "IIOCP_ClientConnection - conn thread - No memory to serialize object into output Q!");
    } else {
        code = WriteFrame();
    }
    if (code != 0) {
        NotifyDisconnected(code);
        state = State::kDisconnected;
        CloseSocket();
    }
}

uint32_t ClientLink::Core::TryConnect(bool* lookupFailed) {
    *lookupFailed = false;
    // Closed on every way out but success.
    platform::UniqueFd candidate(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!candidate.IsValid()) {
        const int err = errno;
        platform::DebugOutput("Socket soket method failed!\n");
        return MapErrno(err);
    }
    const int s = candidate.Get();
    const int on = 1, idle = kKeepAliveIdleSeconds, interval = kKeepAliveIntervalSeconds;
    if (::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0 ||
        ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) != 0 ||
        ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) != 0) {
        return MapErrno(errno);
    }
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on,
                 sizeof on);  // small packets leave at once; best effort
    const int flags = ::fcntl(s, F_GETFL);
    if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) != 0) {
        const int err = errno;
        platform::DebugOutput("WSAEventSelect failed!\n");
        return MapErrno(err);
    }

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
        uint32_t code = 0;
        if (rc != 0)
            code = MapSocketError(platform::WsaFromGai(rc, errno));
        else if (!found)
            code = EIOCPE_WSANO_DATA;
        if (code != 0) {
            platform::DebugOutput("gethostbyname failed!\n");
            *lookupFailed = code == EIOCPE_WSANO_DATA;
            return code;
        }
        addr.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        ::freeaddrinfo(found);
    }

    // An immediate success (possible on loopback) is completed like the
    // normal in-progress case: the socket reports writable at once.
    if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 ||
        errno == EINPROGRESS || errno == EINTR) {
        socket = std::move(candidate);
        return EIOCPE_SUCCESS;
    }
    const int err = errno;
    platform::DebugOutput("connect failed!\n");
    return MapErrno(err);
}

platform::WaitHandle ClientLink::Core::SocketHandle() const {
    short events = POLLIN | POLLRDHUP;
    if (state == State::kConnecting)
        events |= POLLOUT;
    return WaitHandle{socket.Get(), events, WaitHandle::Consume::None};
}

void ClientLink::Core::HandleNetworkEvents(bool notify, short revents) {
    if (!socket.IsValid() || revents == 0)
        return;
    if (state == State::kConnecting) {
        if (revents & (POLLOUT | POLLERR | POLLHUP)) {
            OnConnectCompleted();
            return;
        }
    }
    ReceiveStep(notify);
}

void ClientLink::Core::OnConnectCompleted() {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        err = errno;
    uint32_t code;
    if (err != 0) {
        code = MapErrno(err);
        LogError("IIOCP_ClientConnection - conn thread - Connect failed : %s", LinkErrorText(code));
    } else {
        rxArchive.Reset();
        uint8_t body[devlink::kInitBodySize] = {};
        platform::WriteLe16(body, 0x0101);
        platform::WriteLe16(body + 2, clientType);
        platform::WriteLe32(body + 4, initWord);
        std::memcpy(body + 8, signature, sizeof signature);
        code = BuildFrame(devlink::kTypeInitRequest, body, sizeof body);
        if (code == 0)
            code = WriteFrame();
        if (code == 0) {
            state = State::kInitialising;
            return;
        }
        LogError("IIOCP_ClientConnection - conn thread - SendClientInit : %s", LinkErrorText(code));
    }
    if (retryInterval == 0)
        NotifyConnectFailed(code);
    state = State::kDisconnected;
    CloseSocket();
}

void ClientLink::Core::ReceiveStep(bool notify) {
    bool peerClosed = false;
    uint32_t closeCode = EIOCPE_CONN_CLOSED_BY_SERVER;
    for (int turn = 0; turn < kMaxChunksPerTurn && socket.IsValid(); ++turn) {
        const ssize_t n = ::recv(socket.Get(), receiveChunk, sizeof receiveChunk, 0);
        if (n == 0) {
            ::shutdown(socket.Get(), SHUT_WR);
            peerClosed = true;
            break;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            // Reset, keep-alive time-out and the like end the connection:
            // the error stays pending and would wake every wait.
            closeCode = MapErrno(errno);
            ::shutdown(socket.Get(), SHUT_WR);
            peerClosed = true;
            break;
        }
        if (!rxArchive.Append(receiveChunk, static_cast<uint32_t>(n))) {
            CloseConnection(notify, EIOCPE_SUCCESS);
            rxArchive.Reset();
            return;
        }
        // Cutting frames chunk by chunk keeps the archive at a few chunks
        // however long the peer keeps sending.
        const bool open = ExtractFrames(notify);
        bytesReceived.fetch_add(static_cast<uint64_t>(n));
        if (!open)
            return;
    }
    if (peerClosed && socket.IsValid()) {
        LogError("IIOCP_ClientConnection - conn thread - Connection closed from server!");
        CloseConnection(notify, closeCode);
    }
}

bool ClientLink::Core::ExtractFrames(bool notify) {
    bool open = true;
    for (;;) {
        const uint8_t* frame = rxArchive.cursor;
        devlink::Header header;
        const devlink::Cut cut = devlink::CutFrame(frame, rxArchive.Unread(), &header);
        if (cut == devlink::Cut::NeedMore)
            break;
        if (cut == devlink::Cut::Bad) {
            CloseConnection(notify, EIOCPE_PROTO_ERROR);
            LogError("IIOCP_ClientConnection - conn thread - Invalid packet header!");
            open = false;
            break;
        }
        const uint32_t code = Dispatch(frame, header);
        if (code != 0) {
            CloseConnection(notify, code);
            open = false;
            break;
        }
        rxArchive.cursor += header.length;
    }
    if (open) {
        rxArchive.Compact();  // once per pass, not once per frame
    } else {
        rxArchive.Reset();
    }
    return open && socket.IsValid();
}

uint32_t ClientLink::Core::Dispatch(const uint8_t* frame, const devlink::Header& header) {
    switch (state) {
        case State::kDisconnected:
            LogError(
                "IIOCP_ClientConnection - conn thread - PacketReceived() - When Disconnected?!?!!");
            return EIOCPE_SUCCESS;
        case State::kConnecting:
            LogError(
                "IIOCP_ClientConnection - conn thread - PacketReceived() - When waiting to "
                "connect?!?!!");
            return EIOCPE_SUCCESS;
        case State::kInitialising:
            return OnInitResponse(frame, header);
        default:
            break;
    }
    switch (header.type) {
        case devlink::kTypeServerCommand:
            LogError("conn thread - Received unknown CMD from server!");
            return EIOCPE_SUCCESS;
        case devlink::kTypeUserPacket:
            if (header.length <= devlink::kHeaderSize) {
                LogError(
                    "IIOCP_ClientConnection - conn thread - Received bad USER pkt! Disconnect!");
                return EIOCPE_PROTO_ERROR;
            }
            if (!Silenced())
                receiver->OnPacket(frame + devlink::kHeaderSize,
                                   header.length - devlink::kHeaderSize, context);
            return EIOCPE_SUCCESS;
        default:
            LogError("conn thread - Received unknown server packet : %.02X ignore!", header.type);
            return EIOCPE_SUCCESS;
    }
}

uint32_t ClientLink::Core::OnInitResponse(const uint8_t* frame, const devlink::Header& header) {
    if (header.type != devlink::kTypeInitResponse) {
        LogMessage(
            "IIOCP_ClientConnection - conn thread - Received bad server response to INIT command : "
            "%02X - ignore!",
            header.type);
        return EIOCPE_SUCCESS;
    }
    // The result word must be there; anything shorter is not an answer.
    if (header.length - devlink::kHeaderSize < 4) {
        LogError("IIOCP_ClientConnection - Init with server failed : %s",
                 LinkErrorText(EIOCPE_PROTO_ERROR));
        return EIOCPE_PROTO_ERROR;
    }
    const uint32_t result = platform::ReadLe32(frame + devlink::kHeaderSize);
    if (result == 0) {
        LogMessage("IIOCP_ClientConnection - conn thread - Received INIT ok!");
        state = State::kConnected;
        NotifyConnected();
        return EIOCPE_SUCCESS;
    }
    const uint32_t code = MapInitResult(result);
    LogError("IIOCP_ClientConnection - Init with server failed : %s", LinkErrorText(code));
    if (IsFinalInitRefusal(result)) {
        retryInterval = 0;
        state = State::kDisconnected;
        CloseSocket();
        NotifyConnectFailed(code);
    } else {
        if (retryInterval == 0)
            NotifyConnectFailed(code);
        state = State::kDisconnected;
        CloseSocket();
    }
    return EIOCPE_SUCCESS;
}

void ClientLink::Core::CloseConnection(bool notify, uint32_t code) {
    if (notify) {
        if (state == State::kConnected)
            NotifyDisconnected(code);
        else if (state == State::kInitialising && retryInterval == 0)
            NotifyConnectFailed(code);
    }
    state = State::kDisconnected;
    CloseSocket();
}

void ClientLink::Core::CloseSocket() {
    socket.Reset();
}

uint32_t ClientLink::Core::BuildFrame(uint32_t type, const void* body, uint32_t n) {
    const uint32_t total = devlink::kHeaderSize + n;
    txArchive.Reset();
    if (txArchive.capacity < total && !txArchive.Reserve(total))
        return EIOCPE_NO_MEM;
    uint8_t header[devlink::kHeaderSize];
    devlink::WriteHeader(header, type, total);
    txArchive.Append(header, sizeof header);
    txArchive.Append(body, n);
    return EIOCPE_SUCCESS;
}

uint32_t ClientLink::Core::WriteFrame() {
    const uint8_t* p = txArchive.buffer;
    size_t left = txArchive.length;
    while (left > 0) {
        const ssize_t n = ::send(socket.Get(), p, left, MSG_NOSIGNAL);
        if (n >= 0) {
            p += n;
            left -= static_cast<size_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return MapErrno(errno);
        pollfd pfd{socket.Get(), POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, kSendStallMs);
        if (ready == 0)
            return MapErrno(ETIMEDOUT);
        if (ready < 0 && errno != EINTR)
            return MapErrno(errno);
    }
    return EIOCPE_SUCCESS;
}

bool ClientLink::Core::Silenced() const {
    return control == nullptr || control->GivenUp();
}

void ClientLink::Core::NotifyConnected() {
    if (!Silenced())
        receiver->OnConnected(context);
}

void ClientLink::Core::NotifyConnectFailed(uint32_t code) {
    if (!Silenced())
        receiver->OnConnectFailed(code, context);
}

void ClientLink::Core::NotifyDisconnected(uint32_t code) {
    if (!Silenced())
        receiver->OnDisconnected(code, context);
}

void ClientLink::Core::LogMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VLog(false, format, args);
    va_end(args);
}

void ClientLink::Core::LogError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VLog(true, format, args);
    va_end(args);
}

// Lines are formatted here once and handed on as text, so the log never
// sees a format of ours.
void ClientLink::Core::VLog(bool error, const char* format, va_list args) {
    if (!log || Silenced())
        return;
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    if (error)
        log->LogError("%s", line);
    else
        log->LogMessage("%s", line);
}

Connection* CreateClientConnection(Receiver* receiver, LinkLog* log, uint32_t* error) {
    auto* link = new (std::nothrow) ClientLink;
    uint32_t result = link ? link->Start(receiver, log) : EIOCPE_NO_MEM;
    if (result != 0) {
        delete link;
        link = nullptr;
    }
    if (error)
        *error = result;
    return link;
}

uint32_t ReleaseClientConnection(Connection* link) {
    if (auto* tcp = dynamic_cast<ClientLink*>(link))
        tcp->Stop();
    delete link;
    return EIOCPE_SUCCESS;
}

}  // namespace devlink
