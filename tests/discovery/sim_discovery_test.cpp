// Discovery end to end: the service and calveroctl against real calvero-sim
// processes, side by side on 127.0.0.2 and 127.0.0.3, in the test's own network.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "discovery/discovery_datagram.h"
#include "discovery/discovery_service.h"
#include "discovery_test_support.h"
#include "sim/discovery_responder.h"
#include "tests/support/private_network.h"
#include "tests/support/process.h"
#include "tests/support/sim_process.h"

using namespace std::chrono_literals;
using discotest::Event;
using discotest::RecordingSink;
using test_support::Process;

namespace {

const std::string kCtl = CALVEROCTL_PATH;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The latest status of each device among the events.
std::map<uint32_t, discovery::DeviceStatus> LatestStatus(const std::vector<Event>& events) {
    std::map<uint32_t, discovery::DeviceStatus> latest;
    for (const Event& e : events)
        if (e.kind == Event::Status)
            latest[e.status.deviceId] = e.status;
    return latest;
}

class SimDiscovery : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        first_.emplace(std::vector<std::string>{"--bind", "127.0.0.2", "--port", "5565",
                                                "--device-id", "101", "--firmware", "1.2.3",
                                                "--mac", "02:aa:bb:cc:dd:01"});
        ASSERT_TRUE(first_->Listening()) << first_->Err();
        second_.emplace(std::vector<std::string>{"--bind", "127.0.0.3", "--port", "5565",
                                                 "--device-id", "102", "--ip", "0.0.0.0", "--mac",
                                                 "02:aa:bb:cc:dd:02"});
        ASSERT_TRUE(second_->Listening()) << second_->Err();
        // Both are up once both have reported.
        ASSERT_EQ(service_.StartOperations(&sink_), 0u);
        ASSERT_EQ(service_.RefreshDevices(), 0u);
        ASSERT_TRUE(sink_.WaitFor(
            [](const std::vector<Event>& e) {
                const auto latest = LatestStatus(e);
                return latest.count(101) && latest.count(102);
            },
            5000ms))
            << "simulators did not report\n"
            << first_->Err() << second_->Err();
    }
    void TearDown() override {
        if (service_.IsRunning())
            service_.StopOperations();
    }

    // Waits for a status of deviceId reporting the address.
    bool WaitForAddress(uint32_t deviceId, const char* address) {
        const uint32_t wanted = discotest::Address(address);
        return sink_.WaitFor(
            [&](const std::vector<Event>& events) {
                for (const Event& e : events)
                    if (e.kind == Event::Status && e.status.deviceId == deviceId &&
                        e.status.ipAddress == wanted)
                        return true;
                return false;
            },
            3000ms);
    }

    // Started in SetUp, once the private network is known to be there.
    std::optional<test_support::SimProcess> first_, second_;
    discovery::DiscoveryService service_;
    RecordingSink sink_;
};

}  // namespace

TEST_F(SimDiscovery, BothSimulatorsReportTheirIdentity) {
    const auto latest = LatestStatus(sink_.Events());
    const discovery::DeviceStatus& a = latest.at(101);
    EXPECT_EQ(a.firmwareVersion, 1002003u);
    EXPECT_EQ(a.macAddress, 0x02AABBCCDD01ull);
    EXPECT_EQ(discotest::AddressText(a.ipAddress), "127.0.0.2");
    // In service: the words the operator's list checks.
    EXPECT_EQ(a.statusWord0, 1u);
    EXPECT_EQ(a.statusWord2, 1u);
    EXPECT_EQ(a.statusWord3, 1u);
    const discovery::DeviceStatus& b = latest.at(102);
    EXPECT_EQ(b.firmwareVersion, 1000000u);
    EXPECT_EQ(b.macAddress, 0x02AABBCCDD02ull);
    EXPECT_EQ(b.ipAddress, 0u);
    EXPECT_TRUE(sink_.Logs().empty());
}

TEST_F(SimDiscovery, SimulatorsReportUnaskedAboutOnceASecond) {
    sink_.Clear();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(sink_.WaitFor(
        [](const std::vector<Event>& e) {
            int fromFirst = 0;
            for (const Event& x : e)
                fromFirst += x.kind == Event::Status && x.status.deviceId == 101;
            return fromFirst >= 2;
        },
        4000ms));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GT(took, 600ms);  // not a flood: two reports need most of a second at least
}

TEST_F(SimDiscovery, CalveroctlDiscoverListsBothSimulators) {
    // The port is calveroctl's now.
    ASSERT_EQ(service_.StopOperations(), 0u);
    const auto run = test_support::Run({kCtl, "discover", "--wait", "1.5"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0], "Online   101         1.002.003     127.0.0.2       02:aa:bb:cc:dd:01");
    EXPECT_EQ(lines[1], "Wait IP  102         1.000.000     Unknown         02:aa:bb:cc:dd:02");
}

TEST_F(SimDiscovery, SetIpChangesWhatOneSimulatorReports) {
    uint32_t requestId = 0;
    ASSERT_EQ(service_.SetDeviceIP(102, discotest::Address("10.9.8.7"),
                                   discotest::Address("255.255.255.0"), &requestId),
              0u);
    const auto result = sink_.WaitForKind(Event::SetIp);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->requestId, requestId);
    EXPECT_EQ(result->result, 0u);
    EXPECT_TRUE(WaitForAddress(102, "10.9.8.7"));
    ASSERT_EQ(service_.StopOperations(), 0u);

    // The same through calveroctl, for the other simulator.
    const auto set = test_support::Run({kCtl, "set-ip", "101", "192.168.7.70", "255.255.0.0"});
    EXPECT_EQ(set.code, 0) << set.err;
    EXPECT_EQ(set.out, "Success!\n");
    const auto listed = test_support::Run({kCtl, "discover", "--wait", "1"});
    EXPECT_EQ(Lines(listed.out),
              (std::vector<std::string>{
                  "Online   101         1.002.003     192.168.7.70    02:aa:bb:cc:dd:01",
                  "Online   102         1.000.000     10.9.8.7        02:aa:bb:cc:dd:02"}));
}

TEST_F(SimDiscovery, SetIpIsRefusedWhileBakingAndUnansweredForUnknownDevices) {
    ASSERT_EQ(service_.StopOperations(), 0u);
    const auto start = test_support::Run({kCtl, "start", "127.0.0.2"});
    ASSERT_EQ(start.code, 0) << start.out << start.err;

    const auto refused = test_support::Run({kCtl, "set-ip", "101", "10.1.1.1", "255.0.0.0"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.out, "Invalid device state to set IP address!\n");
    EXPECT_EQ(refused.err, "101 Received device error : <Unknown : 6>\n");

    const auto nobody = test_support::Run({kCtl, "set-ip", "999", "10.1.1.1", "255.0.0.0"});
    EXPECT_EQ(nobody.code, 1);
    EXPECT_EQ(nobody.out, "");
    EXPECT_NE(nobody.err.find("no reply"), std::string::npos) << nobody.err;

    // The refused simulator kept its address.
    ASSERT_EQ(service_.StartOperations(&sink_), 0u);
    sink_.Clear();
    ASSERT_EQ(service_.RefreshDevices(), 0u);
    EXPECT_TRUE(WaitForAddress(101, "127.0.0.2"));
}

TEST(CalveroctlDiscovery, ShowsRejectedDatagramsOnStandardError) {
    REQUIRE_PRIVATE_NETWORK();
    discotest::UdpPeer peer(discovery::PLIXOR_DEVICE_PORT);
    ASSERT_TRUE(peer.ok());
    Process discover;
    ASSERT_TRUE(discover.Start({kCtl, "discover", "--wait", "1"}));
    // Answer its status request with a datagram of the wrong version.
    ASSERT_TRUE(peer.Receive(3000ms));
    ASSERT_TRUE(peer.SendToHost(discotest::Header(0x5788, 7, 5, 24, 32, 0, 0)));
    EXPECT_EQ(discover.Wait(20000), 0);
    EXPECT_EQ(discover.Out(), "");
    EXPECT_EQ(discover.Err(), "Bad pkt version received!\n");
}

TEST(CalveroctlDiscovery, RejectsBadArguments) {
    // Refused before any socket is opened.
    const std::vector<std::vector<std::string>> cases = {
        {"set-ip"},
        {"set-ip", "101", "10.0.0.1"},
        {"set-ip", "x101", "10.0.0.1", "255.0.0.0"},
        {"set-ip", "4294967296", "10.0.0.1", "255.0.0.0"},
        {"set-ip", "101", "10.0.0.256", "255.0.0.0"},
        {"set-ip", "101", "10.0.0.1", "mask"},
        {"discover", "--wait"},
        {"discover", "--wait", "0"},
        {"discover", "--wait", "soon"},
        {"discover", "--verbose"},
    };
    for (const auto& args : cases) {
        std::vector<std::string> argv{kCtl};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto run = test_support::Run(argv);
        EXPECT_EQ(run.code, 1) << args.back();
        EXPECT_EQ(run.out, "") << args.back();
        EXPECT_FALSE(run.err.empty()) << args.back();
    }
}

TEST(SimDiscoveryOptions, ParseTheCommandLineForms) {
    uint64_t mac = 0;
    EXPECT_TRUE(sim::ParseMacAddress("02:aa:BB:cc:dd:01", &mac));
    EXPECT_EQ(mac, 0x02AABBCCDD01ull);
    for (const char* bad : {"02:aa:bb:cc:dd", "02:aa:bb:cc:dd:01:ff", "02-aa-bb-cc-dd-01", ""})
        EXPECT_FALSE(sim::ParseMacAddress(bad, &mac)) << bad;

    const struct {
        const char* text;
        bool ok;
        uint32_t version;
    } versions[] = {
        {"1.2.3", true, 1002003},
        {"0.0.0", true, 0},
        {"999.999.999", true, 999999999},
        {"4294967295", true, 0xFFFFFFFF},
        {"1000.0.0", false, 0},
        {"1.2", false, 0},
        {"1.2.3.4", false, 0},
        {"-1", false, 0},
        {"4294967296", false, 0},
    };
    for (const auto& c : versions) {
        uint32_t v = 12345;
        EXPECT_EQ(sim::ParseFirmwareVersion(c.text, &v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.version) << c.text;
        }
    }
}
