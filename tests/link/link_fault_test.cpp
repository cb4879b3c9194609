// The client link against the simulator through a proxy that spoils the
// stream: the link delivers exactly the frames that arrived whole, in order,
// or ends with the code and log line of what went wrong, and a disconnect
// never outlasts its deadline. Then many connections with nothing left over.
#include <dirent.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bake/controller_packets.h"
#include "link/link_errors.h"
#include "sim/sim_server.h"
#include "tests/link/link_test_support.h"
#include "tests/support/fault_proxy.h"

namespace {

using link_test::Bytes;
using link_test::Clock;
using link_test::LinkEvent;
using std::chrono::milliseconds;
using test_support::ProxyFault;

constexpr size_t kInitResponseSize = devlink::kHeaderSize + 4;
constexpr size_t kGaugeFrameSize = devlink::kHeaderSize + bake::kGaugeDataSize;
// Inside the fourth gauge frame after the handshake, and just before it.
constexpr size_t kMidFrame = kInitResponseSize + 3 * kGaugeFrameSize + 30;
constexpr size_t kFrameBoundary = kInitResponseSize + 3 * kGaugeFrameSize;
// The link's graceful close waits this long at most, plus scheduling slack.
constexpr auto kDisconnectDeadline = milliseconds(5000 + 1000);

// The bodies of the whole user packets in a stream that starts with the INIT
// response; an incomplete last frame is left out.
std::vector<Bytes> WholeUserPackets(const Bytes& stream) {
    std::vector<Bytes> out;
    size_t at = kInitResponseSize;
    while (at + devlink::kHeaderSize <= stream.size()) {
        const auto h = devlink::ReadHeader(stream.data() + at);
        if (h.length < devlink::kHeaderSize || at + h.length > stream.size())
            break;
        if (h.type == devlink::kTypeUserPacket)
            out.emplace_back(
                stream.begin() + static_cast<std::ptrdiff_t>(at + devlink::kHeaderSize),
                stream.begin() + static_cast<std::ptrdiff_t>(at + h.length));
        at += h.length;
    }
    return out;
}

Bytes OptionsRequest() {
    Bytes body(12);
    platform::WriteLe32(body.data(), bake::CONCC_PKT_GET_BAKE_OPTIONS);
    platform::WriteLe32(body.data() + 8, 1);
    return body;
}

// Whether the controller's reply to OptionsRequest is among the packets.
bool HasOptionsReply(const std::vector<Bytes>& packets) {
    for (const Bytes& p : packets)
        if (p.size() >= 4 && platform::ReadLe32(p.data()) == bake::CONCC_PKT_GET_BAKE_OPTIONS)
            return true;
    return false;
}

std::vector<Bytes> Packets(const std::vector<LinkEvent>& events) {
    std::vector<Bytes> out;
    for (const LinkEvent& e : events)
        if (e.kind == LinkEvent::kPacket)
            out.push_back(e.data);
    return out;
}

size_t Entries(const char* dir) {
    size_t n = 0;
    if (DIR* d = ::opendir(dir)) {
        while (::readdir(d)) ++n;
        ::closedir(d);
    }
    return n;
}

// The simulator in-process on a free port of 127.0.0.1, 20 gauge packets a second.
class Simulator {
public:
    Simulator() {
        sim::ServerOptions o;
        o.port = 0;
        o.rate = 20;
        server_ = std::make_unique<sim::SimServer>(model_, o);
        std::string error;
        if (server_->Open(&error) == 0)
            thread_ = std::thread([this] { server_->Run(); });
    }
    ~Simulator() {
        server_->Stop();
        if (thread_.joinable())
            thread_.join();
    }
    uint16_t Port() const { return thread_.joinable() ? server_->Port() : 0; }

private:
    sim::ControllerModel model_;
    std::unique_ptr<sim::SimServer> server_;
    std::thread thread_;
};

class Link {
public:
    Link() { link_ = devlink::CreateClientConnection(&receiver, &log, &error_); }
    ~Link() {
        if (link_)
            devlink::ReleaseClientConnection(link_);
    }
    devlink::Connection* operator->() const { return link_; }
    bool Created() const { return link_ != nullptr; }

    link_test::RecordingReceiver receiver;
    link_test::RecordingLog log;

private:
    uint32_t error_ = 0;
    devlink::Connection* link_ = nullptr;
};

}  // namespace

TEST(LinkFaults, DeliversWholeFramesOrEndsWithTheRightCode) {
    const std::string kClosed =
        "ERR IIOCP_ClientConnection - conn thread - Connection closed from server!";
    const std::string kBadHeader =
        "ERR IIOCP_ClientConnection - conn thread - Invalid packet header!";
    struct Case {
        const char* what;
        ProxyFault fault;
        bool survives;          // the connection lasts until the test disconnects
        uint32_t endCode;       // of the last event, OnDisconnected
        std::string logLine;    // expected among the link's log lines, when not empty
        bool waitsOutDeadline;  // the graceful disconnect can only end by its deadline
    } cases[] = {
        {"untouched stream",
         {ProxyFault::Kind::kNone},
         true,
         devlink::EIOCPE_CONN_CLOSED_BY_SERVER,
         "",
         false},
        {"1-byte writes",
         {ProxyFault::Kind::kSlice},
         true,
         devlink::EIOCPE_CONN_CLOSED_BY_SERVER,
         "",
         false},
        {"every chunk delayed",
         {ProxyFault::Kind::kDelay, 0, 40},
         true,
         devlink::EIOCPE_CONN_CLOSED_BY_SERVER,
         "",
         false},
        {"stalled mid-frame",
         {ProxyFault::Kind::kStall, kMidFrame},
         true,
         devlink::EIOCPE_SUCCESS,
         "",
         true},
        {"reset mid-frame",
         {ProxyFault::Kind::kReset, kMidFrame},
         false,
         devlink::EIOCPE_WSAECONNRESET,
         kClosed,
         false},
        {"closed mid-frame",
         {ProxyFault::Kind::kClose, kMidFrame},
         false,
         devlink::EIOCPE_CONN_CLOSED_BY_SERVER,
         kClosed,
         false},
        {"frame with a huge length",
         {ProxyFault::Kind::kHugeFrame, kFrameBoundary},
         false,
         devlink::EIOCPE_PROTO_ERROR,
         kBadHeader,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Simulator sim;
        ASSERT_NE(sim.Port(), 0);
        test_support::FaultProxy proxy(sim.Port(), c.fault);
        ASSERT_NE(proxy.Port(), 0);
        Link link;
        ASSERT_TRUE(link.Created());
        ASSERT_EQ(link->Connect("127.0.0.1", proxy.Port(), 0), 0u);
        ASSERT_TRUE(link.receiver.WaitFor(1, 5000));
        ASSERT_EQ(link.receiver.Events()[0], link_test::Connected());

        if (c.survives && c.fault.kind != ProxyFault::Kind::kStall) {
            const Bytes request = OptionsRequest();
            ASSERT_EQ(link->Send(request.data(), static_cast<uint32_t>(request.size())), 0u);
            ASSERT_TRUE(link.receiver.WaitUntil(
                [](const std::vector<LinkEvent>& events) {
                    const std::vector<Bytes> packets = Packets(events);
                    return packets.size() >= 3 && HasOptionsReply(packets);
                },
                10000));
        } else {
            const auto deadline = Clock::now() + milliseconds(5000);
            while (!proxy.Faulted() && Clock::now() < deadline)
                std::this_thread::sleep_for(milliseconds(10));
            ASSERT_TRUE(proxy.Faulted());
            if (!c.survives) {
                ASSERT_TRUE(link.log.WaitFor(c.logLine, 3000));
            }
        }
        // Disconnect returns once the link thread has carried it out, so
        // everything the link made of the stream before it is recorded by then.

        const auto start = Clock::now();
        EXPECT_EQ(link->Disconnect(1, 0), 0u);
        const auto took = Clock::now() - start;
        EXPECT_LT(took, kDisconnectDeadline);
        if (c.waitsOutDeadline) {
            EXPECT_GE(took, milliseconds(4500));
        }

        const auto events = link.receiver.Events();
        std::vector<Bytes> delivered;
        for (size_t i = 1; i + 1 < events.size(); ++i) {
            EXPECT_EQ(events[i].kind, LinkEvent::kPacket) << "event " << i << ": " << events[i];
            delivered.push_back(events[i].data);
        }
        EXPECT_EQ(delivered, WholeUserPackets(proxy.Passed()));
        EXPECT_GE(delivered.size(), 3u);
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events.back(), link_test::Disconnected(c.endCode));
        if (!c.logLine.empty()) {
            EXPECT_TRUE(link.log.Has(c.logLine));
        }
        if (c.survives && c.fault.kind != ProxyFault::Kind::kStall) {
            EXPECT_TRUE(HasOptionsReply(delivered));
        }
    }
}

// Every connection's socket and every link's thread go away with it.
TEST(LinkFaults, ThousandConnectionsLeaveNoDescriptorOrThread) {
    Simulator sim;
    ASSERT_NE(sim.Port(), 0);
    const size_t fdsBefore = Entries("/proc/self/fd");
    const size_t threadsBefore = Entries("/proc/self/task");

    constexpr int kCycles = 1000;
    constexpr int kCyclesPerLink = 10;  // also creates and releases 100 links
    std::unique_ptr<Link> link;
    for (int i = 0; i < kCycles; ++i) {
        if (i % kCyclesPerLink == 0) {
            link.reset();
            link = std::make_unique<Link>();
            ASSERT_TRUE(link->Created());
        }
        const size_t seen = link->receiver.Count();
        ASSERT_EQ((*link)->Connect("127.0.0.1", sim.Port(), 0), 0u);
        ASSERT_TRUE(link->receiver.WaitFor(seen + 1, 3000)) << "cycle " << i;
        ASSERT_EQ(link->receiver.Events()[seen], link_test::Connected()) << "cycle " << i;
        // The simulator has closed its side once a graceful disconnect returns,
        // so the next connection never meets the one before.
        ASSERT_EQ((*link)->Disconnect(1, 0), 0u);
        ASSERT_EQ(link->receiver.Events().back(),
                  link_test::Disconnected(devlink::EIOCPE_CONN_CLOSED_BY_SERVER))
            << "cycle " << i;
    }
    link.reset();

    EXPECT_EQ(Entries("/proc/self/fd"), fdsBefore);
    EXPECT_EQ(Entries("/proc/self/task"), threadsBefore);
}
