// The simulator's TCP side under clients that misbehave or leave abruptly: a
// client that floods it, and a client that closes right after its commands.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bake/controller_packets.h"
#include "link/frame.h"
#include "sim/sim_server.h"
#include "tests/link/link_test_support.h"
#include "tests/support/process.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

Bytes InitRequest() {
    Bytes body(devlink::kInitBodySize);
    devlink::WriteInitRequestBody(body.data());
    return link_test::Frame(devlink::kTypeInitRequest, body);
}

// A header-only request as the operator program sends it.
Bytes Request(uint32_t type, uint32_t seqId) {
    Bytes body(12);
    platform::WriteLe32(body.data(), type);
    platform::WriteLe32(body.data() + 8, seqId);
    return link_test::Frame(devlink::kTypeUserPacket, body);
}

size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

// One client socket on 127.0.0.1, blocking, with a receive time-out so that
// a broken server fails the test instead of hanging it.
class Client {
public:
    // receiveBuffer: a small one makes a client that does not read stop the
    // server's sending early.
    explicit Client(uint16_t port, int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        timeval tv{3, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connected() const { return connected_; }
    int Fd() const { return fd_; }

    bool Send(const Bytes& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    void HalfClose() { ::shutdown(fd_, SHUT_WR); }

    // The next frame: type and body; nothing on close, reset or time-out.
    std::optional<std::pair<uint32_t, Bytes>> Read() {
        uint8_t head[devlink::kHeaderSize];
        if (!ReadExactly(head, sizeof head))
            return std::nullopt;
        const auto h = devlink::ReadHeader(head);
        if (h.magic != devlink::kMagic || h.length < devlink::kHeaderSize)
            return std::nullopt;
        Bytes body(h.length - devlink::kHeaderSize);
        if (!ReadExactly(body.data(), body.size()))
            return std::nullopt;
        return std::make_pair(h.type, std::move(body));
    }
    // The next frame that is not gauge data.
    std::optional<std::pair<uint32_t, Bytes>> ReadReply() {
        for (;;) {
            auto f = Read();
            if (!f || f->second.size() < 4 ||
                platform::ReadLe32(f->second.data()) != bake::CONCC_PKT_GAUGE_DATA)
                return f;
        }
    }
    // True when the server ended the connection: end of stream or reset.
    bool SeesEnd() {
        uint8_t b;
        return ::recv(fd_, &b, 1, 0) <= 0 && errno != EAGAIN;
    }

private:
    bool ReadExactly(uint8_t* p, size_t n) {
        while (n) {
            const ssize_t got = ::recv(fd_, p, n, 0);
            if (got <= 0)
                return false;
            p += got;
            n -= static_cast<size_t>(got);
        }
        return true;
    }
    int fd_ = -1;
    bool connected_ = false;
};

class SimServerLimits : public ::testing::Test {
protected:
    // Binds; the server runs only from Run() on, so that a test can have
    // bytes waiting before the server reads any.
    void Open() {
        sim::ServerOptions o;
        o.port = 0;
        o.rate = 50;
        server_ = std::make_unique<sim::SimServer>(model_, o, [this](const std::string& line) {
            std::lock_guard<std::mutex> g(logLock_);
            log_.push_back(line);
        });
        std::string error;
        ASSERT_EQ(0, server_->Open(&error)) << error;
    }
    void Run() {
        thread_ = std::thread([this] { server_->Run(); });
    }
    void TearDown() override {
        if (server_)
            server_->Stop();
        if (thread_.joinable())
            thread_.join();
    }
    uint16_t Port() const { return server_->Port(); }
    // The first log line that contains `part`, or "".
    std::string LogLine(const std::string& part) {
        std::lock_guard<std::mutex> g(logLock_);
        for (const auto& l : log_)
            if (l.find(part) != std::string::npos)
                return l;
        return "";
    }
    std::string LogText() {
        std::lock_guard<std::mutex> g(logLock_);
        std::string all;
        for (const auto& l : log_) all += l + "\n";
        return all;
    }
    // Waits for a log line that contains `part`.
    std::string WaitForLog(const std::string& part, int timeoutMs = 3000) {
        const auto deadline = Clock::now() + milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            std::string l = LogLine(part);
            if (!l.empty())
                return l;
            std::this_thread::sleep_for(milliseconds(10));
        }
        return "";
    }
    ::testing::AssertionResult Handshake(Client& c) {
        if (!c.Connected())
            return ::testing::AssertionFailure() << "cannot connect";
        if (!c.Send(InitRequest()))
            return ::testing::AssertionFailure() << "cannot send INIT";
        const auto f = c.Read();
        if (!f || f->first != devlink::kTypeInitResponse || f->second.size() < 4 ||
            platform::ReadLe32(f->second.data()) != 0)
            return ::testing::AssertionFailure() << "no INIT acceptance";
        return ::testing::AssertionSuccess();
    }

    sim::ControllerModel model_;
    std::unique_ptr<sim::SimServer> server_;
    std::thread thread_;
    std::mutex logLock_;
    std::vector<std::string> log_;
};

}  // namespace

// A client that sends without pause: whether its frames want replies it never
// takes (dropped once too much waits for it) or want none (served on), the
// simulator's memory stays bounded.
TEST_F(SimServerLimits, FloodingClientKeepsMemoryBounded) {
    struct Case {
        const char* what;
        Bytes unit;  // sent over and over
        bool dropped;
    } cases[] = {
        {"requests whose replies it never reads", Request(bake::CONCC_PKT_GET_BAKE_OPTIONS, 0),
         true},
        {"empty user packets, which want no reply", link_test::Frame(devlink::kTypeUserPacket, {}),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(Open());
        Run();
        Client client(Port());
        ASSERT_TRUE(Handshake(client));
        const size_t residentBefore = ResidentBytes();

        // 256 KiB per send, non-blocking, for 3 s or until the server drops us.
        Bytes burst;
        while (burst.size() < (256u << 10)) burst.insert(burst.end(), c.unit.begin(), c.unit.end());
        std::atomic<bool> refused{false}, done{false};
        std::thread flood([&] {
            const auto end = Clock::now() + milliseconds(3000);
            size_t at = 0;
            while (Clock::now() < end) {
                pollfd p{client.Fd(), POLLOUT, 0};
                if (::poll(&p, 1, 50) <= 0)
                    continue;
                const ssize_t n = ::send(client.Fd(), burst.data() + at, burst.size() - at,
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    refused = true;
                    break;
                }
                if (n > 0)
                    at = (at + static_cast<size_t>(n)) % burst.size();
            }
            done = true;
        });
        size_t residentPeak = residentBefore;
        while (!done) {
            residentPeak = std::max(residentPeak, ResidentBytes());
            std::this_thread::sleep_for(milliseconds(50));
        }
        flood.join();
        residentPeak = std::max(residentPeak, ResidentBytes());

        std::printf("%s: peak pending %zu bytes, resident memory +%zu KiB, %s\n", c.what,
                    server_->PeakPendingBytes(), (residentPeak - residentBefore) >> 10,
                    refused ? "dropped" : "served");
        EXPECT_LE(server_->PeakPendingBytes(), sim::SimServer::kMaxPendingBytes + (64u << 10));
        EXPECT_LT(residentPeak - residentBefore, 64u << 20)
            << "resident memory grew from " << residentBefore << " to " << residentPeak;
        if (c.dropped) {
            EXPECT_TRUE(refused || client.SeesEnd());
            EXPECT_NE(WaitForLog("bytes pending"), "");
        } else {
            EXPECT_FALSE(refused);
            EXPECT_EQ(LogLine("gone"), "");
            // Still served: a request sent after the flood is answered.
            ASSERT_TRUE(client.Send(Request(bake::CONCC_PKT_GET_BAKE_OPTIONS, 7)));
            const auto reply = client.ReadReply();
            ASSERT_TRUE(reply.has_value());
            EXPECT_EQ(platform::ReadLe32(reply->second.data()), bake::CONCC_PKT_GET_BAKE_OPTIONS);
            EXPECT_EQ(platform::ReadLe32(reply->second.data() + 8), 7u);
        }
        TearDown();
        server_.reset();
        log_.clear();
    }
}

// A client that sends its commands and closes its side at once, all before
// the simulator reads a byte: every whole frame is served, in order, the
// replies go out, and only then does the connection close, in order.
TEST_F(SimServerLimits, FramesSentWithTheCloseAreServedBeforeClosing) {
    const Bytes partial = Request(bake::CONCC_PKT_GET_BAKE_OPTIONS, 3);
    struct Case {
        const char* what;
        Bytes sent;
        std::vector<uint32_t> replies;  // types, answering seqIds 1, 2, ...
        const char* logged;
    } cases[] = {
        {"one request",
         link_test::Concat(InitRequest(), Request(bake::CONCC_PKT_GET_BAKE_OPTIONS, 1)),
         {bake::CONCC_PKT_GET_BAKE_OPTIONS},
         "gone: closed by the client"},
        {"two requests and part of a third",
         link_test::Concat(
             link_test::Concat(
                 link_test::Concat(InitRequest(), Request(bake::CONCC_PKT_GET_BAKE_OPTIONS, 1)),
                 Request(bake::CONCC_PKT_GET_PROFILE, 2)),
             Bytes(partial.begin(), partial.begin() + 15)),
         {bake::CONCC_PKT_GET_BAKE_OPTIONS, bake::CONCC_PKT_GET_PROFILE},
         "gone: closed by the client (15 bytes of an incomplete frame dropped)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(Open());
        Client client(Port());  // waits in the listen queue until Run
        ASSERT_TRUE(client.Connected());
        ASSERT_TRUE(client.Send(c.sent));
        client.HalfClose();
        Run();

        const auto init = client.Read();
        ASSERT_TRUE(init.has_value());
        EXPECT_EQ(init->first, devlink::kTypeInitResponse);
        for (size_t i = 0; i < c.replies.size(); ++i) {
            const auto reply = client.ReadReply();
            ASSERT_TRUE(reply.has_value()) << "reply " << i;
            ASSERT_GE(reply->second.size(), 12u);
            EXPECT_EQ(platform::ReadLe32(reply->second.data()), c.replies[i]);
            EXPECT_EQ(platform::ReadLe32(reply->second.data() + 8), i + 1);
        }
        uint8_t b;
        EXPECT_EQ(::recv(client.Fd(), &b, 1, 0), 0) << "an orderly end of stream";
        EXPECT_NE(WaitForLog(c.logged), "") << LogText();
        TearDown();
        server_.reset();
        log_.clear();
    }
}

// A client that closes its side but never takes its replies does not keep
// the simulator, which serves one client at a time, for ever.
TEST_F(SimServerLimits, ClosingClientThatTakesNoRepliesIsDroppedInTime) {
    ASSERT_NO_FATAL_FAILURE(Open());
    Run();
    Client client(Port(), 4096);
    ASSERT_TRUE(client.Connected());
    // Far more replies than the sockets between us hold, and far fewer than
    // the simulator's limit.
    Bytes sent = InitRequest();
    for (uint32_t i = 1; i <= 20000; ++i) {
        const Bytes r = Request(bake::CONCC_PKT_GET_BAKE_OPTIONS, i);
        sent.insert(sent.end(), r.begin(), r.end());
    }
    ASSERT_TRUE(client.Send(sent));
    client.HalfClose();
    const auto closed = Clock::now();

    const std::string line = WaitForLog("replies not taken in time", 15000);
    const auto took = Clock::now() - closed;
    EXPECT_NE(line, "") << LogText();
    EXPECT_GE(took, milliseconds(4500));
    EXPECT_EQ(LogLine("bytes pending"), "") << "dropped by the limit instead";
}

// The operator program's road: a command, then at once a graceful disconnect.
// The reply still arrives, and then the controller's close.
TEST_F(SimServerLimits, LinkGetsTheReplyToACommandSentJustBeforeItsGracefulDisconnect) {
    ASSERT_NO_FATAL_FAILURE(Open());
    Run();
    link_test::RecordingReceiver receiver;
    link_test::RecordingLog log;
    uint32_t error = 0;
    devlink::Connection* link = devlink::CreateClientConnection(&receiver, &log, &error);
    ASSERT_NE(link, nullptr) << error;
    ASSERT_EQ(link->Connect("127.0.0.1", Port(), 0), 0u);
    ASSERT_TRUE(receiver.WaitFor(1));
    ASSERT_EQ(receiver.Events()[0], link_test::Connected());

    const Bytes request = Request(bake::CONCC_PKT_GET_BAKE_OPTIONS, 1);
    ASSERT_EQ(link->Send(request.data() + devlink::kHeaderSize,
                         static_cast<uint32_t>(request.size() - devlink::kHeaderSize)),
              0u);
    const auto start = Clock::now();
    EXPECT_EQ(link->Disconnect(1, 0), 0u);
    EXPECT_LT(Clock::now() - start, milliseconds(4000)) << "the simulator closed in good time";

    const auto events = receiver.Events();
    bool replied = false;
    for (const auto& e : events) {
        if (e.kind == link_test::LinkEvent::kPacket && e.data.size() >= 12 &&
            platform::ReadLe32(e.data.data()) == bake::CONCC_PKT_GET_BAKE_OPTIONS)
            replied = true;
    }
    EXPECT_TRUE(replied);
    EXPECT_EQ(events.back(), link_test::Disconnected(55));
    devlink::ReleaseClientConnection(link);
}

// Serving this machine only unless told otherwise, and saying how to change it.
TEST(SimExecutable, ListensOnLoopbackUnlessToldOtherwise) {
    test_support::Process sim({CALVERO_SIM_PATH, "--port", "0", "--quiet"});
    ASSERT_TRUE(sim.Started());
    std::string line;
    ASSERT_TRUE(sim.ReadLine(line, 5000));
    EXPECT_EQ(line.rfind("calvero-sim listening on 127.0.0.1:", 0), 0u) << line;
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(5000), 0);

    const auto help = test_support::Run({CALVERO_SIM_PATH, "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("default 127.0.0.1"), std::string::npos);
    EXPECT_NE(help.out.find("--bind 0.0.0.0"), std::string::npos);
}
