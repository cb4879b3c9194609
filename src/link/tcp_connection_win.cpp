#include "platform/byte_order.h"
#include "link/tcp_connection_win.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "link/link_errors.h"
#include "platform/debug_output.h"
#include "platform/socket_errors.h"
#include "platform/wait.h"

namespace {

using platform::WaitHandle;

uint32_t MapErrno(int err) {
    return MapSocketError(platform::WsaFromErrno(err));
}

constexpr uint32_t kGrowStep = 512;
constexpr int kKeepAliveIdleSeconds = 5;
constexpr int kKeepAliveIntervalSeconds = 1;

}  // namespace

struct CTCPConnection_win::ConnectCommand : Command {
    ConnectCommand(const char* h, uint16_t p, uint32_t r)
        : Command(kConnect), host(h), port(p), retryInterval(r) {}
    std::string host;
    uint16_t port;
    uint32_t retryInterval;
};

struct CTCPConnection_win::DisconnectCommand : Command {
    DisconnectCommand(uint32_t n, uint32_t i) : Command(kDisconnect), notify(n), immediate(i) {}
    uint32_t notify;
    uint32_t immediate;
    // Written by the link thread before doneEvent is set; the caller reads it
    // after the wait.
    std::atomic<uint32_t> result{1};
    platform::Event doneEvent{platform::Event::Kind::AutoReset};

    void Done() {
        result = 0;
        doneEvent.Set();  // the caller may free the command from here on
    }
};

struct CTCPConnection_win::SendCommand : Command {
    SendCommand(const void* data, uint32_t n)
        : Command(kSend),
          payload(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + n) {}
    std::vector<uint8_t> payload;
};

// ---------------------------------------------------------------------------
// Caller side

CTCPConnection_win::CTCPConnection_win() = default;

CTCPConnection_win::~CTCPConnection_win() {
    Stop();
}

uint32_t CTCPConnection_win::Start(IIOCP_ClientReceiver* receiver, IIOCP_Log* log) {
    if (!receiver)
        return EIOCPE_BAD_PARAMS;
    if (core_)
        return EIOCPE_ALREADY_STARTED;
    try {
        core_ = std::make_shared<Core>();
    } catch (const std::bad_alloc&) {
        return EIOCPE_NO_MEM;
    }
    Core& c = *core_;
    c.receiver = receiver;
    c.log = log;
    c.context = 1;
    std::memcpy(c.signature, link_frame::kClientSignature, sizeof link_frame::kClientSignature);
    c.initWord = 0;
    c.clientType = 1;
    if (!c.stopEvent.IsValid() || !c.queueEvent.IsValid() || !c.startedEvent.IsValid() ||
        !c.finishedEvent.IsValid()) {
        core_.reset();
        return EIOCPE_UNABLE_TO_CREATE_EVENT;
    }
    try {
        thread_ = std::thread([core = core_] { core->Run(); });
    } catch (const std::system_error&) {
        core_.reset();
        return EIOCPE_UNABLE_RUN_THREAD;
    }
    const WaitHandle started[] = {c.startedEvent.Handle()};
    while (platform::WaitAny(started, platform::kWaitInfinite) != 0) {
    }
    const uint32_t result = c.startResult;
    if (result != 0) {
        thread_.join();
        core_.reset();
    }
    return result;
}

bool CTCPConnection_win::Push(Command* cmd) {
    std::lock_guard lock(core_->queueLock);
    if (core_->stopped)
        return false;
    core_->commandQueue.push_back(cmd);
    core_->queueEvent.Set();
    return true;
}

uint32_t CTCPConnection_win::Connect(const char* host, uint16_t port, uint32_t retryInterval) {
    if (!host || port == 0)
        return EIOCPE_BAD_PARAMS;
    if (!core_)
        return EIOCPE_FAIL;
    std::unique_ptr<ConnectCommand> cmd;
    try {
        cmd = std::make_unique<ConnectCommand>(host, port, retryInterval);
    } catch (const std::bad_alloc&) {
        return EIOCPE_NO_MEM;
    }
    if (Push(cmd.get()))
        cmd.release();
    return EIOCPE_SUCCESS;
}

uint32_t CTCPConnection_win::Disconnect(uint32_t notify, uint32_t immediate) {
    if (!core_)
        return EIOCPE_SUCCESS;
    // Waiting for ourselves would never end.
    if (std::this_thread::get_id() == core_->threadId.load())
        return EIOCPE_FAIL;
    std::unique_ptr<DisconnectCommand> cmd(new (std::nothrow) DisconnectCommand(notify, immediate));
    if (!cmd)
        return EIOCPE_NO_MEM;
    if (!cmd->doneEvent.IsValid())
        return EIOCPE_UNABLE_TO_CREATE_EVENT;
    if (!Push(cmd.get()))
        return EIOCPE_SUCCESS;
    const WaitHandle done[] = {cmd->doneEvent.Handle()};
    while (platform::WaitAny(done, platform::kWaitInfinite) != 0) {
    }
    return EIOCPE_SUCCESS;
}

uint32_t CTCPConnection_win::Send(const void* data, uint32_t length) {
    if (!data || length == 0)
        return EIOCPE_BAD_PARAMS;
    // The frame length must still fit its 32-bit field.
    if (length > UINT32_MAX - link_frame::kHeaderSize)
        return EIOCPE_BAD_PARAMS;
    if (!core_)
        return EIOCPE_FAIL;
    std::unique_ptr<SendCommand> cmd;
    try {
        cmd = std::make_unique<SendCommand>(data, length);
    } catch (const std::bad_alloc&) {
        return EIOCPE_NO_MEM;
    }
    if (Push(cmd.get()))
        cmd.release();
    return EIOCPE_SUCCESS;
}

void CTCPConnection_win::Stop() {
    if (!core_ || !thread_.joinable())
        return;
    Core& c = *core_;
    Disconnect(0, 1);
    c.stopEvent.Set();
    const WaitHandle finished[] = {c.finishedEvent.Handle()};
    if (platform::WaitAny(finished, kStopWaitMs) == 0) {
        thread_.join();
    } else {
        // No safe way to kill it: let it run out on its own share of the
        // state, with callbacks and logging silenced.
        c.abandoned = true;
        thread_.detach();
    }
    std::deque<Command*> rest;
    {
        std::lock_guard lock(c.queueLock);
        c.stopped = true;
        rest.swap(c.commandQueue);
        c.queueEvent.Reset();
    }
    for (Command* cmd : rest) {
        if (cmd->kind == Command::kDisconnect)
            static_cast<DisconnectCommand*>(cmd)->Done();  // owned by its waiting caller
        else
            delete cmd;
    }
}

IIOCP_ClientConnection* CreateClientConnection(IIOCP_ClientReceiver* receiver, IIOCP_Log* log,
                                               uint32_t* error) {
    auto* link = new (std::nothrow) CTCPConnection_win;
    uint32_t result = link ? link->Start(receiver, log) : EIOCPE_NO_MEM;
    if (result != 0) {
        delete link;
        link = nullptr;
    }
    if (error)
        *error = result;
    return link;
}

uint32_t ReleaseClientConnection(IIOCP_ClientConnection* link) {
    if (auto* tcp = dynamic_cast<CTCPConnection_win*>(link))
        tcp->Stop();
    delete link;
    return EIOCPE_SUCCESS;
}

// ---------------------------------------------------------------------------
// Link thread

CTCPConnection_win::Core::Core() {
    rxArchive.growStep = kGrowStep;
    txArchive.growStep = kGrowStep;
}

CTCPConnection_win::Core::~Core() {
    CloseSocket();
    for (Command* cmd : commandQueue) {
        if (cmd->kind != Command::kDisconnect)
            delete cmd;
    }
}

void CTCPConnection_win::Core::Run() {
    threadId = std::this_thread::get_id();
    socket = -1;
    retryTimer.reset(new (std::nothrow)
                         platform::WaitableTimer(platform::WaitableTimer::Kind::AutoReset));
    if (!retryTimer || !retryTimer->IsValid()) {
        const int err = retryTimer ? errno : ENOMEM;
        retryTimer.reset();
        LogError("IIOCP_ClientConnection - conn thread - CreateWaitableTimer failed : %d", err);
        startResult = EIOCPE_NO_RESOURCESS;
        startedEvent.Set();
        finishedEvent.Set();
        return;
    }
    running = 1;
    startResult = 0;
    startedEvent.Set();
    timerArmed = 0;

    for (;;) {
        if (!timerArmed && retryInterval != 0 && state == kDisconnected) {
            if (retryTimer->Arm(static_cast<uint64_t>(retryInterval) * 1000)) {
                timerArmed = 1;
            } else {
                const int err = errno;
                retryInterval = 0;
                NotifyConnectFailed(EIOCPE_FAIL);
                LogError("IIOCP_ClientConnection - conn thread - Unable to set timer : %d", err);
            }
        }
        const WaitHandle handles[] = {stopEvent.Handle(), queueEvent.Handle(), SocketHandle(),
                                      retryTimer->Handle()};
        const int which = platform::WaitAny(handles, platform::kWaitInfinite);
        if (which == 0)
            break;
        switch (which) {
            case 1:
                RunNextCommand();
                break;
            case 2:
                HandleNetworkEvents(true, platform::LastReadyEvents(2));
                break;
            case 3:
                timerArmed = 0;
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
    running = 0;
    startResult = 0;
    finishedEvent.Set();
}

void CTCPConnection_win::Core::RunNextCommand() {
    Command* cmd = nullptr;
    {
        std::lock_guard lock(queueLock);
        if (!commandQueue.empty()) {
            cmd = commandQueue.front();
            commandQueue.pop_front();
        }
        if (commandQueue.empty())
            queueEvent.Reset();
    }
    if (!cmd)
        return;
    switch (cmd->kind) {
        case Command::kConnect:
            DoConnect(static_cast<const ConnectCommand&>(*cmd));
            delete cmd;
            break;
        case Command::kDisconnect:
            DoDisconnect(static_cast<DisconnectCommand&>(*cmd));  // the caller frees it
            break;
        case Command::kSend:
            DoSend(static_cast<const SendCommand&>(*cmd));
            delete cmd;
            break;
    }
}

void CTCPConnection_win::Core::DoConnect(const ConnectCommand& cmd) {
    if (state != kDisconnected) {
        NotifyConnectFailed(state == kConnected ? EIOCPE_ALREADY_CONNECTED
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
        state = kConnecting;
        retryInterval = cmd.retryInterval;
    } else if (lookupFailed && cmd.retryInterval != 0) {
        retryInterval = cmd.retryInterval;
    } else {
        NotifyConnectFailed(code);
        LogError("IIOCP_ClientConnection - conn thread - Try to connect failed : %s",
                 LinkErrorText(code));
    }
}

void CTCPConnection_win::Core::OnRetryTimer() {
    // A connect command cancels the timer before leaving Disconnected, so a
    // late expiry must not open a second socket.
    if (state != kDisconnected)
        return;
    bool lookupFailed = false;
    const uint32_t code = TryConnect(&lookupFailed);
    if (code == 0) {
        state = kConnecting;
    } else if (code == EIOCPE_WSANO_DATA) {
        // The name exists but has no address yet: the timer is armed again.
    } else {
        retryInterval = 0;
        NotifyConnectFailed(code);
        LogError("IIOCP_ClientConnection - conn thread - Try to connect failed : %s",
                 LinkErrorText(code));
    }
}

void CTCPConnection_win::Core::DoDisconnect(DisconnectCommand& cmd) {
    retryInterval = 0;
    // A pending reconnect must not bring the link back after it was told to go.
    retryTimer->Cancel();
    timerArmed = 0;
    const bool notify = cmd.notify != 0;
    switch (state) {
        case kDisconnected:
            break;
        case kConnecting:
        case kInitialising:
            CloseConnection(notify, EIOCPE_SUCCESS);
            break;
        case kConnected:
            if (cmd.immediate) {
                CloseConnection(notify, EIOCPE_SUCCESS);
                break;
            }
            ::shutdown(socket, SHUT_WR);
            while (state != kDisconnected) {
                const WaitHandle handles[] = {SocketHandle()};
                const int which = platform::WaitAny(handles, kGracefulCloseMs);
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
            break;
    }
    cmd.Done();
}

void CTCPConnection_win::Core::DoSend(const SendCommand& cmd) {
    if (state != kConnected)
        return;
    const auto n = static_cast<uint32_t>(cmd.payload.size());
    uint32_t code = BuildFrame(link_frame::kTypeUserPacket, cmd.payload.data(), n);
    if (code != 0) {
        LogError(
            "IIOCP_ClientConnection - conn thread - No memory to serialize object into output Q!");
    } else {
        code = WriteFrame();
    }
    if (code != 0) {
        NotifyDisconnected(code);
        state = kDisconnected;
        CloseSocket();
    }
}

uint32_t CTCPConnection_win::Core::TryConnect(bool* lookupFailed) {
    *lookupFailed = false;
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        const int err = errno;
        platform::DebugOutput("Socket soket method failed!\n");
        return MapErrno(err);
    }
    auto fail = [s](int err) {
        ::close(s);
        return MapErrno(err);
    };
    const int on = 1, idle = kKeepAliveIdleSeconds, interval = kKeepAliveIntervalSeconds;
    if (::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0 ||
        ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) != 0 ||
        ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) != 0) {
        return fail(errno);
    }
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on,
                 sizeof on);  // small packets leave at once; best effort
    const int flags = ::fcntl(s, F_GETFL);
    if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) != 0) {
        const int err = errno;
        platform::DebugOutput("WSAEventSelect failed!\n");
        return fail(err);
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
            ::close(s);
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
        socket = s;
        return EIOCPE_SUCCESS;
    }
    const int err = errno;
    platform::DebugOutput("connect failed!\n");
    return fail(err);
}

platform::WaitHandle CTCPConnection_win::Core::SocketHandle() const {
    short events = POLLIN | POLLRDHUP;
    if (state == kConnecting)
        events |= POLLOUT;
    return WaitHandle{socket, events, WaitHandle::Consume::None};
}

void CTCPConnection_win::Core::HandleNetworkEvents(bool notify, short revents) {
    if (socket < 0 || revents == 0)
        return;
    if (state == kConnecting) {
        if (revents & (POLLOUT | POLLERR | POLLHUP)) {
            OnConnectCompleted();
            return;
        }
    }
    ReceiveStep(notify);
}

void CTCPConnection_win::Core::OnConnectCompleted() {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        err = errno;
    uint32_t code;
    if (err != 0) {
        code = MapErrno(err);
        LogError("IIOCP_ClientConnection - conn thread - Connect failed : %s", LinkErrorText(code));
    } else {
        rxArchive.Reset();
        uint8_t body[link_frame::kInitBodySize] = {};
        platform::WriteLe16(body, 0x0101);
        platform::WriteLe16(body + 2, clientType);
        platform::WriteLe32(body + 4, initWord);
        std::memcpy(body + 8, signature, sizeof signature);
        code = BuildFrame(link_frame::kTypeInitRequest, body, sizeof body);
        if (code == 0)
            code = WriteFrame();
        if (code == 0) {
            state = kInitialising;
            return;
        }
        LogError("IIOCP_ClientConnection - conn thread - SendClientInit : %s", LinkErrorText(code));
    }
    if (retryInterval == 0)
        NotifyConnectFailed(code);
    state = kDisconnected;
    CloseSocket();
}

void CTCPConnection_win::Core::ReceiveStep(bool notify) {
    bool peerClosed = false;
    uint32_t closeCode = EIOCPE_CONN_CLOSED_BY_SERVER;
    for (int turn = 0; turn < kMaxChunksPerTurn && socket >= 0; ++turn) {
        const ssize_t n = ::recv(socket, receiveChunk, sizeof receiveChunk, 0);
        if (n == 0) {
            ::shutdown(socket, SHUT_WR);
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
            ::shutdown(socket, SHUT_WR);
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
        if (!ExtractFrames(notify))
            return;
    }
    if (peerClosed && socket >= 0) {
        LogError("IIOCP_ClientConnection - conn thread - Connection closed from server!");
        CloseConnection(notify, closeCode);
    }
}

bool CTCPConnection_win::Core::ExtractFrames(bool notify) {
    bool open = true;
    for (;;) {
        const uint8_t* frame = rxArchive.cursor;
        link_frame::Header header;
        const link_frame::Cut cut = link_frame::CutFrame(frame, rxArchive.Unread(), &header);
        if (cut == link_frame::Cut::NeedMore)
            break;
        if (cut == link_frame::Cut::Bad) {
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
    return open && socket >= 0;
}

uint32_t CTCPConnection_win::Core::Dispatch(const uint8_t* frame,
                                            const link_frame::Header& header) {
    switch (state) {
        case kDisconnected:
            LogError(
                "IIOCP_ClientConnection - conn thread - PacketReceived() - When Disconnected?!?!!");
            return EIOCPE_SUCCESS;
        case kConnecting:
            LogError(
                "IIOCP_ClientConnection - conn thread - PacketReceived() - When waiting to "
                "connect?!?!!");
            return EIOCPE_SUCCESS;
        case kInitialising:
            return OnInitResponse(frame, header);
        default:
            break;
    }
    switch (header.type) {
        case link_frame::kTypeServerCommand:
            LogError("conn thread - Received unknown CMD from server!");
            return EIOCPE_SUCCESS;
        case link_frame::kTypeUserPacket:
            if (header.length <= link_frame::kHeaderSize) {
                LogError(
                    "IIOCP_ClientConnection - conn thread - Received bad USER pkt! Disconnect!");
                return EIOCPE_PROTO_ERROR;
            }
            if (!abandoned)
                receiver->OnPacket(frame + link_frame::kHeaderSize,
                                   header.length - link_frame::kHeaderSize, context);
            return EIOCPE_SUCCESS;
        default:
            LogError("conn thread - Received unknown server packet : %.02X ignore!", header.type);
            return EIOCPE_SUCCESS;
    }
}

uint32_t CTCPConnection_win::Core::OnInitResponse(const uint8_t* frame,
                                                  const link_frame::Header& header) {
    if (header.type != link_frame::kTypeInitResponse) {
        LogMessage(
            "IIOCP_ClientConnection - conn thread - Received bad server response to INIT command : "
            "%02X - ignore!",
            header.type);
        return EIOCPE_SUCCESS;
    }
    // The result word must be there; anything shorter is not an answer.
    if (header.length - link_frame::kHeaderSize < 4) {
        LogError("IIOCP_ClientConnection - Init with server failed : %s",
                 LinkErrorText(EIOCPE_PROTO_ERROR));
        return EIOCPE_PROTO_ERROR;
    }
    const uint32_t result = platform::ReadLe32(frame + link_frame::kHeaderSize);
    if (result == 0) {
        LogMessage("IIOCP_ClientConnection - conn thread - Received INIT ok!");
        state = kConnected;
        NotifyConnected();
        return EIOCPE_SUCCESS;
    }
    const uint32_t code = MapInitResult(result);
    LogError("IIOCP_ClientConnection - Init with server failed : %s", LinkErrorText(code));
    if (IsFinalInitRefusal(result)) {
        retryInterval = 0;
        state = kDisconnected;
        CloseSocket();
        NotifyConnectFailed(code);
    } else {
        if (retryInterval == 0)
            NotifyConnectFailed(code);
        state = kDisconnected;
        CloseSocket();
    }
    return EIOCPE_SUCCESS;
}

void CTCPConnection_win::Core::CloseConnection(bool notify, uint32_t code) {
    if (notify) {
        if (state == kConnected)
            NotifyDisconnected(code);
        else if (state == kInitialising && retryInterval == 0)
            NotifyConnectFailed(code);
    }
    state = kDisconnected;
    CloseSocket();
}

void CTCPConnection_win::Core::CloseSocket() {
    if (socket >= 0)
        ::close(socket);
    socket = -1;
}

uint32_t CTCPConnection_win::Core::BuildFrame(uint32_t type, const void* body, uint32_t n) {
    const uint32_t total = link_frame::kHeaderSize + n;
    txArchive.Reset();
    if (txArchive.capacity < total && !txArchive.Reserve(total))
        return EIOCPE_NO_MEM;
    uint8_t header[link_frame::kHeaderSize];
    link_frame::WriteHeader(header, type, total);
    txArchive.Append(header, sizeof header);
    txArchive.Append(body, n);
    return EIOCPE_SUCCESS;
}

uint32_t CTCPConnection_win::Core::WriteFrame() {
    const uint8_t* p = txArchive.buffer;
    size_t left = txArchive.length;
    while (left > 0) {
        const ssize_t n = ::send(socket, p, left, MSG_NOSIGNAL);
        if (n >= 0) {
            p += n;
            left -= static_cast<size_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return MapErrno(errno);
        pollfd pfd{socket, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, kSendStallMs);
        if (ready == 0)
            return MapErrno(ETIMEDOUT);
        if (ready < 0 && errno != EINTR)
            return MapErrno(errno);
    }
    return EIOCPE_SUCCESS;
}

void CTCPConnection_win::Core::NotifyConnected() {
    if (!abandoned)
        receiver->OnConnected(context);
}

void CTCPConnection_win::Core::NotifyConnectFailed(uint32_t code) {
    if (!abandoned)
        receiver->OnConnectFailed(code, context);
}

void CTCPConnection_win::Core::NotifyDisconnected(uint32_t code) {
    if (!abandoned)
        receiver->OnDisconnected(code, context);
}

void CTCPConnection_win::Core::LogMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VLog(false, format, args);
    va_end(args);
}

void CTCPConnection_win::Core::LogError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VLog(true, format, args);
    va_end(args);
}

// Lines are formatted here once and handed on as text, so the log never
// sees a format of ours.
void CTCPConnection_win::Core::VLog(bool error, const char* format, va_list args) {
    if (!log || abandoned)
        return;
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    if (error)
        log->LogError("%s", line);
    else
        log->LogMessage("%s", line);
}
