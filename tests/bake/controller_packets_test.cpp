#include "bake/controller_packets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace bake;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> v;
    for (int b : list) v.push_back(static_cast<uint8_t>(b));
    return v;
}

void PutU32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

}  // namespace

TEST(ResultCodeText, CoversTheTableAndFallsBackForOtherCodes) {
    const std::vector<std::string> expected = {
        "Success!",
        "General failure!",
        "Unknown command!",
        "Bad params!",
        "Not in baking process!",
        "Bussy!",
        "Fan failure!",
        "Heater failure!",
        "Temperature sensors failure!",
        "Temperature sensors difference failure!",
        "Overheat!",
        "Too hot to start baking!",
        "No temperature profile loaded!",
        "Invalid temperature profile packet!",
    };
    for (uint32_t code = 0; code < expected.size(); ++code)
        EXPECT_EQ(expected[code], ResultCodeText(code)) << code;
    for (uint32_t code : {14u, 15u, 255u, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_STREQ("Unknown error", ResultCodeText(code)) << code;
}

TEST(ControllerPacketEncoding, CommandsHaveTheirExactByteLayout) {
    auto start = EncodeStartStop(CONCC_ACT_COOLDOWN, 0x01020304);
    EXPECT_EQ(Bytes({16, 0, 0, 0, 0, 0, 0, 0, 4, 3, 2, 1, 3, 0, 0, 0}),
              std::vector<uint8_t>(start.begin(), start.end()));

    auto request = EncodeRequest(CONCC_PKT_GET_BAKE_OPTIONS, 0xFFFFFFFF);
    EXPECT_EQ(Bytes({49, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}),
              std::vector<uint8_t>(request.begin(), request.end()));
}

TEST(ControllerPacketEncoding, ProfileUploadSizesAndLayout) {
    std::vector<CONCC_ProfilePoint> points = {{1000, 2500}, {0xFFFFF448u, 0x01020304}};
    auto two = EncodeProfileUpload(points, 7);
    ASSERT_EQ(40u, two.size());
    EXPECT_EQ(Bytes({32,   0,    0,    0,    0,    0,    0, 0, 7, 0, 0, 0,  // header
                     0,    0,    0,    0,    0,    0,    0, 0,              // startTime 0
                     2,    0,    0,    0,                                   // count
                     0xE8, 0x03, 0,    0,    0xC4, 0x09, 0, 0,              // 1000 ms, 25.00
                     0x48, 0xF4, 0xFF, 0xFF, 4,    3,    2, 1}),
              two);

    std::vector<CONCC_ProfilePoint> many(CONCC_MAX_PROFILE_POINTS);
    EXPECT_EQ(kProfileRecordSize, EncodeProfileUpload(many, 1).size());
    EXPECT_EQ(272u, kProfileRecordSize);
    many.push_back({});
    EXPECT_TRUE(EncodeProfileUpload(many, 1).empty());
}

TEST(ControllerPacketEncoding, PrepareSetBakeOptionsRewritesOnlyTheHeader) {
    CONCC_BakeOptions reply;
    reply.header = {CONCC_PKT_GET_BAKE_OPTIONS, 0, 9};
    reply.options = 0xFFFFFFFF;
    reply.kp = 98304;
    reply.ki = 6553;
    reply.kd = 1;
    auto buffer = EncodeBakeOptions(reply);
    PrepareSetBakeOptions(buffer.data(), 42);

    CONCC_BakeOptions sent;
    ASSERT_TRUE(DecodeBakeOptions(buffer.data(), buffer.size(), sent));
    EXPECT_EQ(CONCC_PKT_SET_BAKE_OPTIONS, sent.header.type);
    EXPECT_EQ(0u, sent.header.result);
    EXPECT_EQ(42u, sent.header.seqId);
    EXPECT_EQ(0xFFFFFFFFu, sent.options);
    EXPECT_EQ(98304u, sent.kp);
    EXPECT_EQ(6553u, sent.ki);
    EXPECT_EQ(1u, sent.kd);
}

TEST(ControllerPacketDecoding, GaugeDataFieldsAtTheirOffsets) {
    std::vector<uint8_t> raw(66, 0xEE);  // filler in the uninterpreted bytes
    PutU32(raw, 0, 2);
    PutU32(raw, 4, 0);
    PutU32(raw, 8, 0);
    PutU32(raw, 12, 0x89ABCDEF);
    PutU32(raw, 16, 0x01234567);
    PutU32(raw, 28, 2);
    raw[36] = 55;
    raw[37] = 100;
    PutU32(raw, 38, 24550);
    PutU32(raw, 42, 0xFFFFFFFD);
    PutU32(raw, 46, 0xFFFFFFFF);  // -1: no value
    PutU32(raw, 50, 1);
    PutU32(raw, 54, 0x7FFFFFFF);
    PutU32(raw, 58, 0x80000000);
    PutU32(raw, 62, 3012);

    CONCC_GaugeData g;
    ASSERT_TRUE(DecodeGaugeData(raw.data(), raw.size(), g));
    EXPECT_EQ(0x0123456789ABCDEFull, g.timestamp);
    EXPECT_EQ(CONCC_DEV_BAKING, g.devState);
    EXPECT_EQ(55, g.fanPercent);
    EXPECT_EQ(100, g.heaterPercent);
    EXPECT_EQ(24550, g.setupTemp);
    EXPECT_EQ(0xFFFFFFFDu, g.fanRpm);
    EXPECT_TRUE(FanRpmHasValue(g.fanRpm));
    EXPECT_EQ(-1, g.tempMain);
    EXPECT_FALSE(TempHasValue(g.tempMain));
    EXPECT_EQ(1, g.temp1);
    EXPECT_EQ(0x7FFFFFFF, g.temp2);
    EXPECT_EQ(std::numeric_limits<int32_t>::min(), g.temp3);
    EXPECT_EQ(3012, g.boardTemp);
    EXPECT_DOUBLE_EQ(30.12, TempDegrees(g.boardTemp));

    // Encoding what was decoded reproduces every interpreted byte.
    auto again = EncodeGaugeData(g);
    for (size_t i = 0; i < raw.size(); ++i) {
        const bool uninterpreted = (i >= 20 && i < 28) || (i >= 32 && i < 36);
        if (!uninterpreted) {
            EXPECT_EQ(raw[i], again[i]) << "offset " << i;
        }
    }
}

TEST(ControllerPacketDecoding, FanRpmNoValueMarkers) {
    EXPECT_FALSE(FanRpmHasValue(0xFFFFFFFF));
    EXPECT_FALSE(FanRpmHasValue(0xFFFFFFFE));
    EXPECT_TRUE(FanRpmHasValue(0xFFFFFFFD));
    EXPECT_TRUE(FanRpmHasValue(0));
}

TEST(ControllerPacketDecoding, RefusesLengthsTooShortForTheFields) {
    std::vector<uint8_t> big(300, 0);
    CONCC_Header h;
    CONCC_GaugeData g;
    CONCC_StartStop s;
    CONCC_BakeResult r;
    CONCC_TempProfile p;
    CONCC_BakeOptions o;
    EXPECT_FALSE(DecodeHeader(big.data(), 11, h));
    EXPECT_TRUE(DecodeHeader(big.data(), 12, h));
    EXPECT_FALSE(DecodeGaugeData(big.data(), 65, g));
    EXPECT_FALSE(DecodeGaugeData(big.data(), 67, g));
    EXPECT_FALSE(DecodeStartStop(big.data(), 15, s));
    EXPECT_TRUE(DecodeStartStop(big.data(), 16, s));
    EXPECT_FALSE(DecodeBakeResult(big.data(), 19, r));
    EXPECT_TRUE(DecodeBakeResult(big.data(), 20, r));
    EXPECT_FALSE(DecodeTempProfile(big.data(), 23, p));
    EXPECT_TRUE(DecodeTempProfile(big.data(), 24, p));  // count 0
    EXPECT_FALSE(DecodeBakeOptions(big.data(), 27, o));
    EXPECT_TRUE(DecodeBakeOptions(big.data(), 28, o));
    EXPECT_FALSE(DecodeHeader(nullptr, 12, h));
}

TEST(ControllerPacketDecoding, ProfileCountMustFitTheLength) {
    struct Case {
        uint32_t count;
        size_t length;
        bool ok;
    };
    const Case cases[] = {
        {2, 40, true},           {2, 39, false},          {3, 40, false}, {0, 24, true},
        {0, 30, true},           {1, 39, true},  // trailing bytes beyond the points are ignored
        {0xFFFFFFFF, 40, false}, {0x20000000, 40, false},  // 8 x count would wrap 32 bits
    };
    for (const auto& c : cases) {
        CONCC_TempProfile src;
        src.header = {CONCC_PKT_GET_PROFILE, 0, 0};
        std::vector<uint8_t> raw = EncodeTempProfile(src);
        raw.resize(c.length, 0);
        PutU32(raw, 20, c.count);
        CONCC_TempProfile out;
        EXPECT_EQ(c.ok, DecodeTempProfile(raw.data(), raw.size(), out))
            << c.count << " in " << c.length;
        if (c.ok) {
            EXPECT_EQ(c.count, out.points.size());
        }
    }
}

TEST(ControllerPacketDecoding, ProfileReportRoundTrip) {
    CONCC_TempProfile src;
    src.header = {CONCC_PKT_GET_PROFILE, 0, 5};
    src.startTime = 0x1122334455667788ull;
    src.points = {{0, 2500}, {90000, 15000}, {0xFFFFFFFF, 0x80000000}};
    auto raw = EncodeTempProfile(src);
    ASSERT_EQ(24u + 3 * 8, raw.size());
    CONCC_TempProfile out;
    ASSERT_TRUE(DecodeTempProfile(raw.data(), raw.size(), out));
    EXPECT_EQ(src.startTime, out.startTime);
    ASSERT_EQ(3u, out.points.size());
    EXPECT_EQ(90000u, out.points[1].timeMs);
    EXPECT_EQ(15000u, out.points[1].tempCenti);
    EXPECT_EQ(0xFFFFFFFFu, out.points[2].timeMs);
    EXPECT_EQ(0x80000000u, out.points[2].tempCenti);
}

TEST(ControllerPacketDecoding, BakeResultRoundTrip) {
    auto raw = EncodeBakeResult({{CONCC_PKT_BAKE_RESULT, 0, 0}, 0xDEADBEEF, kResultOverheat});
    CONCC_BakeResult r;
    ASSERT_TRUE(DecodeBakeResult(raw.data(), raw.size(), r));
    EXPECT_EQ(0xDEADBEEFu, r.bakeTime);
    EXPECT_EQ(kResultOverheat, r.bakeError);
}

TEST(WireConversions, TruncateTowardZeroKeepingLow32Bits) {
    struct Case {
        double value;
        uint32_t wire;
    };
    const Case cases[] = {
        {1999.9, 1999},    {-3000.0, 4294964296u},
        {-0.9, 0},         {4294967296.0 + 5.0, 5},  // high bits dropped
        {std::nan(""), 0}, {1e300, 0},
        {-1e300, 0},       {std::numeric_limits<double>::infinity(), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.wire, TruncateToWire(c.value)) << c.value;
}

TEST(WireConversions, ChartPointsAndCoefficients) {
    EXPECT_EQ(1999u, ProfilePointFromChart(1.9999, 0).timeMs);
    EXPECT_EQ(24999u, ProfilePointFromChart(0, 249.999).tempCenti);
    EXPECT_EQ(4294964296u, ProfilePointFromChart(-3.0, 0).timeMs);

    EXPECT_DOUBLE_EQ(1.5, CoefficientFromWire(98304));
    EXPECT_EQ(98304u, CoefficientToWire(1.5));
    EXPECT_EQ(6553u, CoefficientToWire(0.1));
    EXPECT_EQ(static_cast<uint32_t>(-65536), CoefficientToWire(-1.0));
    EXPECT_EQ(0u, CoefficientToWire(65536.0));  // loses its high bits
    EXPECT_DOUBLE_EQ(65535.0 + 65535.0 / 65536.0,
                     CoefficientFromWire(0xFFFFFFFF));  // read as unsigned
}

TEST(SequenceId, NextSkipsZeroOnTheWrap) {
    EXPECT_EQ(2u, NextSequenceId(1));
    EXPECT_EQ(1u, NextSequenceId(0xFFFFFFFF));
    EXPECT_EQ(0xFFFFFFFFu, NextSequenceId(0xFFFFFFFE));
}
