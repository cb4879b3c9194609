// The metrics on small curves whose answers are worked out by hand in the
// comments (pbfree temperatures: Ts 150..200, T_L 217).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "report/bake_metrics.h"
#include "report/report_format.h"

namespace {

using chart::ChartPoint;
using report::Metric;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
const std::optional<double> kNull;

struct Expected {
    Metric metric;
    std::optional<double> value;
};

struct Case {
    const char* name;
    std::vector<ChartPoint> curve;
    std::vector<Expected> expected;
};

// Up at 2 C/s from 25 to 225, flat for 50 s, down at 4 C/s.
const std::vector<ChartPoint> kTrapezoid = {{0, 25}, {100, 225}, {150, 225}, {200, 25}};
const std::vector<Expected> kTrapezoidAnswers = {
    {Metric::kPeakC, 225},
    {Metric::kPeakTimeS, 100},  // the first point of the flat top
    {Metric::kTime25ToPeakS, 100},
    {Metric::kPreheatS, 25},               // 150 at 62.5 s, 200 at 87.5 s
    {Metric::kRampUpCPerS, 2},             // (225 - 200) / (100 - 87.5)
    {Metric::kRampDownCPerS, 8.0 / 52},    // below 217 at 152 s: (225 - 217) / (152 - 100)
    {Metric::kTimeAboveLiquidusS, 56},     // 96 s .. 152 s
    {Metric::kTimeWithin5OfPeakS, 53.75},  // 220 from 97.5 s to 151.25 s
    {Metric::kMaxRiseCPerS, 2},            // at x = 100: (225 - 205) / 10
    {Metric::kMaxFallCPerS, 4},            // at x = 200: (25 - 65) / 10
    {Metric::kProfileMaxDevC, kNull},
    {Metric::kProfileRmsDevC, kNull},
    {Metric::kReferenceMaxDevC, kNull},
    {Metric::kReferenceRmsDevC, kNull},
};

const Case kCases[] = {
    {"Trapezoid", kTrapezoid, kTrapezoidAnswers},
    // No value (y < 0) and non-finite points are left out; the line is drawn
    // between the valued neighbours, which here lie on the trapezoid itself.
    {"PointsWithoutValue",
     {{0, 25}, {50, -10}, {100, 225}, {120, kNaN}, {130, kInf}, {kNaN, 300}, {150, 225}, {200, 25}},
     kTrapezoidAnswers},
    // Peaks at 180: nothing that needs 200 or 217 can be had.
    {"NeverReachesLiquidus",
     {{0, 20}, {50, 120}, {100, 180}, {150, 100}},
     {
         {Metric::kPeakC, 180},
         {Metric::kPeakTimeS, 100},
         {Metric::kTime25ToPeakS, 97.5},  // 25 at 2.5 s
         {Metric::kPreheatS, kNull},      // 150 at 75 s, 200 never
         {Metric::kRampUpCPerS, kNull},
         {Metric::kRampDownCPerS, kNull},
         {Metric::kTimeAboveLiquidusS, kNull},
         {Metric::kTimeWithin5OfPeakS, 103.125 - (50 + 55.0 / 60 * 50)},
         {Metric::kMaxRiseCPerS, 2},    // x = 50: (120 - 100) / 10
         {Metric::kMaxFallCPerS, 1.6},  // x = 150: (100 - 116) / 10
     }},
    // Falls below T_L after the peak, comes back above it, then falls for good:
    // the ramp down ends at the first fall, the time above counts both stays.
    {"DipBelowLiquidusAfterThePeak",
     {{0, 200}, {10, 230}, {20, 210}, {30, 220}, {40, 100}},
     {
         {Metric::kPeakC, 230},
         {Metric::kPeakTimeS, 10},
         {Metric::kTime25ToPeakS, 10},  // starts above 25: from the first point
         {Metric::kPreheatS, 0},        // starts above both Ts
         {Metric::kRampUpCPerS, 3},     // (230 - 200) / (10 - 0)
         {Metric::kRampDownCPerS, 2},   // below 217 at 16.5 s: 13 / 6.5
         // 5.667..10, 10..16.5, 27..30, 30..30.25
         {Metric::kTimeAboveLiquidusS, (10 - 17.0 / 3) + 6.5 + 3 + 0.25},
         {Metric::kTimeWithin5OfPeakS, (10 - 25.0 / 3) + 2.5},  // 225 and above
         {Metric::kMaxRiseCPerS, 3},                            // x = 10
         {Metric::kMaxFallCPerS, 12},                           // x = 40: (100 - 220) / 10
     }},
    {"OnlyRisesAndShorterThanTenSeconds",
     {{0, 30}, {5, 40}},
     {
         {Metric::kPeakC, 40},
         {Metric::kTime25ToPeakS, 5},
         {Metric::kPreheatS, kNull},
         {Metric::kMaxRiseCPerS, kNull},  // no point has x - 10 on the curve
         {Metric::kMaxFallCPerS, kNull},
     }},
    {"NoValueAtAll",
     {{0, -10}, {1, kNaN}},
     {{Metric::kPeakC, kNull}, {Metric::kTime25ToPeakS, kNull}}},
};

TEST(BakeMetrics, HandWorkedCurves) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const report::BakeMetrics m = report::ComputeBakeMetrics(c.curve, report::Temperatures{});
        for (const Expected& e : c.expected) {
            SCOPED_TRACE(std::string(report::MetricName(e.metric)));
            ASSERT_EQ(e.value.has_value(), m[e.metric].has_value());
            if (e.value) {
                EXPECT_NEAR(*e.value, *m[e.metric], 1e-9);
            }
        }
    }
}

TEST(BakeMetrics, TheWindowsTemperaturesDecide) {
    // snpb: Ts 100..150, T_L 183 on the trapezoid.
    const report::BakeMetrics m = report::ComputeBakeMetrics(kTrapezoid, {100, 150, 183});
    EXPECT_NEAR(25, *m[Metric::kPreheatS], 1e-9);              // 37.5 s .. 62.5 s
    EXPECT_NEAR(2, *m[Metric::kRampUpCPerS], 1e-9);            // (225 - 150) / (100 - 62.5)
    EXPECT_NEAR(81.5, *m[Metric::kTimeAboveLiquidusS], 1e-9);  // 79 s .. 160.5 s
    EXPECT_NEAR(42 / 60.5, *m[Metric::kRampDownCPerS], 1e-9);  // (225 - 183) / (160.5 - 100)
}

TEST(BakeMetrics, DeviationFromTheProfileInsideItsRange) {
    const std::vector<ChartPoint> curve = {{0, 10}, {10, 20}, {20, 30}, {30, 40}};
    struct {
        const char* name;
        std::vector<ChartPoint> profile;
        std::optional<double> maxDev, rmsDev;
    } cases[] = {
        // P(x) = 10 + 2 (x - 5) on 5..25: T - P is 0 at x = 10 and -10 at x = 20.
        {"TwoPoints", {{5, 10}, {25, 50}}, 10, std::sqrt(50.0)},
        {"NoValuePointsLeftOut", {{5, 10}, {15, -10}, {25, 50}}, 10, std::sqrt(50.0)},
        {"OnePointIsNoProfile", {{5, 10}, {25, -10}}, kNull, kNull},
        {"NoPointInsideItsRange", {{11, 0}, {19, 0}}, kNull, kNull},
        {"None", {}, kNull, kNull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const report::BakeMetrics m = report::ComputeBakeMetrics(curve, {}, c.profile, c.profile);
        for (const Metric max : {Metric::kProfileMaxDevC, Metric::kReferenceMaxDevC}) {
            ASSERT_EQ(c.maxDev.has_value(), m[max].has_value());
            if (c.maxDev) {
                EXPECT_NEAR(*c.maxDev, *m[max], 1e-9);
            }
        }
        for (const Metric rms : {Metric::kProfileRmsDevC, Metric::kReferenceRmsDevC}) {
            ASSERT_EQ(c.rmsDev.has_value(), m[rms].has_value());
            if (c.rmsDev) {
                EXPECT_NEAR(*c.rmsDev, *m[rms], 1e-9);
            }
        }
    }
}

TEST(BakeMetrics, RateOfRiseIsTakenAtEveryPointTenSecondsIn) {
    const std::vector<ChartPoint> rates = report::RateOfRise(kTrapezoid);
    ASSERT_EQ(3u, rates.size());
    EXPECT_EQ(100, rates[0].x);
    EXPECT_NEAR(2, rates[0].y, 1e-12);
    EXPECT_NEAR(0, rates[1].y, 1e-12);
    EXPECT_NEAR(-4, rates[2].y, 1e-12);
}

TEST(BakeMetrics, MetricNamesRoundTrip) {
    for (const Metric m : report::AllMetrics())
        EXPECT_EQ(m, report::MetricFromName(report::MetricName(m)));
    EXPECT_FALSE(report::MetricFromName("peak"));
}

TEST(ReportFormat, JsonHasEveryMetricAndNullsWithoutAWindow) {
    const report::Report r = report::MakeReport("Temp \"Main\"", kTrapezoid, std::nullopt);
    EXPECT_EQ(
        "{\"chart\": \"Temp \\\"Main\\\"\", \"window\": null, \"peak_c\": 225, \"peak_time_s\": "
        "100, \"time_25_to_peak_s\": 100, \"preheat_s\": 25, \"ramp_up_c_per_s\": 2, "
        "\"ramp_down_c_per_s\": 0.1538461538, \"time_above_liquidus_s\": 56, "
        "\"time_within_5_of_peak_s\": 53.75, \"max_rise_c_per_s\": 2, \"max_fall_c_per_s\": 4, "
        "\"profile_max_dev_c\": null, \"profile_rms_dev_c\": null, \"reference_max_dev_c\": null, "
        "\"reference_rms_dev_c\": null, \"verdict\": null, \"failures\": []}\n",
        report::ReportJson(r));
}

TEST(ReportFormat, TextMarksEachLimitAndGivesTheReasons) {
    const report::Report r = report::MakeReport("Temp Main", kTrapezoid, report::LeadFreeWindow());
    const std::string text = report::ReportText(r);
    EXPECT_NE(std::string::npos, text.find("window: pbfree (Ts 150-200 C, T_L 217 C)\n")) << text;
    EXPECT_NE(std::string::npos,
              text.find("peak_c                          225  235 .. 260   FAIL\n"))
        << text;
    EXPECT_NE(std::string::npos,
              text.find("ramp_up_c_per_s                   2  <= 3         ok\n"))
        << text;
    EXPECT_NE(std::string::npos,
              text.find("verdict: fail\n  peak_c 225 is below its minimum 235\n"))
        << text;
    const std::string json = report::ReportJson(r);
    EXPECT_NE(std::string::npos,
              json.find("\"verdict\": \"fail\", \"failures\": [\"peak_c\", \"preheat_s\", "
                        "\"time_above_liquidus_s\", \"time_within_5_of_peak_s\"]}"))
        << json;
}

}  // namespace
