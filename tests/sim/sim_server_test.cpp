// The simulator's TCP side against a raw socket client over loopback.
#include "sim/sim_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "bake/controller_packets.h"
#include "link/frame.h"

using namespace bake;

namespace {

struct Frame {
    uint32_t type = 0;
    std::vector<uint8_t> body;
};

// A blocking client with a receive time-out, so that a broken server fails
// the test instead of hanging it.
class RawClient {
public:
    explicit RawClient(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval tv{3, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool Connected() const { return connected_; }

    ::testing::AssertionResult SendRaw(const std::vector<uint8_t>& bytes) {
        const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent == static_cast<ssize_t>(bytes.size()))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "sent " << sent << " of " << bytes.size() << " bytes";
    }
    ::testing::AssertionResult SendFrame(uint32_t type, const void* body, size_t n) {
        std::vector<uint8_t> out;
        devlink::AppendFrame(out, type, body, static_cast<uint32_t>(n));
        return SendRaw(out);
    }
    ::testing::AssertionResult SendInit(uint16_t version = 0x0101, uint16_t clientType = 1,
                                        uint32_t initWord = 0, bool goodSignature = true,
                                        size_t bodySize = devlink::kInitBodySize) {
        std::vector<uint8_t> body(devlink::kInitBodySize);
        devlink::WriteInitRequestBody(body.data());
        platform::WriteLe16(body.data(), version);
        platform::WriteLe16(body.data() + 2, clientType);
        platform::WriteLe32(body.data() + 4, initWord);
        if (!goodSignature)
            body[8] ^= 1;
        body.resize(bodySize);
        return SendFrame(devlink::kTypeInitRequest, body.data(), body.size());
    }
    template <size_t N>
    ::testing::AssertionResult SendPacket(const std::array<uint8_t, N>& p) {
        return SendFrame(devlink::kTypeUserPacket, p.data(), p.size());
    }

    // The next frame, or nothing on close / time-out.
    std::optional<Frame> Read() {
        uint8_t head[devlink::kHeaderSize];
        if (!ReadExactly(head, sizeof head))
            return std::nullopt;
        auto h = devlink::ReadHeader(head);
        if (h.magic != devlink::kMagic || h.length < devlink::kHeaderSize)
            return std::nullopt;
        Frame f;
        f.type = h.type;
        f.body.resize(h.length - devlink::kHeaderSize);
        if (!ReadExactly(f.body.data(), f.body.size()))
            return std::nullopt;
        return f;
    }
    // The next user packet that is not gauge data.
    std::optional<Frame> ReadReply() {
        for (int i = 0; i < 1000; ++i) {
            auto f = Read();
            if (!f)
                return f;
            if (f->type == devlink::kTypeUserPacket && f->body.size() >= 4 &&
                f->body[0] != CONCC_PKT_GAUGE_DATA)
                return f;
        }
        return std::nullopt;
    }
    // True when the server closed the connection (and sent nothing more).
    bool ClosedByPeer() {
        uint8_t b;
        return ::recv(fd_, &b, 1, 0) == 0;
    }

private:
    bool ReadExactly(uint8_t* p, size_t n) {
        while (n) {
            ssize_t got = ::recv(fd_, p, n, 0);
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

class SimServerTest : public ::testing::Test {
protected:
    ::testing::AssertionResult Start(
        uint32_t refuseInit = 0,
        std::chrono::milliseconds handshakeTimeout = sim::ServerOptions().handshakeTimeout,
        std::optional<uint64_t> dropLinkAfterBakeMs = std::nullopt) {
        sim::ServerOptions o;
        o.bind = "127.0.0.1";
        o.port = 0;
        o.rate = 50;
        o.refuseInit = refuseInit;
        o.handshakeTimeout = handshakeTimeout;
        o.dropLinkAfterBakeMs = dropLinkAfterBakeMs;
        server_ = std::make_unique<sim::SimServer>(model_, o);
        std::string error;
        if (server_->Open(&error) != 0)
            return ::testing::AssertionFailure() << "the server did not open: " << error;
        thread_ = std::thread([this] { server_->Run(); });
        return ::testing::AssertionSuccess();
    }
    void TearDown() override {
        if (server_)
            server_->Stop();
        if (thread_.joinable())
            thread_.join();
    }
    uint16_t Port() const { return server_->Port(); }
    static uint32_t InitResult(const std::optional<Frame>& f) {
        EXPECT_TRUE(f.has_value());
        if (!f)
            return 0xDEAD;
        EXPECT_EQ(devlink::kTypeInitResponse, f->type);
        EXPECT_GE(f->body.size(), 4u);
        return f->body.size() >= 4 ? platform::ReadLe32(f->body.data()) : 0xDEAD;
    }

    sim::ControllerModel model_;
    std::unique_ptr<sim::SimServer> server_;
    std::thread thread_;
};

}  // namespace

TEST_F(SimServerTest, HandshakeThenGaugeStreamAndReplies) {
    ASSERT_TRUE(Start());
    RawClient c(Port());
    ASSERT_TRUE(c.Connected());
    ASSERT_TRUE(c.SendInit());
    EXPECT_EQ(0u, InitResult(c.Read()));

    auto f = c.Read();
    ASSERT_TRUE(f);
    EXPECT_EQ(devlink::kTypeUserPacket, f->type);
    CONCC_GaugeData g;
    ASSERT_TRUE(DecodeGaugeData(f->body.data(), f->body.size(), g));
    EXPECT_EQ(CONCC_DEV_IDLE, g.devState);

    ASSERT_TRUE(c.SendPacket(EncodeStartStop(CONCC_ACT_ABORT, 41)));
    auto reply = c.ReadReply();
    ASSERT_TRUE(reply);
    CONCC_Header h;
    ASSERT_TRUE(DecodeHeader(reply->body.data(), reply->body.size(), h));
    EXPECT_EQ((std::array<uint32_t, 3>{CONCC_PKT_START_STOP, kResultNotBaking, 41}),
              (std::array<uint32_t, 3>{h.type, h.result, h.seqId}));
}

TEST_F(SimServerTest, HandshakeRefusalsCloseTheConnection) {
    struct Case {
        const char* name;
        uint16_t version;
        uint16_t clientType;
        uint32_t initWord;
        bool goodSignature;
        size_t bodySize;
        uint32_t result;
    };
    const Case cases[] = {
        {"version", 0x0102, 1, 0, true, 120, 1},    {"client type", 0x0101, 2, 0, true, 120, 5},
        {"encryption", 0x0101, 1, 7, true, 120, 4}, {"signature", 0x0101, 1, 0, false, 120, 3},
        {"short body", 0x0101, 1, 0, true, 20, 3},
    };
    ASSERT_TRUE(Start());
    for (const auto& k : cases) {
        RawClient c(Port());
        ASSERT_TRUE(c.Connected()) << k.name;
        ASSERT_TRUE(c.SendInit(k.version, k.clientType, k.initWord, k.goodSignature, k.bodySize));
        EXPECT_EQ(k.result, InitResult(c.Read())) << k.name;
        EXPECT_TRUE(c.ClosedByPeer()) << k.name;
    }
}

TEST_F(SimServerTest, RefuseInitOption) {
    ASSERT_TRUE(Start(6));
    RawClient c(Port());
    ASSERT_TRUE(c.SendInit());
    EXPECT_EQ(6u, InitResult(c.Read()));
    EXPECT_TRUE(c.ClosedByPeer());
}

TEST_F(SimServerTest, NothingIsServedBeforeTheHandshake) {
    ASSERT_TRUE(Start());
    RawClient c(Port());
    ASSERT_TRUE(c.SendPacket(EncodeStartStop(CONCC_ACT_START, 1)));
    ASSERT_TRUE(c.SendInit());
    // The first frame is the INIT response: the early command got no answer.
    EXPECT_EQ(0u, InitResult(c.Read()));
    EXPECT_FALSE(model_.IsBaking());
}

TEST_F(SimServerTest, SplitFramesAndTwoFramesInOneSend) {
    ASSERT_TRUE(Start());
    RawClient c(Port());
    std::vector<uint8_t> init(devlink::kHeaderSize + devlink::kInitBodySize);
    devlink::WriteHeader(init.data(), devlink::kTypeInitRequest,
                         static_cast<uint32_t>(init.size()));
    devlink::WriteInitRequestBody(init.data() + devlink::kHeaderSize);
    // The INIT in three pieces, the last one carrying two user packets as well.
    std::vector<uint8_t> tail(init.begin() + 50, init.end());
    auto a = EncodeRequest(CONCC_PKT_GET_BAKE_OPTIONS, 5);
    auto b = EncodeRequest(CONCC_PKT_GET_PROFILE, 6);
    devlink::AppendFrame(tail, devlink::kTypeUserPacket, a.data(), a.size());
    devlink::AppendFrame(tail, devlink::kTypeUserPacket, b.data(), b.size());
    ASSERT_TRUE(c.SendRaw({init.begin(), init.begin() + 3}));
    usleep(20000);
    ASSERT_TRUE(c.SendRaw({init.begin() + 3, init.begin() + 50}));
    usleep(20000);
    ASSERT_TRUE(c.SendRaw(tail));

    EXPECT_EQ(0u, InitResult(c.Read()));
    auto first = c.ReadReply();
    auto second = c.ReadReply();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(CONCC_PKT_GET_BAKE_OPTIONS, first->body[0]);
    EXPECT_EQ(kBakeOptionsSize, first->body.size());
    EXPECT_EQ(CONCC_PKT_GET_PROFILE, second->body[0]);
    EXPECT_EQ(6, second->body[8]);
}

TEST_F(SimServerTest, OneClientAtATimeAndBadMagicDrops) {
    ASSERT_TRUE(Start());
    RawClient first(Port());
    ASSERT_TRUE(first.SendInit());
    EXPECT_EQ(0u, InitResult(first.Read()));

    RawClient second(Port());
    ASSERT_TRUE(second.Connected());  // the kernel accepts, the simulator closes it
    EXPECT_TRUE(second.ClosedByPeer());

    std::vector<uint8_t> bad(12, 0);
    devlink::WriteHeader(bad.data(), devlink::kTypeUserPacket, 12);
    bad[0] = 0x55;  // bytes 55 AA: the magic reversed
    bad[1] = 0xAA;
    ASSERT_TRUE(first.SendRaw(bad));
    // Drain whatever gauge data was in flight; the connection then ends.
    int frames = 0;
    while (first.Read() && ++frames < 500) {
    }
    EXPECT_LT(frames, 500);
    // The place is free again.
    RawClient third(Port());
    ASSERT_TRUE(third.SendInit());
    EXPECT_EQ(0u, InitResult(third.Read()));
}

// A client that connects and never completes the handshake would keep every
// other client out: it is dropped when its time is up, and the place is free.
TEST_F(SimServerTest, ClientWithoutHandshakeIsDroppedInTime) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kLimit = std::chrono::milliseconds(300);
    ASSERT_TRUE(Start(0, kLimit));
    struct Case {
        const char* what;
        size_t initBytes;  // of the INIT frame sent before falling silent
    } cases[] = {{"silent", 0}, {"half an INIT", devlink::kHeaderSize + 10}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const auto connected = Clock::now();
        RawClient idle(Port());
        ASSERT_TRUE(idle.Connected());
        if (k.initBytes) {
            std::vector<uint8_t> init(devlink::kHeaderSize + devlink::kInitBodySize);
            devlink::WriteHeader(init.data(), devlink::kTypeInitRequest,
                                 static_cast<uint32_t>(init.size()));
            devlink::WriteInitRequestBody(init.data() + devlink::kHeaderSize);
            init.resize(k.initBytes);
            ASSERT_TRUE(idle.SendRaw(init));
        }
        // The client's receive time-out (3 s) is the deadline.
        EXPECT_TRUE(idle.ClosedByPeer());
        EXPECT_GE(Clock::now() - connected, kLimit);
    }

    // The place is free again, and a client that completed the handshake is
    // served past the limit.
    RawClient served(Port());
    ASSERT_TRUE(served.SendInit());
    EXPECT_EQ(0u, InitResult(served.Read()));
    const auto until = Clock::now() + 3 * kLimit;
    while (Clock::now() < until) ASSERT_TRUE(served.Read()) << "dropped after the handshake";
}

// The link drops part way into a bake, once: the client sees the close, the
// controller bakes on, and a client that connects again keeps its link.
TEST_F(SimServerTest, DropLinkClosesTheClientOnceIntoTheBake) {
    ASSERT_TRUE(Start(0, sim::ServerOptions().handshakeTimeout, 300));
    RawClient c(Port());
    ASSERT_TRUE(c.Connected());
    ASSERT_TRUE(c.SendInit());
    ASSERT_EQ(0u, InitResult(c.Read()));
    ASSERT_TRUE(c.SendPacket(EncodeStartStop(CONCC_ACT_START, 7)));

    // Gauges flow until the server closes; the last ones tell of a bake.
    int baking = 0;
    for (;;) {
        auto f = c.Read();
        if (!f)
            break;
        CONCC_GaugeData g;
        if (f->type == devlink::kTypeUserPacket &&
            DecodeGaugeData(f->body.data(), f->body.size(), g) && g.devState == CONCC_DEV_BAKING)
            ++baking;
        ASSERT_LT(baking, 200) << "the link was never dropped";
    }
    EXPECT_TRUE(c.ClosedByPeer());
    EXPECT_GT(baking, 0);
    EXPECT_TRUE(model_.IsBaking());

    RawClient again(Port());
    ASSERT_TRUE(again.Connected());
    ASSERT_TRUE(again.SendInit());
    ASSERT_EQ(0u, InitResult(again.Read()));
    // 50 gauges a second: 40 gauges are well past the drop time again.
    for (int i = 0; i < 40; ++i) {
        auto f = again.Read();
        ASSERT_TRUE(f) << "dropped again after " << i << " gauges";
        CONCC_GaugeData g;
        ASSERT_TRUE(DecodeGaugeData(f->body.data(), f->body.size(), g));
        EXPECT_EQ(CONCC_DEV_BAKING, g.devState);
    }
}
