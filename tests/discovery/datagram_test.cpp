#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "discovery/discovery_datagram.h"
#include "discovery/discovery_result.h"
#include "discovery/socket_error_text.h"
#include "discovery_test_support.h"

using discotest::Event;
using discotest::Header;
using discotest::RecordingSink;

namespace {

struct Logged {
    std::string source;
    std::string text;
    bool operator==(const Logged&) const = default;
};

// Runs one datagram through validation and dispatch.
struct Dispatched {
    bool accepted;
    std::vector<Logged> logs;
    std::vector<Event> events;
};

Dispatched Dispatch(const std::vector<uint8_t>& bytes) {
    RecordingSink sink;
    std::vector<Logged> logs;
    const bool accepted = discovery::DispatchPacket(
        bytes.data(), bytes.size(), sink, [&](const char* source, const std::string& text) {
            logs.push_back({source, text});
        });
    return {accepted, logs, sink.Events()};
}

std::vector<uint8_t> StatusDatagram(uint32_t type, uint32_t deviceId) {
    auto bytes = Header(0x5788, 2, deviceId, 54, type, 9, 0);
    const uint8_t payload[30] = {
        0x01, 0x00, 0x00, 0x00,              // statusWord0
        0x13, 0x4A, 0x0F, 0x00,              // firmware 1002003
        0x02, 0x00, 0x00, 0x00,              // statusWord2
        0x03, 0x00, 0x00, 0x00,              // statusWord3
        0x04, 0x00, 0x00, 0x80,              // statusWord4
        0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E,  // MAC
        0xC0, 0xA8, 0x01, 0x0A,              // 192.168.1.10
    };
    bytes.insert(bytes.end(), payload, payload + sizeof payload);
    return bytes;
}

std::vector<uint8_t> Resized(std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

}  // namespace

TEST(DiscoveryTexts, ResultTexts) {
    EXPECT_STREQ(discovery::DiscoveryResultText(0), "Success!");
    EXPECT_STREQ(discovery::DiscoveryResultText(4), "General network error!");
    EXPECT_STREQ(discovery::DiscoveryResultText(9),
                 "Someone else changed the config during editing! Update the data from the server "
                 "and try again.");
    EXPECT_STREQ(discovery::DiscoveryResultText(10), "Unable to allocate system resourcess!");
    EXPECT_STREQ(discovery::DiscoveryResultText(16), "Invalid device state to set IP address!");
    EXPECT_STREQ(discovery::DiscoveryResultText(17), "<UNKNOWN_ERROR>");
    EXPECT_STREQ(discovery::DiscoveryResultText(0xFFFFFFFF), "<UNKNOWN_ERROR>");
    EXPECT_STREQ(discovery::DiscoveryResultText(static_cast<uint32_t>(-3)), "<UNKNOWN_ERROR>");
}

TEST(DiscoveryTexts, FirmwareVersionAndDeviceLabel) {
    const struct {
        uint32_t version;
        const char* text;
    } versions[] = {
        {1002003, "1.002.003"},       {0, "0.000.000"},           {0xFFFFFFFF, "Invalid flash"},
        {4294967294u, "294.967.294"}, {999999999, "999.999.999"}, {1000000000, "0.000.000"},
    };
    for (const auto& c : versions)
        EXPECT_EQ(discovery::FirmwareVersionText(c.version), c.text) << c.version;

    EXPECT_EQ(discovery::DeviceLabel(0xFFFFFFFF), "<not set>");
    EXPECT_EQ(discovery::DeviceLabel(0), "<invalid>");
    EXPECT_EQ(discovery::DeviceLabel(4294967294u), "4294967294");
    EXPECT_EQ(discovery::DeviceLabel(17), "17");
}

TEST(DiscoveryTexts, SocketErrorTexts) {
    EXPECT_EQ(discovery::SocketErrorText(6),
              "WSA_INVALID_HANDLE - Specified event object handle is invalid!");
    EXPECT_EQ(discovery::SocketErrorText(10040), "WSAEMSGSIZE - Message too long!");
    EXPECT_EQ(discovery::SocketErrorText(10051), "WSAENETUNREACH - Network is unreachable!");
    EXPECT_EQ(discovery::SocketErrorText(11004),
              "WSANO_DATA - Valid name, no data record of requested type!");
    EXPECT_EQ(discovery::SocketErrorText(10059), "Unknown WSA error : 10059!");
    EXPECT_EQ(discovery::SocketErrorText(0xFFFFFFFF), "Unknown WSA error : 4294967295!");
}

TEST(DiscoveryTexts, DeviceErrorsMapToResultCodes) {
    const struct {
        uint32_t deviceError, setResult, configResult;
    } cases[] = {
        {0, 0, 0},  {1, 4, 4},  {2, 14, 4}, {3, 13, 4},         {4, 11, 11},
        {5, 12, 4}, {6, 16, 4}, {7, 1, 4},  {0xFFFFFFFF, 1, 4},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(discovery::SetReplyResult(c.deviceError), c.setResult) << c.deviceError;
        EXPECT_EQ(discovery::ConfigReplyResult(c.deviceError), c.configResult) << c.deviceError;
    }
}

TEST(DiscoveryDatagram, RequestsAreEncodedByteForByte) {
    EXPECT_EQ(discovery::EncodeStatusRequest(0, 0),
              (std::vector<uint8_t>{0x88, 0x57, 0x02, 0x00, 0, 0, 0, 0, 24, 0, 0, 0,
                                    16,   0,    0,    0,    0, 0, 0, 0, 0,  0, 0, 0}));
    discovery::DeviceIpConfig request;
    request.deviceId = 0x01020304;
    request.requestId = 2;
    request.ipAddress = discotest::Address("10.1.2.3");
    request.netMask = discotest::Address("255.255.254.0");
    EXPECT_EQ(discovery::EncodeSetIPRequest(request),
              (std::vector<uint8_t>{0x88, 0x57, 0x02, 0x00, 0x04, 0x03, 0x02, 0x01, 32,  0, 0,
                                    0,    80,   0,    0,    0,    2,    0,    0,    0,   0, 0,
                                    0,    0,    10,   1,    2,    3,    255,  255,  254, 0}));
}

TEST(DiscoveryDatagram, StatusReportsAreDecodedWithTheSendersDeviceId) {
    for (uint32_t type : {32u, 33u}) {
        const Dispatched d = Dispatch(StatusDatagram(type, 0x00ABCDEF));
        EXPECT_TRUE(d.accepted);
        EXPECT_TRUE(d.logs.empty());
        ASSERT_EQ(d.events.size(), 1u) << type;
        const discovery::DeviceStatus& s = d.events[0].status;
        EXPECT_EQ(s.deviceId, 0x00ABCDEFu);
        EXPECT_EQ(s.requestId, 0u);
        EXPECT_EQ(s.action, 0u);
        EXPECT_EQ(s.statusWord0, 1u);
        EXPECT_EQ(s.firmwareVersion, 1002003u);
        EXPECT_EQ(s.statusWord2, 2u);
        EXPECT_EQ(s.statusWord3, 3u);
        EXPECT_EQ(s.statusWord4, 0x80000004u);
        EXPECT_EQ(s.macAddress, 0x001A2B3C4D5Eull);
        EXPECT_EQ(s.macAddress, 112394521950ull);
        EXPECT_EQ(discotest::AddressText(s.ipAddress), "192.168.1.10");
    }
}

TEST(DiscoveryDatagram, StatusEncodingRoundTripsAndEqualityIgnoresTheBaseFields) {
    discovery::DeviceStatus status;
    status.deviceId = 77;
    status.statusWord0 = 1;
    status.firmwareVersion = 2003004;
    status.statusWord2 = 1;
    status.statusWord3 = 1;
    status.statusWord4 = 9;
    status.macAddress = 0x0200DEADBEEF;
    status.ipAddress = discotest::Address("127.0.0.2");
    const Dispatched d = Dispatch(discovery::EncodeDevStatus(status, 5));
    ASSERT_EQ(d.events.size(), 1u);
    EXPECT_TRUE(d.events[0].status == status);
    EXPECT_EQ(d.events[0].status.deviceId, 77u);

    discovery::DeviceStatus other = status;
    other.deviceId = 78;
    other.requestId = 3;
    other.action = discovery::PSM_ACTION_READ;
    EXPECT_TRUE(other == status);
    other.statusWord4 = 10;
    EXPECT_FALSE(other == status);
}

TEST(DiscoveryDatagram, RepliesCarryTheMappedResultAndLogDeviceErrors) {
    const std::string dev = "1234 Received device error : ";
    const struct {
        uint32_t type, deviceError;
        Event::Kind kind;
        uint32_t result;
        std::string log;  // empty: no log line
    } cases[] = {
        {80, 0, Event::SetIp, 0, ""},
        {80, 1, Event::SetIp, 4, dev + "PLIXOR_ERR_PROTO"},
        {80, 2, Event::SetIp, 14, dev + "PLIXOR_ERR_PROTO_VER"},
        {80, 3, Event::SetIp, 13, dev + "PLIXOR_ERR_UNKNOWN_CMD"},
        {80, 4, Event::SetIp, 11, dev + "PLIXOR_ERR_HW"},
        {80, 5, Event::SetIp, 12, dev + "PLIXOR_ERR_ID_ALR_SET"},
        {80, 6, Event::SetIp, 16, dev + "<Unknown : 6>"},
        {80, 0xFFFFFFFF, Event::SetIp, 1, dev + "<Unknown : -1>"},
        {24, 0, Event::SetId, 0, ""},
        {24, 5, Event::SetId, 12, dev + "PLIXOR_ERR_ID_ALR_SET"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " error " << c.deviceError);
        const Dispatched d = Dispatch(Header(0x5788, 2, 1234, 24, c.type, 41, c.deviceError));
        EXPECT_TRUE(d.accepted);
        if (c.log.empty()) {
            EXPECT_TRUE(d.logs.empty());
        } else {
            EXPECT_EQ(d.logs, (std::vector<Logged>{{"DumpPLIXOR_ERR", c.log}}));
        }
        ASSERT_EQ(d.events.size(), 1u);
        EXPECT_EQ(d.events[0].kind, c.kind);
        EXPECT_EQ(d.events[0].requestId, 41u);
        EXPECT_EQ(d.events[0].result, c.result);
    }
    // A controller without an ID is named as such in the line.
    const Dispatched unset = Dispatch(Header(0x5788, 2, 0xFFFFFFFF, 24, 80, 1, 4));
    EXPECT_EQ(unset.logs[0].text, "<not set> Received device error : PLIXOR_ERR_HW");
}

TEST(DiscoveryDatagram, ConfigurationRepliesAreDecodedOnlyWithoutDeviceError) {
    auto bytes = Header(0x5788, 2, 55, 52, 66, 8, 0);
    const uint8_t payload[28] = {0x11, 0,    0,    0,    0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                                 0xEE, 0xEE, 0x33, 0,    0,    0,    1,    2,    3,    4,
                                 5,    6,    0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    bytes.insert(bytes.end(), payload, payload + sizeof payload);
    Dispatched ok = Dispatch(bytes);
    ASSERT_EQ(ok.events.size(), 1u);
    EXPECT_TRUE(ok.logs.empty());
    EXPECT_EQ(ok.events[0].result, 0u);
    const discovery::DeviceConfig& c = ok.events[0].config;
    EXPECT_EQ(c.requestId, 8u);
    EXPECT_EQ(c.deviceId, 55u);
    EXPECT_EQ(c.configWord0, 0x11u);
    EXPECT_EQ(c.configWord3, 0x33u);
    EXPECT_EQ(c.macAddress, 0x010203040506ull);
    EXPECT_EQ(c.value48, 0xA1A2A3A4A5A6ull);

    bytes[20] = 4;  // device error: hardware
    Dispatched failed = Dispatch(bytes);
    EXPECT_EQ(
        failed.logs,
        (std::vector<Logged>{{"DumpPLIXOR_ERR", "55 Received device error : PLIXOR_ERR_HW"}}));
    ASSERT_EQ(failed.events.size(), 1u);
    EXPECT_EQ(failed.events[0].result, 11u);
    EXPECT_EQ(failed.events[0].config.requestId, 8u);
    EXPECT_EQ(failed.events[0].config.configWord0, 0u);
    EXPECT_EQ(failed.events[0].config.macAddress, 0u);
    EXPECT_EQ(failed.events[0].config.value48, 0u);

    // A failed reply need not carry the payload it does not use.
    Dispatched bare = Dispatch(Header(0x5788, 2, 55, 24, 66, 8, 3));
    ASSERT_EQ(bare.events.size(), 1u);
    EXPECT_EQ(bare.events[0].result, 4u);
}

TEST(DiscoveryDatagram, ValidationRejectsInOrderWithOneLineEach) {
    auto truncated = StatusDatagram(32, 1);
    truncated.resize(23);
    auto longerThanSaid = StatusDatagram(32, 1);
    platform::WriteLe32(&longerThanSaid[8], 60);
    platform::WriteLe16(&longerThanSaid[0], 0x1234);  // the length is checked before the flag
    // A whole status with bytes trailing beyond what its length field says.
    auto trailing = StatusDatagram(32, 1);
    const size_t said = trailing.size();
    trailing.resize(said + 4, 0xEE);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* log;
    } cases[] = {
        {"empty", {}, "Bad pkt size received!"},
        {"23 bytes", truncated, "Bad pkt size received!"},
        {"length field 60 for 54 bytes", longerThanSaid, "Inconsistent pkt size received!"},
        {"length field 54 for 58 bytes", trailing, "Inconsistent pkt size received!"},
        {"swapped start flag", Header(0x8857, 2, 1, 24, 16, 0, 0), "Bad pkt start flag received!"},
        {"version 3", Header(0x5788, 3, 1, 24, 16, 0, 0), "Bad pkt version received!"},
        {"version 1 with a bad flag", Header(0x5789, 1, 1, 24, 16, 0, 0),
         "Bad pkt start flag received!"},
        {"type 0x51", Header(0x5788, 2, 1, 24, 0x51, 0, 0), "Received unknown packet type : 0x51!"},
        {"type 0", Header(0x5788, 2, 1, 24, 0, 0, 0), "Received unknown packet type : 0x0!"},
        {"type 0xFFFFFFFF", Header(0x5788, 2, 1, 24, 0xFFFFFFFF, 0, 0),
         "Received unknown packet type : 0xffffffff!"},
        // A status without its payload is dropped rather than decoded from nothing.
        {"status without payload", Header(0x5788, 2, 1, 24, 32, 0, 0), "Bad pkt size received!"},
        {"config without payload", Resized(Header(0x5788, 2, 1, 40, 66, 0, 0), 40),
         "Bad pkt size received!"},
    };
    for (const auto& c : cases) {
        const Dispatched d = Dispatch(c.bytes);
        EXPECT_FALSE(d.accepted) << c.what;
        EXPECT_EQ(d.logs, (std::vector<Logged>{{"CProgServiceMgr::DispatchPacket", c.log}}))
            << c.what;
        EXPECT_TRUE(d.events.empty()) << c.what;
    }
}

TEST(DiscoveryDatagram, TypesTheHostDoesNotHandleAreIgnoredSilently) {
    for (uint32_t type : {1u, 2u, 16u, 48u, 49u, 64u, 65u}) {
        const Dispatched d = Dispatch(Header(0x5788, 2, 1, 24, type, 0, 0));
        EXPECT_TRUE(d.accepted) << type;
        EXPECT_TRUE(d.logs.empty()) << type;
        EXPECT_TRUE(d.events.empty()) << type;
    }
}
