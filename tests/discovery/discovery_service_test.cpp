// The discovery service over real sockets, inside the test's own network:
// real broadcasts to 255.255.255.255, a scripted peer on the device port.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery/discovery_datagram.h"
#include "discovery/discovery_result.h"
#include "discovery/discovery_service.h"
#include "discovery_test_support.h"
#include "tests/support/private_network.h"

using namespace std::chrono_literals;
using discotest::Event;
using discotest::Header;
using discotest::RecordingSink;
using discotest::UdpPeer;

namespace {

class DiscoveryServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        ASSERT_TRUE(peer_.ok());
    }
    void TearDown() override {
        if (service_.IsRunning())
            service_.StopOperations();
    }
    void StartService() { ASSERT_EQ(service_.StartOperations(&sink_), 0u); }

    discovery::DiscoveryService service_;
    RecordingSink sink_;
    UdpPeer peer_{discovery::PLIXOR_DEVICE_PORT};
};

std::vector<Event::Kind> Kinds(const std::vector<Event>& events) {
    std::vector<Event::Kind> kinds;
    kinds.reserve(events.size());
    for (const Event& e : events) kinds.push_back(e.kind);
    return kinds;
}

}  // namespace

TEST_F(DiscoveryServiceTest, RefreshBroadcastsOneStatusRequestAndStatusesComeBack) {
    ASSERT_NO_FATAL_FAILURE(StartService());
    ASSERT_EQ(service_.RefreshDevices(), 0u);
    const auto request = peer_.Receive();
    ASSERT_TRUE(request);
    EXPECT_EQ(*request, discovery::EncodeStatusRequest(0, 0));

    discovery::DeviceStatus status;
    status.deviceId = 4711;
    status.statusWord0 = 1;
    status.firmwareVersion = 1002003;
    status.macAddress = 0x001A2B3C4D5E;
    status.ipAddress = discotest::Address("192.168.1.10");
    ASSERT_TRUE(peer_.SendToHost(discovery::EncodeDevStatus(status, 0)));
    const auto got = sink_.WaitForKind(Event::Status);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->status.deviceId, 4711u);
    EXPECT_TRUE(got->status == status);

    // Exactly once, and nothing else was said.
    ASSERT_TRUE(peer_.SendToHost(Header(0x5788, 2, 1, 24, 16, 0, 0)));  // marker: ignored
    ASSERT_TRUE(peer_.SendToHost(Header(0x5788, 2, 1, 24, 80, 99, 0)));
    ASSERT_TRUE(sink_.WaitForKind(Event::SetIp));
    EXPECT_EQ(Kinds(sink_.Events()), (std::vector<Event::Kind>{Event::Status, Event::SetIp}));
    EXPECT_TRUE(peer_.Receive(50ms) == std::nullopt);
}

TEST_F(DiscoveryServiceTest, MalformedDatagramsAreLoggedDroppedAndDoNotDisturbTheNext) {
    ASSERT_NO_FATAL_FAILURE(StartService());
    auto longerThanSaid = discovery::EncodeDevStatus(discovery::DeviceStatus{}, 0);
    platform::WriteLe32(&longerThanSaid[8], 60);
    const struct {
        std::vector<uint8_t> bytes;
        const char* log;
    } cases[] = {
        {std::vector<uint8_t>(23, 0x88), "Bad pkt size received!"},
        {longerThanSaid, "Inconsistent pkt size received!"},
        {Header(0x8857, 2, 1, 24, 16, 0, 0), "Bad pkt start flag received!"},
        {Header(0x5788, 3, 1, 24, 16, 0, 0), "Bad pkt version received!"},
        {Header(0x5788, 2, 1, 24, 0x51, 0, 0), "Received unknown packet type : 0x51!"},
        // Too big for the receive buffer: cannot be read, message too long.
        {std::vector<uint8_t>(6000, 0x88), "#10040 - Can't read incoming data!"},
    };
    for (const auto& c : cases) {
        sink_.Clear();
        ASSERT_TRUE(peer_.SendToHost(c.bytes));
        discovery::DeviceStatus status;
        status.deviceId = 7;
        ASSERT_TRUE(peer_.SendToHost(discovery::EncodeDevStatus(status, 0)));
        ASSERT_TRUE(sink_.WaitForKind(Event::Status)) << c.log;
        EXPECT_EQ(sink_.Logs(), std::vector<std::string>{c.log});
        EXPECT_EQ(Kinds(sink_.Events()), (std::vector<Event::Kind>{Event::Log, Event::Status}));
    }
}

TEST_F(DiscoveryServiceTest, SetIpRequestsGetIdsTwoAndThreeAndLeaveInOrder) {
    ASSERT_NO_FATAL_FAILURE(StartService());
    uint32_t first = 0, second = 0;
    ASSERT_EQ(service_.SetDeviceIP(501, discotest::Address("10.0.0.5"),
                                   discotest::Address("255.255.255.0"), &first),
              0u);
    ASSERT_EQ(service_.SetDeviceIP(502, discotest::Address("10.0.0.6"),
                                   discotest::Address("255.255.0.0"), &second),
              0u);
    EXPECT_EQ(first, 2u);
    EXPECT_EQ(second, 3u);

    const auto a = peer_.Receive();
    const auto b = peer_.Receive();
    ASSERT_TRUE(a && b);
    discovery::DeviceIpConfig expectA, expectB;
    expectA.deviceId = 501;
    expectA.requestId = 2;
    expectA.ipAddress = discotest::Address("10.0.0.5");
    expectA.netMask = discotest::Address("255.255.255.0");
    expectB.deviceId = 502;
    expectB.requestId = 3;
    expectB.ipAddress = discotest::Address("10.0.0.6");
    expectB.netMask = discotest::Address("255.255.0.0");
    EXPECT_EQ(*a, discovery::EncodeSetIPRequest(expectA));
    EXPECT_EQ(*b, discovery::EncodeSetIPRequest(expectB));

    // A sent request raises nothing until its reply arrives.
    EXPECT_FALSE(sink_.WaitForKind(Event::SetIp, 1, 100ms));
    ASSERT_TRUE(peer_.SendToHost(Header(0x5788, 2, 502, 24, 80, 3, 0)));
    ASSERT_TRUE(peer_.SendToHost(Header(0x5788, 2, 501, 24, 80, 2, 6)));
    ASSERT_TRUE(sink_.WaitForKind(Event::SetIp, 2));
    const auto events = sink_.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, Event::SetIp);
    EXPECT_EQ(events[0].requestId, 3u);
    EXPECT_EQ(events[0].result, 0u);
    EXPECT_EQ(events[1].text, "501 Received device error : <Unknown : 6>");
    EXPECT_EQ(events[2].requestId, 2u);
    EXPECT_EQ(events[2].result, 16u);
    EXPECT_STREQ(discovery::DiscoveryResultText(events[2].result),
                 "Invalid device state to set IP address!");
}

TEST_F(DiscoveryServiceTest, UnsendableRequestsFailOneAfterTheOther) {
    ASSERT_NO_FATAL_FAILURE(StartService());
    // Without a route for the broadcast the socket refuses each datagram at
    // once; the second is only tried once the first send has completed.
    ASSERT_TRUE(testnet::SetBroadcastRoute(false));
    uint32_t first = 0, second = 0;
    ASSERT_EQ(service_.SetDeviceIP(1, 0, 0, &first), 0u);
    ASSERT_EQ(service_.SetDeviceIP(1, 0, 0, &second), 0u);
    ASSERT_EQ(service_.RefreshDevices(), 0u);
    const bool done = sink_.WaitFor([](const std::vector<Event>& e) { return e.size() >= 5; });
    ASSERT_TRUE(testnet::SetBroadcastRoute(true));
    ASSERT_TRUE(done);

    const std::string unreachable = "WSAENETUNREACH - Network is unreachable!";
    const auto events = sink_.Events();
    ASSERT_EQ(Kinds(events), (std::vector<Event::Kind>{Event::Log, Event::SetIp, Event::Log,
                                                       Event::SetIp, Event::Log}));
    EXPECT_EQ(events[0].text, unreachable);
    EXPECT_EQ(events[1].requestId, first);
    EXPECT_EQ(events[1].result, 4u);
    EXPECT_EQ(events[2].text, unreachable);
    EXPECT_EQ(events[3].requestId, second);
    EXPECT_EQ(events[3].result, 4u);
    // A status request that fails reports nothing but its log line.
    EXPECT_EQ(events[4].text, unreachable);

    // The service carries on once the network is back.
    sink_.Clear();
    ASSERT_EQ(service_.RefreshDevices(), 0u);
    EXPECT_TRUE(peer_.Receive());
    EXPECT_TRUE(sink_.Events().empty());
}

TEST_F(DiscoveryServiceTest, ASecondServiceCannotBindTheHostPort) {
    ASSERT_NO_FATAL_FAILURE(StartService());
    discovery::DiscoveryService second;
    RecordingSink secondSink;
    EXPECT_EQ(second.StartOperations(&secondSink), 10u);
    EXPECT_FALSE(second.IsRunning());
    EXPECT_EQ(secondSink.Logs(),
              (std::vector<std::string>{"Can't bind socket : Address already in use",
                                        "Unable to allocate system resourcess!"}));
    EXPECT_EQ(second.StopOperations(), 1u);
    EXPECT_EQ(second.RefreshDevices(), 7u);

    // Once the first has stopped, the port is free again.
    ASSERT_EQ(service_.StopOperations(), 0u);
    secondSink.Clear();
    EXPECT_EQ(second.StartOperations(&secondSink), 0u);
    EXPECT_EQ(second.StopOperations(), 0u);
    EXPECT_TRUE(secondSink.Logs().empty());
}

TEST_F(DiscoveryServiceTest, StartAndStopEdgeCases) {
    EXPECT_EQ(service_.StopOperations(), 1u);  // never started: nothing to do
    EXPECT_EQ(service_.StartOperations(nullptr), 6u);
    EXPECT_FALSE(service_.IsRunning());
    EXPECT_TRUE(sink_.Events().empty());

    ASSERT_NO_FATAL_FAILURE(StartService());
    // Starting twice leaves the running worker as it was.
    EXPECT_EQ(service_.StartOperations(&sink_), 0xFFFFFFFFu);
    EXPECT_EQ(sink_.Logs(),
              (std::vector<std::string>{"Thread already running!", "<UNKNOWN_ERROR>"}));
    ASSERT_EQ(service_.RefreshDevices(), 0u);
    EXPECT_TRUE(peer_.Receive());

    EXPECT_EQ(service_.StopOperations(), 0u);
    EXPECT_EQ(service_.StopOperations(), 1u);
    // A stopped service can be started again.
    ASSERT_NO_FATAL_FAILURE(StartService());
    ASSERT_EQ(service_.RefreshDevices(), 0u);
    EXPECT_TRUE(peer_.Receive());

    // The worker ends cleanly with 0 when asked to stop.
    uint32_t exitCode = 99;
    EXPECT_TRUE(service_.Stop(&exitCode, 5000));
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(DiscoveryServiceTest, OverlongLogFormatsAreDroppedAndLongLinesCut) {
    ASSERT_NO_FATAL_FAILURE(StartService());
    const std::string exactly4096(4096, 'x');
    service_.Log("test", "%s", exactly4096.c_str());  // a long argument is fine
    service_.Log("test", exactly4096.c_str());        // a long format is not
    const std::string just4095(4095, 'y');
    service_.Log("test", just4095.c_str());
    const auto logs = sink_.Logs();
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(logs[0], std::string(4095, 'x'));
    EXPECT_EQ(logs[1], just4095);
}

namespace {

// A sink whose status notification blocks until the test lets it go, so the
// worker is still inside the sink when the service gives up on it. It must
// outlive every worker that may call it.
class BlockingSink : public RecordingSink {
public:
    void OnDeviceStatus(const discovery::DeviceStatus* status) override {
        {
            std::unique_lock lock(mutex_);
            ++entered_;
            changed_.notify_all();
            changed_.wait(lock, [&] { return released_; });
        }
        RecordingSink::OnDeviceStatus(status);
    }
    bool WaitEntered(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return entered_ > 0; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int entered_ = 0;        // guarded by mutex_
    bool released_ = false;  // guarded by mutex_
};

std::vector<uint8_t> SomeStatus(uint32_t deviceId) {
    discovery::DeviceStatus status;
    status.deviceId = deviceId;
    return discovery::EncodeDevStatus(status, 0);
}

// Blocks the service's worker in the sink, queues more work behind it and
// stops the service, which gives up on the worker after its deadline.
::testing::AssertionResult GiveUpOnABlockedWorker(discovery::DiscoveryService& service,
                                                  BlockingSink& sink, UdpPeer& peer) {
    if (service.StartOperations(&sink) != 0)
        return ::testing::AssertionFailure() << "the service did not start";
    if (!peer.SendToHost(SomeStatus(1)) || !sink.WaitEntered(3s))
        return ::testing::AssertionFailure() << "the worker did not enter the sink";
    // Work the worker would still find once the sink returns.
    peer.SendToHost(SomeStatus(2));
    uint32_t requestId = 0;
    service.SetDeviceIP(7, discotest::Address("10.0.0.7"), discotest::Address("255.0.0.0"),
                        &requestId);
    service.RefreshDevices();
    const auto start = std::chrono::steady_clock::now();
    if (service.StopOperations() != 0)
        return ::testing::AssertionFailure() << "StopOperations did not report a stop";
    const auto took = std::chrono::steady_clock::now() - start;
    if (took < 4900ms || took > 7s)
        return ::testing::AssertionFailure()
               << "gave up after "
               << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    if (service.IsRunning())
        return ::testing::AssertionFailure() << "the service still counts as running";
    return ::testing::AssertionSuccess();
}

// True once a fresh service can bind the host port again, that is once the
// worker given up on has closed its socket.
bool HostPortFreeWithin(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        discovery::DiscoveryService probe;
        RecordingSink probeSink;
        if (probe.StartOperations(&probeSink) == 0)
            return probe.StopOperations() == 0;
        std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

}  // namespace

TEST(DiscoveryServiceGiveUp, AWorkerGivenUpOnNeverTouchesItsFreedService) {
    REQUIRE_PRIVATE_NETWORK();
    UdpPeer peer(discovery::PLIXOR_DEVICE_PORT);
    ASSERT_TRUE(peer.ok());
    BlockingSink sink;
    auto service = std::make_unique<discovery::DiscoveryService>();
    ASSERT_TRUE(GiveUpOnABlockedWorker(*service, sink, peer));
    service.reset();

    // The worker comes back from the sink into a service that is gone: it may
    // only wind down what it owns, and say nothing more.
    sink.Release();
    EXPECT_TRUE(HostPortFreeWithin(3s));
    // The give-up itself is logged by the service; the worker's one status
    // reaches the sink only as the sink returns, and nothing follows it.
    EXPECT_EQ(Kinds(sink.Events()), (std::vector<Event::Kind>{Event::Log, Event::Status}));
    EXPECT_EQ(sink.Logs(),
              (std::vector<std::string>{"Wait for thread to die failed - Timer expired"}));
    EXPECT_TRUE(peer.Receive(100ms) == std::nullopt);
}

TEST(DiscoveryServiceGiveUp, ARestartAfterAGiveUpSharesNothingWithTheOldWorker) {
    REQUIRE_PRIVATE_NETWORK();
    UdpPeer peer(discovery::PLIXOR_DEVICE_PORT);
    ASSERT_TRUE(peer.ok());
    BlockingSink sink;
    discovery::DiscoveryService service;
    ASSERT_TRUE(GiveUpOnABlockedWorker(service, sink, peer));

    // The old worker still holds the host port while it is stuck.
    RecordingSink fresh;
    EXPECT_EQ(service.StartOperations(&fresh), 10u);
    EXPECT_EQ(service.RefreshDevices(), 7u);

    sink.Release();
    ASSERT_TRUE(HostPortFreeWithin(3s));
    ASSERT_EQ(service.StartOperations(&fresh), 0u);
    // Only the new worker's own request goes out; what was queued for the old
    // one died with it.
    ASSERT_EQ(service.RefreshDevices(), 0u);
    const auto request = peer.Receive();
    ASSERT_TRUE(request);
    EXPECT_EQ(*request, discovery::EncodeStatusRequest(0, 0));
    EXPECT_TRUE(peer.Receive(100ms) == std::nullopt);
    ASSERT_TRUE(peer.SendToHost(SomeStatus(3)));
    const auto status = fresh.WaitForKind(Event::Status);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->status.deviceId, 3u);
    EXPECT_EQ(service.StopOperations(), 0u);
    EXPECT_EQ(Kinds(sink.Events()), (std::vector<Event::Kind>{Event::Log, Event::Status}));
}
