// Choosing the chart to upload and building the profile packet.
#include "bake/profile_upload.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "platform/byte_order.h"

using namespace bake;

namespace {

std::vector<ProfileSample> Ramp(size_t n) {
    std::vector<ProfileSample> out;
    for (size_t i = 0; i < n; ++i) out.push_back({10.0 * double(i), 25.0 + double(i)});
    return out;
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t offset) {
    return platform::ReadLe32(b.data() + offset);
}

}  // namespace

TEST(ChooseProfileChart, PicksTheOnlyChartOrTheOneSelected) {
    struct Case {
        const char* what;
        std::set<int> ids, selected;
        int id;
        const wchar_t* problem;
    };
    const Case cases[] = {
        {"no charts", {}, {}, -1, kNoChartsText},
        {"one chart, unselected (even hidden)", {4}, {}, 4, nullptr},
        {"one chart, selected", {4}, {4}, 4, nullptr},
        {"three charts, one selected", {0, 1, 2}, {1}, 1, nullptr},
        {"three charts, two selected", {0, 1, 2}, {0, 2}, -1, kSelectOneChartText},
        {"three charts, none selected", {0, 1, 2}, {}, -1, kSelectOneChartText},
    };
    for (const Case& c : cases) {
        const ProfileChartChoice got = ChooseProfileChart(c.ids, c.selected);
        EXPECT_EQ(c.id, got.id) << c.what;
        if (c.problem) {
            EXPECT_STREQ(c.problem, got.problem) << c.what;
        } else {
            EXPECT_EQ(nullptr, got.problem) << c.what;
        }
    }
    EXPECT_STREQ(L"No charts! Open a window with charts and select one to upload as bake profile!",
                 kNoChartsText);
    EXPECT_STREQ(L"Select one chart to upload!", kSelectOneChartText);
}

TEST(BuildProfileUpload, PointLimitsAndPacketSizes) {
    struct Case {
        bool hasChart;
        size_t points;
        size_t bytes;
        const wchar_t* problem;
    };
    const Case cases[] = {
        {false, 5, 0, L"Chart has no points, select another one!"},
        {true, 0, 0, L"Chart has to have more than 2 points!"},
        {true, 1, 0, L"Chart has to have more than 2 points!"},
        {true, 2, 40, nullptr},
        {true, 31, 272, nullptr},
        {true, 32, 0, L"Chart has too much points for temp profile!"},
    };
    for (const Case& c : cases) {
        const auto samples = Ramp(c.points);
        const ProfileUploadPacket got = BuildProfileUpload(c.hasChart, samples, 7);
        EXPECT_EQ(c.bytes, got.bytes.size()) << c.points;
        if (c.problem) {
            EXPECT_STREQ(c.problem, got.problem) << c.points;
        } else {
            ASSERT_EQ(nullptr, got.problem) << c.points;
            EXPECT_EQ(CONCC_PKT_SET_PROFILE, U32At(got.bytes, 0));
            EXPECT_EQ(0u, U32At(got.bytes, 4));
            EXPECT_EQ(7u, U32At(got.bytes, 8));
            EXPECT_EQ(0u, U32At(got.bytes, 12));  // start time, 64 bits
            EXPECT_EQ(0u, U32At(got.bytes, 16));
            EXPECT_EQ(c.points, U32At(got.bytes, 20));
            const size_t last = 24 + 8 * (c.points - 1);
            EXPECT_EQ(10000u * (c.points - 1), U32At(got.bytes, last));
            EXPECT_EQ(2500u + 100u * (c.points - 1), U32At(got.bytes, last + 4));
        }
    }
}

TEST(BuildProfileUpload, TruncatesTowardZeroAndWrapsNegatives) {
    struct Case {
        double seconds, degrees;
        uint32_t timeMs, tempCenti;
    };
    const Case cases[] = {
        {1.9999, 249.999, 1999u, 24999u},
        {-3.0, 20.0, 4294964296u, 2000u},         // -3000 as two's complement
        {-0.0009, -0.009, 0u, 0u},                // toward zero, not down
        {-1.5, -10.0, 4294965796u, 4294966296u},  // -1500, -1000
    };
    for (const Case& c : cases) {
        const std::vector<ProfileSample> samples = {{c.seconds, c.degrees}, {100.0, 100.0}};
        const ProfileUploadPacket got = BuildProfileUpload(true, samples, 1);
        ASSERT_EQ(40u, got.bytes.size());
        EXPECT_EQ(c.timeMs, U32At(got.bytes, 24)) << c.seconds;
        EXPECT_EQ(c.tempCenti, U32At(got.bytes, 28)) << c.degrees;
    }
}

TEST(ToProfileSamples, TakesAnyPointsWithXAndY) {
    struct Pt {
        double x, y;
    };
    const std::vector<Pt> pts = {{1, 2}, {3, 4}};
    const auto s = ToProfileSamples(pts);
    ASSERT_EQ(2u, s.size());
    EXPECT_EQ(3.0, s[1].seconds);
    EXPECT_EQ(4.0, s[1].degrees);
}
