#include "sim/controller_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace bake;
using sim::ControllerModel;

namespace {

struct Reply {
    CONCC_Header header;
    std::vector<uint8_t> bytes;
};

Reply Ask(ControllerModel& m, const uint8_t* bytes, size_t n) {
    Reply r;
    r.bytes = m.HandleRequest(bytes, n);
    EXPECT_TRUE(DecodeHeader(r.bytes.data(), r.bytes.size(), r.header));
    return r;
}
template <size_t N>
Reply Ask(ControllerModel& m, const std::array<uint8_t, N>& a) {
    return Ask(m, a.data(), a.size());
}
Reply Ask(ControllerModel& m, const std::vector<uint8_t>& v) {
    return Ask(m, v.data(), v.size());
}

uint32_t Command(ControllerModel& m, uint32_t action, uint32_t seq = 1) {
    return Ask(m, EncodeStartStop(action, seq)).header.result;
}

std::vector<uint8_t> ProfilePacket(std::vector<CONCC_ProfilePoint> points) {
    CONCC_TempProfile p;
    p.header = {CONCC_PKT_SET_PROFILE, 0, 1};
    p.points = std::move(points);
    return EncodeTempProfile(p);
}

// Runs the model for `ms` simulated milliseconds and collects the bake results.
std::vector<CONCC_BakeResult> RunFor(ControllerModel& m, uint64_t ms) {
    std::vector<std::vector<uint8_t>> out;
    for (uint64_t t = 0; t < ms; t += 100) m.Advance(100, out);
    std::vector<CONCC_BakeResult> results;
    for (const auto& packet : out) {
        CONCC_BakeResult r;
        EXPECT_TRUE(DecodeBakeResult(packet.data(), packet.size(), r));
        EXPECT_EQ(CONCC_PKT_BAKE_RESULT, r.header.type);
        results.push_back(r);
    }
    return results;
}

}  // namespace

TEST(SimControllerModel, StartStopResults) {
    ControllerModel m;
    EXPECT_EQ(kResultNotBaking, Command(m, CONCC_ACT_ABORT));
    EXPECT_EQ(kResultSuccess, Command(m, CONCC_ACT_START));
    EXPECT_TRUE(m.IsBaking());
    EXPECT_EQ(kResultBusy, Command(m, CONCC_ACT_START));
    EXPECT_EQ(kResultSuccess, Command(m, CONCC_ACT_ABORT));
    EXPECT_FALSE(m.IsBaking());
    EXPECT_TRUE(RunFor(m, 1000).empty());  // an aborted bake reports nothing
    EXPECT_EQ(kResultSuccess, Command(m, CONCC_ACT_COOLDOWN));
    EXPECT_EQ(kResultBadParams, Command(m, 7));

    ControllerModel empty;
    empty.ClearProfile();
    EXPECT_EQ(kResultNoProfile, Command(empty, CONCC_ACT_START));
    EXPECT_FALSE(empty.IsBaking());

    ControllerModel hot;
    hot.SetPlateTemperature(120);
    EXPECT_EQ(kResultTooHot, Command(hot, CONCC_ACT_START));
    hot.SetPlateTemperature(49);
    EXPECT_EQ(kResultSuccess, Command(hot, CONCC_ACT_START));
}

TEST(SimControllerModel, RepliesEchoTypeAndSequence) {
    ControllerModel m;
    const std::vector<std::vector<uint8_t>> requests = {
        [] {
            auto a = EncodeStartStop(CONCC_ACT_ABORT, 0xABCDEF01);
            return std::vector<uint8_t>(a.begin(), a.end());
        }(),
        [] {
            auto a = EncodeRequest(CONCC_PKT_GET_PROFILE, 0xABCDEF01);
            return std::vector<uint8_t>(a.begin(), a.end());
        }(),
        [] {
            auto a = EncodeRequest(CONCC_PKT_GET_BAKE_OPTIONS, 0xABCDEF01);
            return std::vector<uint8_t>(a.begin(), a.end());
        }(),
        [] {
            auto a = EncodeRequest(77, 0xABCDEF01);
            return std::vector<uint8_t>(a.begin(), a.end());
        }(),
    };
    for (const auto& req : requests) {
        auto r = Ask(m, req);
        EXPECT_EQ(req[0], r.header.type);
        EXPECT_EQ(0xABCDEF01u, r.header.seqId);
    }
    EXPECT_EQ(kResultUnknownCommand, Ask(m, requests[3]).header.result);
    EXPECT_EQ(kResultBadParams,
              Ask(m, requests[0].data(), 15).header.result);       // start/stop without its action
    EXPECT_TRUE(m.HandleRequest(requests[0].data(), 11).empty());  // no header, nothing to answer
}

TEST(SimControllerModel, ProfileValidation) {
    struct Case {
        const char* name;
        std::vector<uint8_t> packet;
        uint32_t result;
    };
    auto overpromising = ProfilePacket({{0, 2500}, {1000, 3000}});
    overpromising[20] = 3;
    auto cut = ProfilePacket({});
    cut.resize(20);
    const Case cases[] = {
        {"two points", ProfilePacket({{0, 2500}, {1000, 3000}}), kResultSuccess},
        {"one point", ProfilePacket({{0, 2500}}), kResultInvalidProfile},
        {"32 points", ProfilePacket(std::vector<CONCC_ProfilePoint>(32)), kResultInvalidProfile},
        {"time not rising", ProfilePacket({{0, 2500}, {1000, 3000}, {1000, 3100}}),
         kResultInvalidProfile},
        {"too hot", ProfilePacket({{0, 2500}, {1000, 30001}}), kResultInvalidProfile},
        {"negative temperature", ProfilePacket({{0, 2500}, {1000, 0xFFFFFF9C}}),
         kResultInvalidProfile},
        {"count beyond length", overpromising, kResultInvalidProfile},
        {"no room for count", cut, kResultInvalidProfile},
    };
    for (const auto& c : cases) {
        ControllerModel m;
        const auto before = m.Profile().size();
        EXPECT_EQ(c.result, Ask(m, c.packet).header.result) << c.name;
        if (c.result != kResultSuccess) {
            EXPECT_EQ(before, m.Profile().size())
                << c.name;  // a refused upload keeps the old profile
        }
    }
}

TEST(SimControllerModel, ProfileRoundTripAndReport) {
    ControllerModel m;
    const std::vector<CONCC_ProfilePoint> points = {{0, 2500}, {20000, 6000}, {40000, 4000}};
    EXPECT_EQ(kResultSuccess, Ask(m, ProfilePacket(points)).header.result);

    auto idle = Ask(m, EncodeRequest(CONCC_PKT_GET_PROFILE, 4));
    CONCC_TempProfile report;
    ASSERT_TRUE(DecodeTempProfile(idle.bytes.data(), idle.bytes.size(), report));
    EXPECT_EQ(0u, report.startTime);  // no bake running
    ASSERT_EQ(3u, report.points.size());
    EXPECT_EQ(20000u, report.points[1].timeMs);
    EXPECT_EQ(6000u, report.points[1].tempCenti);

    RunFor(m, 5000);
    ASSERT_EQ(kResultSuccess, Command(m, CONCC_ACT_START));
    EXPECT_EQ(kResultBusy, Ask(m, ProfilePacket(points)).header.result);
    auto baking = Ask(m, EncodeRequest(CONCC_PKT_GET_PROFILE, 5));
    ASSERT_TRUE(DecodeTempProfile(baking.bytes.data(), baking.bytes.size(), report));
    EXPECT_EQ(5000u, report.startTime);

    ControllerModel empty;
    empty.ClearProfile();
    auto none = Ask(empty, EncodeRequest(CONCC_PKT_GET_PROFILE, 6));
    EXPECT_EQ(kResultNoProfile, none.header.result);
    EXPECT_EQ(kHeaderSize, none.bytes.size());
}

// The report's start time says whether a bake runs: once it is over, however
// it ended, the time of the last bake must not linger there.
TEST(SimControllerModel, ProfileReportAfterTheBakeCarriesNoStartTime) {
    struct Case {
        const char* what;
        void (*end)(ControllerModel&);
    } cases[] = {
        {"aborted",
         [](ControllerModel& m) { EXPECT_EQ(kResultSuccess, Command(m, CONCC_ACT_ABORT)); }},
        {"ended",
         [](ControllerModel& m) {
             const auto results = RunFor(m, m.Profile().back().timeMs + 1000);
             ASSERT_EQ(1u, results.size());
             EXPECT_EQ(kResultSuccess, results[0].bakeError);
         }},
        {"overheated",
         [](ControllerModel& m) {
             m.SetPlateTemperature(305);
             ASSERT_EQ(1u, RunFor(m, 200).size());
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ControllerModel m;
        RunFor(m, 3000);
        ASSERT_EQ(kResultSuccess, Command(m, CONCC_ACT_START));
        CONCC_TempProfile report;
        auto during = Ask(m, EncodeRequest(CONCC_PKT_GET_PROFILE, 7));
        ASSERT_TRUE(DecodeTempProfile(during.bytes.data(), during.bytes.size(), report));
        EXPECT_EQ(3000u, report.startTime);

        c.end(m);
        ASSERT_FALSE(m.IsBaking());
        auto after = Ask(m, EncodeRequest(CONCC_PKT_GET_PROFILE, 8));
        EXPECT_EQ(kResultSuccess, after.header.result);
        ASSERT_TRUE(DecodeTempProfile(after.bytes.data(), after.bytes.size(), report));
        EXPECT_EQ(0u, report.startTime);
        EXPECT_EQ(m.Profile().size(), report.points.size());
    }
}

TEST(SimControllerModel, BakeOptionsRoundTrip) {
    ControllerModel m;
    auto get = Ask(m, EncodeRequest(CONCC_PKT_GET_BAKE_OPTIONS, 3));
    ASSERT_EQ(kBakeOptionsSize, get.bytes.size());
    CONCC_BakeOptions o;
    ASSERT_TRUE(DecodeBakeOptions(get.bytes.data(), get.bytes.size(), o));
    EXPECT_GT(o.kp, 0u);

    o.options = CONCC_OPT_USE_SECONDARY_SENSOR;
    o.kp = CoefficientToWire(12.5);
    auto edited =
        EncodeBakeOptions({{CONCC_PKT_SET_BAKE_OPTIONS, 0, 4}, o.options, o.kp, o.ki, o.kd});
    EXPECT_EQ(kResultSuccess, Ask(m, edited).header.result);
    EXPECT_EQ(CONCC_OPT_USE_SECONDARY_SENSOR, m.Options().options);
    EXPECT_DOUBLE_EQ(12.5, CoefficientFromWire(m.Options().kp));

    EXPECT_EQ(kResultBadParams, Ask(m, edited.data(), 27).header.result);
    Command(m, CONCC_ACT_START);
    EXPECT_EQ(kResultBusy, Ask(m, edited).header.result);
}

TEST(SimControllerModel, BakeFollowsTheProfileAndReportsItsEnd) {
    ControllerModel m;
    ASSERT_EQ(kResultSuccess, Command(m, CONCC_ACT_START));
    const uint64_t length = m.Profile().back().timeMs;
    double worst = 0;
    std::vector<CONCC_BakeResult> results;
    for (uint64_t t = 0; t <= length + 1000; t += 500) {
        auto r = RunFor(m, 500);
        results.insert(results.end(), r.begin(), r.end());
        if (m.IsBaking()) {
            auto g = m.Gauge();
            EXPECT_EQ(CONCC_DEV_BAKING, g.devState);
            worst = std::max(worst, std::fabs(g.setupTemp / 100.0 - g.tempMain / 100.0));
        }
    }
    EXPECT_LT(worst, 10.0);  // the regulation really follows the profile
    ASSERT_EQ(1u, results.size());
    EXPECT_EQ(kResultSuccess, results[0].bakeError);
    EXPECT_EQ(length / 1000, results[0].bakeTime);  // seconds

    // Afterwards: idle, no set point, the fan cools until the plate is below 50.
    auto g = m.Gauge();
    EXPECT_EQ(CONCC_DEV_IDLE, g.devState);
    EXPECT_EQ(-1, g.setupTemp);
    EXPECT_EQ(100, g.fanPercent);
    EXPECT_EQ(0, g.heaterPercent);
    RunFor(m, 300000);
    g = m.Gauge();
    EXPECT_LT(g.tempMain, 5000);
    EXPECT_EQ(0, g.fanPercent);
}

TEST(SimControllerModel, OverheatEndsTheBakeWithItsCode) {
    ControllerModel m;
    ASSERT_EQ(kResultSuccess, Command(m, CONCC_ACT_START));
    RunFor(m, 2000);
    m.SetPlateTemperature(305);
    auto results = RunFor(m, 200);
    ASSERT_EQ(1u, results.size());
    EXPECT_EQ(kResultOverheat, results[0].bakeError);
    EXPECT_FALSE(m.IsBaking());
}

// A broken heater leaves the controller commanding heat that never comes:
// the plate follows the profile until the fault, then falls behind it.
TEST(SimControllerModel, FailedHeaterLeavesThePlateBehindTheProfile) {
    ControllerModel m;
    m.SetHeaterFault(30000);
    ASSERT_EQ(kResultSuccess, Command(m, CONCC_ACT_START));
    RunFor(m, 29000);
    auto g = m.Gauge();
    EXPECT_LT(std::fabs(g.setupTemp - g.tempMain) / 100.0, 10.0) << "working before the fault";
    const double atFault = m.PlateTemperature();
    RunFor(m, 30000);
    g = m.Gauge();
    EXPECT_LT(m.PlateTemperature(), atFault) << "no power: the plate only cools";
    EXPECT_GT((g.setupTemp - g.tempMain) / 100.0, 10.0) << "far below the set point";
    EXPECT_GT(g.heaterPercent, 50) << "the controller still asks for heat";
    EXPECT_TRUE(m.IsBaking());

    // The fault counts from each bake's start: a fresh model without it heats.
    ControllerModel healthy;
    ASSERT_EQ(kResultSuccess, Command(healthy, CONCC_ACT_START));
    RunFor(healthy, 59000);
    EXPECT_LT(std::fabs(healthy.Gauge().setupTemp - healthy.Gauge().tempMain) / 100.0, 10.0);
}

TEST(SimControllerModel, GaugePacketWhileIdle) {
    ControllerModel m;
    RunFor(m, 1000);
    auto raw = m.GaugePacket();
    CONCC_GaugeData g;
    ASSERT_TRUE(DecodeGaugeData(raw.data(), raw.size(), g));
    EXPECT_EQ(CONCC_PKT_GAUGE_DATA, g.header.type);
    EXPECT_EQ(1000u, g.timestamp);
    EXPECT_EQ(CONCC_DEV_IDLE, g.devState);
    EXPECT_EQ(-1, g.setupTemp);
    EXPECT_NEAR(2500, g.tempMain, 5);
    EXPECT_TRUE(TempHasValue(g.temp1) && TempHasValue(g.temp2) && TempHasValue(g.temp3) &&
                TempHasValue(g.boardTemp));
    EXPECT_EQ(0u, g.fanRpm);
}

TEST(SimControllerModel, AutostartStartsOnceAfterTheFirstClient) {
    struct Case {
        const char* what;
        double plate;
        bool profile;
        bool baking;
        const char* note;
    };
    const Case cases[] = {
        {"cool plate with a profile", 25.0, true, true, "autostart: bake started"},
        {"hot plate", 120.0, true, false, "autostart refused: Too hot to start baking!"},
        {"no profile", 25.0, false, false, "autostart refused: No temperature profile loaded!"},
    };
    for (const Case& c : cases) {
        ControllerModel m;
        m.SetPlateTemperature(c.plate);
        if (!c.profile)
            m.ClearProfile();
        std::vector<std::string> notes;
        m.SetNoteSink([&notes](const std::string& line) { notes.push_back(line); });
        m.SetAutostart(2000);
        RunFor(m, 3000);  // no client yet: nothing is armed
        EXPECT_FALSE(m.IsBaking()) << c.what;
        m.OnClientReady();
        RunFor(m, 1900);
        EXPECT_FALSE(m.IsBaking()) << c.what;
        RunFor(m, 200);
        EXPECT_EQ(c.baking, m.IsBaking()) << c.what;
        ASSERT_EQ(1u, notes.size()) << c.what;
        EXPECT_EQ(c.note, notes[0]) << c.what;
    }

    // A later client does not press the key again.
    ControllerModel m;
    m.SetAutostart(0);
    m.OnClientReady();
    EXPECT_TRUE(m.IsBaking());
    EXPECT_EQ(0u, Command(m, CONCC_ACT_ABORT));
    m.OnClientReady();
    RunFor(m, 1000);
    EXPECT_FALSE(m.IsBaking());
}
