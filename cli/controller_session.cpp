#include "cli/controller_session.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "cli/command_io.h"
#include "link/link_errors.h"
#include "platform/format_text.h"

namespace cli {

namespace {

// The link has no time limit of its own on connecting; calveroctl does.
constexpr std::chrono::seconds kConnectTimeout{10};

// One line of the link's diagnostics on stderr, every byte of it.
__attribute__((format(printf, 2, 0))) void PrintLinkLine(const char* prefix, const char* format,
                                                         va_list args) {
    const std::string line = prefix + platform::FormatText(format, args) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

ControllerSession::~ControllerSession() {
    if (!link_)
        return;
    // An orderly close, as the operator program leaves a controller: the
    // controller sees the end of the stream and closes its side. The link
    // bounds the wait, however long the controller goes on sending.
    link_->Disconnect(0, 0);
    devlink::ReleaseClientConnection(link_);
}

int ControllerSession::Connect(const std::string& host, uint16_t port) {
    verbose_ = std::getenv("CALVEROCTL_VERBOSE") != nullptr;
    uint32_t error = 0;
    link_ = devlink::CreateClientConnection(this, this, &error);
    if (!link_) {
        std::fprintf(stderr, "%sUnable to connect : %s\n", prefix_.c_str(),
                     devlink::LinkErrorText(error));
        return kExitNoConnection;
    }
    if (uint32_t rc = link_->Connect(host.c_str(), port, 0)) {
        std::fprintf(stderr, "%sUnable to connect : %s\n", prefix_.c_str(),
                     devlink::LinkErrorText(rc));
        return kExitNoConnection;
    }
    const auto deadline = std::chrono::steady_clock::now() + kConnectTimeout;
    for (;;) {
        auto e = Next(deadline);
        if (!e) {
            std::fprintf(stderr, "%sUnable to connect : %s\n", prefix_.c_str(),
                         devlink::LinkErrorText(devlink::EIOCPE_WSAETIMEDOUT));
            return kExitNoConnection;
        }
        switch (e->kind) {
            case Event::Kind::Connected:
                return kExitOk;
            case Event::Kind::ConnectFailed:
            case Event::Kind::Disconnected:
                std::fprintf(stderr, "%sUnable to connect : %s\n", prefix_.c_str(),
                             devlink::LinkErrorText(e->code));
                return kExitNoConnection;
            case Event::Kind::Packet:
                break;  // cannot come before the handshake; ignore
        }
    }
}

int ControllerSession::Send(const void* data, uint32_t length) {
    if (uint32_t rc = link_->Send(data, length)) {
        std::fprintf(stderr, "%sUnable to send : %s\n", prefix_.c_str(),
                     devlink::LinkErrorText(rc));
        return kExitDisconnected;
    }
    return kExitOk;
}

template <typename Accept>
bool ControllerSession::WaitForPacket(Accept accept, const char* waitingFor, int& exitCode) {
    const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
    for (;;) {
        auto e = Next(deadline);
        if (!e) {
            std::fprintf(stderr, "%sNo %s from the controller within %lld s\n", prefix_.c_str(),
                         waitingFor, static_cast<long long>(kReplyTimeout.count()));
            exitCode = kExitTimeout;
            return false;
        }
        if (e->kind == Event::Kind::Disconnected || e->kind == Event::Kind::ConnectFailed) {
            std::fprintf(stderr, "%sDisconnected : %s\n", prefix_.c_str(),
                         devlink::LinkErrorText(e->code));
            exitCode = kExitDisconnected;
            return false;
        }
        if (e->kind == Event::Kind::Packet && accept(e->data))
            return true;
    }
}

std::optional<std::vector<uint8_t>> ControllerSession::WaitForReply(uint32_t type, int& exitCode) {
    std::vector<uint8_t> reply;
    auto accept = [&](std::vector<uint8_t>& data) {
        // Every packet goes through the protocol so that the sequence counter
        // stays in step; only the awaited type ends the wait.
        auto out = protocol_.Receive(data.data(), data.size());
        bake::CONCC_Header h;
        if (out.action == bake::ReceiveAction::GaugeData ||
            !bake::DecodeHeader(data.data(), data.size(), h))
            return false;
        if (h.type != type)
            return false;
        reply = std::move(data);
        return true;
    };
    if (!WaitForPacket(accept, "reply", exitCode))
        return std::nullopt;
    return reply;
}

std::optional<bake::CONCC_GaugeData> ControllerSession::WaitForGauge(int& exitCode) {
    bake::CONCC_GaugeData gauge;
    auto accept = [&](std::vector<uint8_t>& data) {
        auto out = protocol_.Receive(data.data(), data.size());
        for (const auto& line : out.errors) {
            if (line.source == L"OnBoardGDataReceived")
                std::fprintf(stderr, "%s%ls\n", prefix_.c_str(), line.text.c_str());
        }
        if (out.action != bake::ReceiveAction::GaugeData)
            return false;
        gauge = out.gauge;
        return true;
    };
    if (!WaitForPacket(accept, "gauge data", exitCode))
        return std::nullopt;
    return gauge;
}

void ControllerSession::Push(Event e) {
    {
        std::lock_guard<std::mutex> g(lock_);
        events_.push_back(std::move(e));
    }
    ready_.notify_one();
}

std::optional<ControllerSession::Event> ControllerSession::Next(
    std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> g(lock_);
    if (!ready_.wait_until(g, deadline, [this] { return !events_.empty(); }))
        return std::nullopt;
    Event e = std::move(events_.front());
    events_.pop_front();
    return e;
}

void ControllerSession::OnPacket(const uint8_t* data, uint32_t length, uint32_t) {
    Push({Event::Kind::Packet, 0, std::vector<uint8_t>(data, data + length)});
}
void ControllerSession::OnConnectFailed(uint32_t code, uint32_t) {
    Push({Event::Kind::ConnectFailed, code, {}});
}
void ControllerSession::OnDisconnected(uint32_t code, uint32_t) {
    Push({Event::Kind::Disconnected, code, {}});
}
void ControllerSession::OnConnected(uint32_t) {
    Push({Event::Kind::Connected, 0, {}});
}

void ControllerSession::LogMessage(const char* format, ...) {
    if (!verbose_)
        return;
    va_list ap;
    va_start(ap, format);
    PrintLinkLine("link: ", format, ap);
    va_end(ap);
}

void ControllerSession::LogError(const char* format, ...) {
    if (!verbose_)
        return;
    va_list ap;
    va_start(ap, format);
    PrintLinkLine("link error: ", format, ap);
    va_end(ap);
}

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t& out) {
    if (text.empty() || text.size() > 20)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        if (v > (UINT64_MAX - 9) / 10)
            return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > max)
        return false;
    out = v;
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& args,
                      std::initializer_list<const char*> allowed, const char* usage,
                      CommandLine& out, bool severalHosts) {
    auto fail = [&](const std::string& why) {
        std::fprintf(stderr, "calveroctl: %s\nusage: calveroctl %s\n", why.c_str(), usage);
        return false;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            if (!out.host.empty() && !severalHosts)
                return fail("unexpected argument '" + a + "'");
            if (out.host.empty())
                out.host = a;
            out.hosts.push_back(a);
            continue;
        }
        bool known = a == "--port";
        for (const char* name : allowed) known = known || a == name;
        if (!known)
            return fail("unknown option '" + a + "'");
        if (i + 1 >= args.size())
            return fail(a + " needs a value");
        const std::string& value = args[++i];
        if (a == "--port") {
            uint64_t port = 0;
            if (!ParseUnsigned(value, 65535, port) || port == 0)
                return fail("invalid port '" + value + "'");
            out.port = static_cast<uint16_t>(port);
        } else {
            out.values[a] = value;
        }
    }
    if (out.host.empty())
        return fail("HOST is missing");
    return true;
}

std::optional<std::vector<uint8_t>> ControllerSession::Request(const void* data, uint32_t length,
                                                               uint32_t replyType, int& exitCode) {
    exitCode = Send(data, length);
    if (exitCode)
        return std::nullopt;
    auto reply = WaitForReply(replyType, exitCode);
    if (!reply)
        return std::nullopt;
    bake::CONCC_Header h;
    bake::DecodeHeader(reply->data(), reply->size(), h);
    if (h.result != bake::kResultSuccess) {
        cli::Print("%s\n", bake::ResultCodeText(h.result));
        exitCode = kExitRefused;
        return std::nullopt;
    }
    return reply;
}

}  // namespace cli
