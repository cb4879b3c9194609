// Process windows: the built-in ones, window files good and bad, the verdict.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/process_window.h"
#include "report/report_format.h"

namespace {

using report::Metric;

TEST(ProcessWindow, BuiltInWindowsCarryTheStandardsFigures) {
    const report::ProcessWindow pb = *report::BuiltInWindow("pbfree");
    EXPECT_EQ("pbfree", pb.name);
    EXPECT_EQ(150, pb.temperatures.tsMin);
    EXPECT_EQ(200, pb.temperatures.tsMax);
    EXPECT_EQ(217, pb.temperatures.tL);
    EXPECT_EQ("235 .. 260", report::LimitText(pb[Metric::kPeakC]));
    EXPECT_EQ("60 .. 120", report::LimitText(pb[Metric::kPreheatS]));
    EXPECT_EQ("60 .. 150", report::LimitText(pb[Metric::kTimeAboveLiquidusS]));
    EXPECT_EQ("<= 30", report::LimitText(pb[Metric::kTimeWithin5OfPeakS]));
    EXPECT_EQ("<= 3", report::LimitText(pb[Metric::kRampUpCPerS]));
    EXPECT_EQ("<= 6", report::LimitText(pb[Metric::kRampDownCPerS]));
    EXPECT_EQ("<= 480", report::LimitText(pb[Metric::kTime25ToPeakS]));
    EXPECT_FALSE(pb[Metric::kPeakTimeS].IsSet());

    const report::ProcessWindow sn = *report::BuiltInWindow("snpb");
    EXPECT_EQ(100, sn.temperatures.tsMin);
    EXPECT_EQ(150, sn.temperatures.tsMax);
    EXPECT_EQ(183, sn.temperatures.tL);
    EXPECT_EQ("205 .. 235", report::LimitText(sn[Metric::kPeakC]));
    EXPECT_EQ("<= 20", report::LimitText(sn[Metric::kTimeWithin5OfPeakS]));
    EXPECT_EQ("<= 360", report::LimitText(sn[Metric::kTime25ToPeakS]));
    EXPECT_FALSE(report::BuiltInWindow("PbFree"));
}

TEST(ProcessWindow, ReadsAWindowFile) {
    std::string error;
    const auto w = report::ParseWindow(
        "\xEF\xBB\xBF# our paste\n"
        "name = SAC305 line 2\n"
        "\n"
        "ts_min = 150\r\n"
        "  ts_max=190  \n"
        "t_l = 217.5\n"
        "peak_c_min = 240\n"
        "peak_c_max = +255\n"
        "profile_max_dev_c_max = 8\n",
        "w.txt", error);
    ASSERT_TRUE(w) << error;
    EXPECT_EQ("SAC305 line 2", w->name);
    EXPECT_EQ(190, w->temperatures.tsMax);
    EXPECT_EQ(217.5, w->temperatures.tL);
    EXPECT_EQ("240 .. 255", report::LimitText((*w)[Metric::kPeakC]));
    EXPECT_EQ("<= 8", report::LimitText((*w)[Metric::kProfileMaxDevC]));
    EXPECT_FALSE((*w)[Metric::kPreheatS].IsSet());

    // The program stores windows in the same text.
    const auto again = report::ParseWindow(report::WindowText(*w), "stored", error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(report::WindowText(*w), report::WindowText(*again));
    const auto pb = report::ParseWindow(report::WindowText(report::LeadFreeWindow()), "s", error);
    ASSERT_TRUE(pb) << error;
    EXPECT_EQ(report::WindowText(report::LeadFreeWindow()), report::WindowText(*pb));
}

TEST(ProcessWindow, RefusesMistakesNamingLineAndKey) {
    const std::string temps = "ts_min = 150\nts_max = 200\nt_l = 217\n";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {temps + "peak = 250\n", "w.txt:4: unknown key 'peak'"},
        {temps + "peak_c_avg = 250\n", "w.txt:4: unknown key 'peak_c_avg'"},
        {temps + "peak_c_max 260\n", "w.txt:4: expected key = value, got 'peak_c_max 260'"},
        {temps + "= 260\n", "w.txt:4: missing key before '='"},
        {temps + "peak_c_max = 26O\n", "w.txt:4: key 'peak_c_max' needs a number, got '26O'"},
        {temps + "peak_c_max =\n", "w.txt:4: key 'peak_c_max' needs a number, got ''"},
        {temps + "peak_c_max = nan\n", "w.txt:4: key 'peak_c_max' needs a number, got 'nan'"},
        {temps + "peak_c_max = 1e999\n", "w.txt:4: key 'peak_c_max' needs a number, got '1e999'"},
        {temps + "peak_c_max = 260\n# again\npeak_c_max = 250\n",
         "w.txt:6: key 'peak_c_max' given twice"},
        {"ts_min = 150\nts_max = 200\n", "w.txt: missing key 't_l'"},
        {"ts_min = 210\nts_max = 200\nt_l = 217\n", "w.txt: ts_min 210 is above ts_max 200"},
        {temps + "preheat_s_min = 120\npreheat_s_max = 60\n",
         "w.txt: preheat_s_min 120 is above preheat_s_max 60"},
        {"", "w.txt: missing key 'ts_min'"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(report::ParseWindow(c.text, "w.txt", error)) << c.text;
        EXPECT_EQ(c.error, error) << c.text;
    }
}

TEST(Verdict, EveryLimitMustHoldAndAnEmptyMetricBreaksAny) {
    report::BakeMetrics m;
    m[Metric::kPeakC] = 245;
    m[Metric::kPreheatS] = 60;  // exactly on the bound holds
    m[Metric::kRampUpCPerS] = 3.5;
    report::ProcessWindow w;
    w.name = "test";
    w[Metric::kPeakC] = {235, 260};
    w[Metric::kPreheatS] = {60, 120};
    w[Metric::kRampUpCPerS] = {std::nullopt, 3};
    w[Metric::kTimeAboveLiquidusS] = {60, std::nullopt};  // no value: fails
    w[Metric::kProfileMaxDevC] = {std::nullopt, 5};       // no value: fails

    const report::Verdict v = report::Judge(m, w);
    EXPECT_FALSE(v.pass);
    ASSERT_EQ(3u, v.failures.size());
    std::vector<std::string> texts;
    for (const auto& f : v.failures) texts.push_back(report::FailureText(f, w));
    EXPECT_EQ((std::vector<std::string>{"ramp_up_c_per_s 3.5 is above its maximum 3",
                                        "time_above_liquidus_s has no value (limit >= 60)",
                                        "profile_max_dev_c has no value (limit <= 5)"}),
              texts);

    m[Metric::kPeakC] = 234.99;
    EXPECT_EQ("peak_c 234.99 is below its minimum 235",
              report::FailureText(report::Judge(m, w).failures.front(), w));

    report::ProcessWindow empty;
    EXPECT_TRUE(report::Judge(report::BakeMetrics{}, empty).pass);
    w[Metric::kRampUpCPerS] = {};
    w[Metric::kTimeAboveLiquidusS] = {};
    w[Metric::kProfileMaxDevC] = {};
    m[Metric::kPeakC] = 260;
    EXPECT_TRUE(report::Judge(m, w).pass);
}

}  // namespace
