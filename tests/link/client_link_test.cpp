// The client link against a scripted loopback peer that plays the controller.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "link/client_link.h"
#include "link/connection.h"
#include "link/frame.h"
#include "link/link_errors.h"
#include "link_test_support.h"

using namespace link_test;
using namespace std::chrono_literals;

namespace {

const std::string kConnectionClosed =
    "ERR IIOCP_ClientConnection - conn thread - Connection closed from server!";
const std::string kInvalidHeader =
    "ERR IIOCP_ClientConnection - conn thread - Invalid packet header!";

std::string InitFailedLine(uint32_t code) {
    return std::string("ERR IIOCP_ClientConnection - Init with server failed : ") +
           devlink::LinkErrorText(code);
}

Bytes Header(uint16_t magic, uint32_t length, uint32_t type) {
    Bytes h(devlink::kHeaderSize);
    platform::WriteLe16(h.data(), magic);
    platform::WriteLe32(h.data() + 2, length);
    platform::WriteLe32(h.data() + 6, type);
    return h;
}

Bytes UserPacket(const Bytes& body) {
    return Frame(devlink::kTypeUserPacket, body);
}

// One link, its receiver and log, and the peer it talks to.
struct Session {
    Session() {
        uint32_t error = 99;
        link = devlink::CreateClientConnection(&receiver, &log, &error);
        EXPECT_NE(link, nullptr);
        EXPECT_EQ(error, 0u);
        EXPECT_NE(peer.Port(), 0);
    }
    ~Session() {
        if (link)
            devlink::ReleaseClientConnection(link);
    }

    // Connects and takes the link up to Initialising (INIT request read).
    void StartConnect(uint32_t retryInterval = 0) {
        ASSERT_EQ(link->Connect("127.0.0.1", peer.Port(), retryInterval), 0u);
        ASSERT_TRUE(peer.Accept());
        ASSERT_EQ(peer.ReadFrame().size(), 130u);
    }

    // Connects and completes the handshake.
    void ConnectAndInit() {
        ASSERT_NO_FATAL_FAILURE(StartConnect());
        ASSERT_TRUE(peer.Write(InitResponse(0)));
        ASSERT_TRUE(receiver.WaitFor(1));
        ASSERT_EQ(receiver.Events()[0], Connected());
    }

    // Every command before it has been carried out once this returns; on a
    // link that is already closed it changes nothing.
    void Settle() { ASSERT_EQ(link->Disconnect(0, 1), 0u); }

    // Waits until the link has read and acted on n bytes from the peer.
    testing::AssertionResult Received(uint64_t n, int timeoutMs = 3000) {
        const auto* client = dynamic_cast<const devlink::ClientLink*>(link);
        if (!client)
            return testing::AssertionFailure() << "not a ClientLink";
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (client->BytesReceived() < n) {
            if (Clock::now() >= deadline)
                return testing::AssertionFailure()
                       << client->BytesReceived() << " of " << n << " bytes received";
            std::this_thread::sleep_for(1ms);
        }
        return testing::AssertionSuccess();
    }

    RecordingReceiver receiver;
    RecordingLog log;
    ScriptedPeer peer;
    devlink::Connection* link = nullptr;
};

}  // namespace

TEST(ClientLink, SendsTheInitRequestAndGoesConnectedOnAcceptance) {
    Session s;
    ASSERT_EQ(s.link->Connect("127.0.0.1", s.peer.Port(), 0), 0u);
    ASSERT_TRUE(s.peer.Accept());

    Bytes expected = {0xAA, 0x55, 0x82, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,  // header
                      0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};  // version, type, init word
    const std::string signature = "7C41A0B2-3D95-4E18-A6F0-5B29C8E1D374";
    expected.insert(expected.end(), signature.begin(), signature.end());
    expected.resize(130, 0x00);  // NUL, padding of the signature field, 12 zero bytes
    EXPECT_EQ(s.peer.Read(130), expected);

    ASSERT_TRUE(s.peer.Write(InitResponse(0)));
    ASSERT_TRUE(s.receiver.WaitFor(1));
    EXPECT_EQ(s.receiver.Events(), std::vector<LinkEvent>{Connected()});
    EXPECT_TRUE(s.receiver.AllContextsAreOne());
    EXPECT_TRUE(s.log.Has("MSG IIOCP_ClientConnection - conn thread - Received INIT ok!"));
    // Nothing went out between the request and the first packet sent.
    const Bytes first = {0x7E};
    ASSERT_EQ(s.link->Send(first.data(), 1), 0u);
    EXPECT_EQ(s.peer.ReadFrame(), UserPacket(first));
}

TEST(ClientLink, ConnectsByHostName) {
    Session s;
    ASSERT_EQ(s.link->Connect("localhost", s.peer.Port(), 0), 0u);
    ASSERT_TRUE(s.peer.AcceptAndAnswerInit(0));
    ASSERT_TRUE(s.receiver.WaitFor(1));
    EXPECT_EQ(s.receiver.Events()[0], Connected());
}

TEST(ClientLink, SendPutsOneUserPacketOnTheWire) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
    const Bytes payload = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_EQ(s.link->Send(payload.data(), 12), 0u);
    const Bytes expected =
        Concat({0xAA, 0x55, 0x16, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00}, payload);
    // One more packet behind it shows that nothing else went out with the first.
    const Bytes next = {0x7E};
    ASSERT_EQ(s.link->Send(next.data(), 1), 0u);
    EXPECT_EQ(s.peer.Read(expected.size() + devlink::kHeaderSize + 1),
              Concat(expected, UserPacket(next)));
}

TEST(ClientLink, DeliversEveryFrameOfOneReadInOrder) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
    const Bytes a = {0x10, 0x11, 0x12}, b(66, 0x42);
    ASSERT_TRUE(s.peer.Write(Concat(UserPacket(a), UserPacket(b))));
    ASSERT_TRUE(s.receiver.WaitFor(3));
    EXPECT_EQ(s.receiver.Events(), (std::vector<LinkEvent>{Connected(), Packet(a), Packet(b)}));
}

TEST(ClientLink, DeliversAFrameSplitByteByByteOnceItsLastByteArrives) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
    Bytes body(70);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i * 7);
    const Bytes frame = UserPacket(body);
    for (size_t i = 0; i + 1 < frame.size(); ++i) {
        ASSERT_TRUE(s.peer.Write({frame[i]}));
        std::this_thread::sleep_for(1ms);  // so that the link reads a byte at a time
    }
    // The link has acted on every byte but the last: the frame is held back.
    ASSERT_TRUE(s.Received(InitResponse(0).size() + frame.size() - 1));
    EXPECT_EQ(s.receiver.Count(), 1u);
    ASSERT_TRUE(s.peer.Write({frame.back()}));
    // Whatever the last byte brings out comes before a frame sent after it.
    const Bytes after = {0x5A};
    ASSERT_TRUE(s.peer.Write(UserPacket(after)));
    ASSERT_TRUE(s.receiver.WaitFor(3));
    EXPECT_EQ(s.receiver.Events(),
              (std::vector<LinkEvent>{Connected(), Packet(body), Packet(after)}));
}

// Far larger than one receive chunk and than the archive's growth step, up
// to the largest frame accepted.
TEST(ClientLink, DeliversAFrameThatSpansManyReads) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
    Bytes body(300000);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i ^ (i >> 8));
    const Bytes small = {7};
    // The largest frame the link accepts, to the byte.
    Bytes largest(devlink::kMaxFrameLength - devlink::kHeaderSize, 0xA5);
    largest.back() = 0x5A;
    std::thread writer([&] {
        s.peer.Write(Concat(Concat(UserPacket(body), UserPacket(small)), UserPacket(largest)));
    });
    const bool got = s.receiver.WaitFor(4, 60000);  // roomy for sanitizer builds
    writer.join();
    ASSERT_TRUE(got);
    EXPECT_EQ(s.receiver.Events(),
              (std::vector<LinkEvent>{Connected(), Packet(body), Packet(small), Packet(largest)}));
}

TEST(ClientLink, FramesItDoesNotHandleAreLoggedAndTheLinkStays) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
    const Bytes body = {0xAB};
    ASSERT_TRUE(s.peer.Write(Concat(
        Concat(Concat(InitResponse(0), Frame(devlink::kTypeServerCommand, body)), Frame(0x1AB, {})),
        UserPacket(body))));
    ASSERT_TRUE(s.receiver.WaitFor(2));
    EXPECT_EQ(s.receiver.Events(), (std::vector<LinkEvent>{Connected(), Packet(body)}));
    EXPECT_EQ(s.log.Lines(), (std::vector<std::string>{
                                 "MSG IIOCP_ClientConnection - conn thread - Received INIT ok!",
                                 "ERR conn thread - Received unknown server packet : 07 ignore!",
                                 "ERR conn thread - Received unknown CMD from server!",
                                 "ERR conn thread - Received unknown server packet : 1AB ignore!",
                             }));
}

// Each bad frame follows a good one in the same write: the good one is still
// delivered, then the link closes as a protocol error. A header whose length
// field can never make a frame is refused at once, without its body.
TEST(ClientLink, ProtocolErrorsWhileConnectedCloseWithCode56) {
    const struct {
        const char* name;
        Bytes bytes;
        std::string logLine;
    } cases[] = {
        {"bad magic", Concat(Header(0x55AB, 14, 8), {1, 2, 3, 4}), kInvalidHeader},
        {"magic in wrong byte order", Concat(Header(0xAA55, 11, 8), {1}), kInvalidHeader},
        {"empty user packet", Header(0x55AA, 10, 8),
         "ERR IIOCP_ClientConnection - conn thread - Received bad USER pkt! Disconnect!"},
        {"length 0", Header(0x55AA, 0, 8), kInvalidHeader},
        {"length 9", Header(0x55AA, 9, 8), kInvalidHeader},
        {"length 1 MiB + 1, header only", Header(0x55AA, devlink::kMaxFrameLength + 1, 8),
         kInvalidHeader},
        {"length 4 GiB - 1, header only", Header(0x55AA, 0xFFFFFFFF, 8), kInvalidHeader},
    };
    const Bytes good = {0x5A};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
        ASSERT_TRUE(s.peer.Write(Concat(UserPacket(good), c.bytes)));
        ASSERT_TRUE(s.receiver.WaitFor(3));
        EXPECT_EQ(s.receiver.Events(),
                  (std::vector<LinkEvent>{Connected(), Packet(good), Disconnected(56)}));
        EXPECT_TRUE(s.peer.SeesClose(1000));
        ASSERT_NO_FATAL_FAILURE(s.Settle());
        EXPECT_TRUE(s.log.Has(c.logLine));
        EXPECT_EQ(s.log.Lines().size(), 2u);  // INIT ok and the one above
    }
}

TEST(ClientLink, ProtocolErrorsWhileInitialisingFailTheConnect) {
    const struct {
        const char* name;
        Bytes bytes;
        std::string logLine;
    } cases[] = {
        {"INIT response without result", Frame(devlink::kTypeInitResponse, {0, 0}),
         InitFailedLine(devlink::EIOCPE_PROTO_ERROR)},
        {"INIT response with empty body", Header(0x55AA, 10, 7),
         InitFailedLine(devlink::EIOCPE_PROTO_ERROR)},
        {"bad magic", Concat(Header(0x1234, 14, 7), {0, 0, 0, 0}), kInvalidHeader},
        {"oversize length", Header(0x55AA, 0x7FFFFFFF, 7), kInvalidHeader},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        ASSERT_NO_FATAL_FAILURE(s.StartConnect());
        ASSERT_TRUE(s.peer.Write(c.bytes));
        ASSERT_TRUE(s.receiver.WaitFor(1));
        EXPECT_TRUE(s.peer.SeesClose(1000));
        ASSERT_NO_FATAL_FAILURE(s.Settle());
        EXPECT_EQ(s.receiver.Events(), std::vector<LinkEvent>{ConnectFailed(56)});
        EXPECT_TRUE(s.log.Has(c.logLine));
    }
}

TEST(ClientLink, OtherFramesDuringTheHandshakeAreIgnored) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.StartConnect());
    ASSERT_TRUE(s.peer.Write(UserPacket({1, 2})));
    ASSERT_TRUE(
        s.log.WaitFor("MSG IIOCP_ClientConnection - conn thread - Received bad server response to "
                      "INIT command : 08 - ignore!"));
    ASSERT_TRUE(s.peer.Write(InitResponse(0)));
    ASSERT_TRUE(s.receiver.WaitFor(1));
    EXPECT_EQ(s.receiver.Events(), std::vector<LinkEvent>{Connected()});
}

TEST(ClientLink, InitRefusalsWithoutRetryIntervalReportTheMappedCode) {
    const struct {
        uint32_t result;
        uint32_t code;
    } cases[] = {{1, 50}, {2, 50}, {3, 53},  {4, 124}, {5, 51},        {6, 125},
                 {7, 52}, {8, 22}, {9, 126}, {10, 1},  {0xFFFFFFFF, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "result " << c.result);
        Session s;
        ASSERT_NO_FATAL_FAILURE(s.StartConnect());
        ASSERT_TRUE(s.peer.Write(InitResponse(c.result)));
        ASSERT_TRUE(s.receiver.WaitFor(1));
        EXPECT_TRUE(s.peer.SeesClose(1000));
        ASSERT_NO_FATAL_FAILURE(s.Settle());
        EXPECT_EQ(s.receiver.Events(), std::vector<LinkEvent>{ConnectFailed(c.code)});
        EXPECT_EQ(s.log.Lines(), std::vector<std::string>{InitFailedLine(c.code)});
    }
}

// With a retry interval, final refusals still report and stop; the others
// stay silent and the link reconnects by itself a second later, unless a
// disconnect came in between. All sessions run side by side to share the wait.
TEST(ClientLink, InitRefusalsWithRetryIntervalRetryOnlyWhenCurable) {
    struct Case {
        uint32_t result;
        bool final;
        bool disconnectAfterRefusal;
        uint32_t code = devlink::MapInitResult(result);
        std::unique_ptr<Session> s = std::make_unique<Session>();
        Clock::time_point refusedAt{};
    };
    Case cases[] = {{1, true, false},  {3, true, false},   {4, true, false},
                    {5, true, false},  {9, true, false},   {6, false, false},
                    {8, false, false}, {10, false, false}, {7, false, true}};
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "result " << c.result);
        ASSERT_NO_FATAL_FAILURE(c.s->StartConnect(1));
        c.refusedAt = Clock::now();
        ASSERT_TRUE(c.s->peer.Write(InitResponse(c.result)));
    }
    const auto refused = Clock::now();
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "result " << c.result);
        EXPECT_TRUE(c.s->peer.SeesClose(1000));
        EXPECT_TRUE(c.s->log.WaitFor(InitFailedLine(c.code)));
        if (c.final) {
            ASSERT_TRUE(c.s->receiver.WaitFor(1));
            EXPECT_EQ(c.s->receiver.Events(), std::vector<LinkEvent>{ConnectFailed(c.code)});
        } else if (c.disconnectAfterRefusal) {
            ASSERT_NO_FATAL_FAILURE(c.s->Settle());
        }
    }
    for (auto& c : cases) {
        if (c.final || c.disconnectAfterRefusal)
            continue;
        SCOPED_TRACE(testing::Message() << "result " << c.result);
        EXPECT_EQ(c.s->receiver.Count(), 0u);
        ASSERT_TRUE(c.s->peer.AcceptAndAnswerInit(0, 3000));
        ASSERT_TRUE(c.s->receiver.WaitFor(1));
        EXPECT_EQ(c.s->receiver.Events(), std::vector<LinkEvent>{Connected()});
        EXPECT_GE(Clock::now() - c.refusedAt, 900ms);
    }
    std::this_thread::sleep_until(refused + 1600ms);
    for (auto& c : cases) {
        if (!c.final && !c.disconnectAfterRefusal)
            continue;
        SCOPED_TRACE(testing::Message() << "result " << c.result);
        EXPECT_TRUE(c.s->peer.NoPendingConnection());
        EXPECT_EQ(c.s->receiver.Count(), c.final ? 1u : 0u);
    }
}

TEST(ClientLink, ConnectWhileBusyIsRefusedWithoutLogging) {
    {
        SCOPED_TRACE("initialising");
        Session s;
        ASSERT_NO_FATAL_FAILURE(s.StartConnect());
        EXPECT_EQ(s.link->Connect("127.0.0.1", s.peer.Port(), 0), 0u);
        ASSERT_TRUE(s.receiver.WaitFor(1));
        EXPECT_EQ(s.receiver.Events(), std::vector<LinkEvent>{ConnectFailed(49)});
        EXPECT_TRUE(s.log.Lines().empty());
        ASSERT_TRUE(s.peer.Write(InitResponse(0)));  // the first attempt goes on
        ASSERT_TRUE(s.receiver.WaitFor(2));
        EXPECT_EQ(s.receiver.Events()[1], Connected());
    }
    {
        SCOPED_TRACE("connected");
        Session s;
        ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
        EXPECT_EQ(s.link->Connect("127.0.0.1", s.peer.Port(), 0), 0u);
        ASSERT_TRUE(s.receiver.WaitFor(2));
        EXPECT_EQ(s.receiver.Events()[1], ConnectFailed(48));
        EXPECT_EQ(s.log.Lines().size(), 1u);  // INIT ok only
        EXPECT_TRUE(s.peer.NoPendingConnection());
    }
}

TEST(ClientLink, SendBeforeTheHandshakeCompletesIsDropped) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.StartConnect());
    const Bytes early = {0xEE, 0xEE}, late = {0x1A};
    ASSERT_EQ(s.link->Send(early.data(), 2), 0u);
    ASSERT_TRUE(s.peer.Write(InitResponse(0)));
    ASSERT_TRUE(s.receiver.WaitFor(1));
    ASSERT_EQ(s.link->Send(late.data(), 1), 0u);
    EXPECT_EQ(s.peer.ReadFrame(), UserPacket(late));
}

TEST(ClientLink, ImmediateDisconnectNotifiesOnlyWhenAsked) {
    const struct {
        const char* name;
        bool handshakeDone;
        uint32_t notify;
        std::vector<LinkEvent> after;  // events after the handshake
    } cases[] = {
        {"connected, notify", true, 1, {Disconnected(0)}},
        {"connected, silent", true, 0, {}},
        {"initialising, notify", false, 1, {ConnectFailed(0)}},
        {"initialising, silent", false, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        if (c.handshakeDone)
            ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
        else
            ASSERT_NO_FATAL_FAILURE(s.StartConnect());
        const size_t before = s.receiver.Count();
        EXPECT_EQ(s.link->Disconnect(c.notify, 1), 0u);
        EXPECT_TRUE(s.peer.SeesClose(1000));
        ASSERT_NO_FATAL_FAILURE(s.Settle());
        const auto events = s.receiver.Events();
        EXPECT_EQ(std::vector<LinkEvent>(events.begin() + before, events.end()), c.after);
        // Disconnected for good: a new connect works.
        ASSERT_EQ(s.link->Connect("127.0.0.1", s.peer.Port(), 0), 0u);
        EXPECT_TRUE(s.peer.Accept());
    }
}

TEST(ClientLink, GracefulDisconnectEndsWhenThePeerCloses) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
    const Bytes last = {0x77, 0x78};
    std::thread peer([&] {
        // Our side's end of stream arrives first; the peer still sends, then closes.
        if (s.peer.SeesClose(3000))
            s.peer.Write(UserPacket(last));
        s.peer.Close();
    });
    const auto start = Clock::now();
    EXPECT_EQ(s.link->Disconnect(1, 0), 0u);
    const auto took = Clock::now() - start;
    peer.join();
    EXPECT_LT(took, 2s);
    EXPECT_EQ(s.receiver.Events(),
              (std::vector<LinkEvent>{Connected(), Packet(last), Disconnected(55)}));
    EXPECT_TRUE(s.log.Has(kConnectionClosed));
}

TEST(ClientLink, GracefulDisconnectGivesUpOnASilentPeerAfterFiveSeconds) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
    const auto start = Clock::now();
    EXPECT_EQ(s.link->Disconnect(1, 0), 0u);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 4900ms);
    EXPECT_LT(took, 7s);
    EXPECT_EQ(s.receiver.Events(), (std::vector<LinkEvent>{Connected(), Disconnected(0)}));
    EXPECT_TRUE(s.peer.SeesClose(1000));
}

TEST(ClientLink, GracefulDisconnectHasOneDeadlineWhateverThePeerKeepsSending) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
    // A controller that goes on streaming gauge packets after our half-close
    // and never closes its side (bounded, so that a link that waits for the
    // end of the stream still returns and fails here instead of hanging).
    std::atomic<bool> stop{false};
    std::thread streamer([&] {
        const Bytes gauge = UserPacket(Bytes(66, 0x11));
        const auto until = Clock::now() + 15s;
        while (!stop && Clock::now() < until) {
            s.peer.Write(gauge);
            std::this_thread::sleep_for(20ms);
        }
    });
    const auto start = Clock::now();
    EXPECT_EQ(s.link->Disconnect(1, 0), 0u);
    const auto took = Clock::now() - start;
    stop = true;
    streamer.join();
    EXPECT_GE(took, 4900ms);
    EXPECT_LT(took, 6500ms);
    const auto events = s.receiver.Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), Connected());
    EXPECT_EQ(events[1].kind, LinkEvent::kPacket);  // still delivered while closing
    EXPECT_EQ(events.back(), Disconnected(0));
    EXPECT_TRUE(s.peer.SeesClose(1000));
}

TEST(ClientLink, ASendToAPeerThatStoppedReadingTimesOut) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
    // Far more than the socket buffers hold; the peer reads none of it.
    const Bytes big(64u << 20, 0x5A);
    const auto start = Clock::now();
    ASSERT_EQ(s.link->Send(big.data(), static_cast<uint32_t>(big.size())), 0u);
    ASSERT_TRUE(s.receiver.WaitFor(2, 30000));  // roomy for sanitizer builds
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 4900ms);
    EXPECT_EQ(s.receiver.Events(), (std::vector<LinkEvent>{Connected(), Disconnected(88)}));
    // The link is free again: a disconnect does not wait behind the send
    // (which would take the send's 5 s; freeing the 64 MiB takes its time
    // under a thread sanitizer).
    const auto disconnectStart = Clock::now();
    EXPECT_EQ(s.link->Disconnect(1, 0), 0u);
    EXPECT_LT(Clock::now() - disconnectStart, 3s);
}

TEST(ClientLink, PeerCloseAndResetEndTheConnection) {
    const struct {
        const char* name;
        bool reset;
        uint32_t code;
    } cases[] = {
        {"orderly close", false, devlink::EIOCPE_CONN_CLOSED_BY_SERVER},
        {"reset", true, devlink::EIOCPE_WSAECONNRESET},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
        if (c.reset) {
            s.peer.Reset();
        } else {
            // A frame right before the close is still delivered.
            ASSERT_TRUE(s.peer.Write(UserPacket({0x99})));
            s.peer.Close();
        }
        ASSERT_TRUE(s.receiver.WaitFor(c.reset ? 2 : 3));
        ASSERT_NO_FATAL_FAILURE(s.Settle());
        auto expected = std::vector<LinkEvent>{Connected()};
        if (!c.reset)
            expected.push_back(Packet({0x99}));
        expected.push_back(Disconnected(c.code));
        EXPECT_EQ(s.receiver.Events(), expected);
        EXPECT_TRUE(s.log.Has(kConnectionClosed));
    }
}

TEST(ClientLink, PeerCloseDuringTheHandshakeFailsTheConnect) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.StartConnect());
    s.peer.Close();
    ASSERT_TRUE(s.receiver.WaitFor(1));
    ASSERT_NO_FATAL_FAILURE(s.Settle());
    EXPECT_EQ(s.receiver.Events(), std::vector<LinkEvent>{ConnectFailed(55)});
}

TEST(ClientLink, ConnectionRefusedReportsCode89) {
    uint16_t port;
    {
        ScriptedPeer gone;  // a port that was just free and has no listener now
        port = gone.Port();
    }
    Session s;
    ASSERT_EQ(s.link->Connect("127.0.0.1", port, 0), 0u);
    ASSERT_TRUE(s.receiver.WaitFor(1));
    EXPECT_EQ(s.receiver.Events(), std::vector<LinkEvent>{ConnectFailed(89)});
    EXPECT_EQ(s.log.Lines(),
              std::vector<std::string>{
                  "ERR IIOCP_ClientConnection - conn thread - Connect failed : "
                  "[EIOCPE_WSAECONNREFUSED] There is no running server on selected host!"});
}

TEST(ClientLink, BadArgumentsAreRefusedAndQueueNothing) {
    Session s;
    const uint8_t byte = 1;
    EXPECT_EQ(s.link->Connect(nullptr, 5565, 0), devlink::EIOCPE_BAD_PARAMS);
    EXPECT_EQ(s.link->Connect("127.0.0.1", 0, 0), devlink::EIOCPE_BAD_PARAMS);
    EXPECT_EQ(s.link->Send(nullptr, 1), devlink::EIOCPE_BAD_PARAMS);
    EXPECT_EQ(s.link->Send(&byte, 0), devlink::EIOCPE_BAD_PARAMS);
    ASSERT_NO_FATAL_FAILURE(s.Settle());
    EXPECT_EQ(s.receiver.Count(), 0u);

    uint32_t error = 0;
    EXPECT_EQ(devlink::CreateClientConnection(nullptr, &s.log, &error), nullptr);
    EXPECT_EQ(error, devlink::EIOCPE_BAD_PARAMS);
}

TEST(ClientLink, ReleaseClosesTheConnectionWithoutCallbacks) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.ConnectAndInit());
    EXPECT_EQ(devlink::ReleaseClientConnection(s.link), 0u);
    s.link = nullptr;
    EXPECT_TRUE(s.peer.SeesClose(1000));
    EXPECT_EQ(s.receiver.Events(), std::vector<LinkEvent>{Connected()});
}
