#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "bake/profile_upload.h"
#include "chart/chart_set.h"
#include "profile/profile_model.h"
#include "profile/profile_templates.h"
#include "report/process_window.h"
#include "tests/support/temp_dir.h"

namespace {

using profile::ChartPoint;
using profile::Rule;

std::vector<ChartPoint> Ramp(size_t n) {
    std::vector<ChartPoint> out;
    for (size_t i = 0; i < n; ++i) out.push_back({double(i) * 10, 25.0 + double(i)});
    return out;
}

using Pairs = std::vector<std::pair<double, double>>;
Pairs P(const std::vector<ChartPoint>& points) {
    Pairs out;
    for (const auto& p : points) out.push_back({p.x, p.y});
    return out;
}

std::wstring W(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

TEST(ProfileRules, EachBrokenRuleIsNamedWithItsPointAndText) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        std::vector<ChartPoint> points;
        std::vector<std::pair<Rule, int>> expected;
    } cases[] = {
        {"two points are enough", {{0, 25}, {10, 30}}, {}},
        {"31 points are the most", Ramp(31), {}},
        {"no point", {}, {{Rule::kTooFewPoints, -1}}},
        {"one point", {{0, 25}}, {{Rule::kTooFewPoints, -1}}},
        {"32 points", Ramp(32), {{Rule::kTooManyPoints, -1}}},
        {"starts late", {{5, 25}, {10, 30}}, {{Rule::kFirstTimeNotZero, 0}}},
        {"starts early", {{-1, 25}, {10, 30}}, {{Rule::kFirstTimeNotZero, 0}}},
        {"equal times", {{0, 25}, {10, 30}, {10, 40}}, {{Rule::kTimesNotIncreasing, 2}}},
        {"falling time", {{0, 25}, {20, 30}, {10, 40}}, {{Rule::kTimesNotIncreasing, 2}}},
        {"negative temperature", {{0, 25}, {10, -0.1}}, {{Rule::kNegativeTemperature, 1}}},
        {"zero degrees is allowed", {{0, 0}, {10, 0}}, {}},
        {"NaN time", {{0, 25}, {nan, 30}}, {{Rule::kTimesNotIncreasing, 1}}},
        {"NaN temperature", {{0, 25}, {10, nan}}, {{Rule::kNegativeTemperature, 1}}},
        {"several at once",
         {{3, -1}},
         {{Rule::kTooFewPoints, -1},
          {Rule::kFirstTimeNotZero, 0},
          {Rule::kNegativeTemperature, 0}}},
    };
    for (const Case& c : cases) {
        const auto v = profile::CheckRules(c.points);
        std::vector<std::pair<Rule, int>> got;
        for (const auto& x : v) {
            got.push_back({x.rule, x.point});
            EXPECT_NE(nullptr, x.text) << c.what;
        }
        EXPECT_EQ(c.expected, got) << c.what;
        EXPECT_EQ(c.expected.empty(), profile::Profile(c.points).CanUpload()) << c.what;
    }
}

TEST(ProfileRules, ThePointCountsSpeakWithTheUploadsTexts) {
    // The editor and the upload must give the operator the same sentence.
    EXPECT_STREQ(bake::kTooFewPointsText, profile::CheckRules(Ramp(1))[0].text);
    EXPECT_STREQ(bake::kTooManyPointsText, profile::CheckRules(Ramp(32))[0].text);
    EXPECT_STREQ(bake::ProfileUploadProblem(true, 1), profile::CheckRules(Ramp(1))[0].text);
}

TEST(ProfileEditing, InsertMoveRemoveKeepTheOrderTheOperatorGave) {
    profile::Profile p({{0, 25}, {60, 150}});
    EXPECT_TRUE(p.Insert(1, {30, 100}));
    EXPECT_TRUE(p.Insert(3, {90, 150}));
    EXPECT_FALSE(p.Insert(5, {1, 1})) << "past the end";
    EXPECT_EQ((Pairs{{0, 25}, {30, 100}, {60, 150}, {90, 150}}), P(p.Points()));

    // A move past its neighbour is kept where it is and shown as broken.
    EXPECT_TRUE(p.Move(1, {70, 100}));
    EXPECT_EQ(70, p.Points()[1].x);
    ASSERT_EQ(1u, p.Violations().size());
    EXPECT_EQ(Rule::kTimesNotIncreasing, p.Violations()[0].rule);
    EXPECT_EQ(2, p.Violations()[0].point);
    EXPECT_FALSE(p.Move(4, {0, 0}));

    EXPECT_TRUE(p.Remove(2));
    EXPECT_TRUE(p.CanUpload());
    EXPECT_FALSE(p.Remove(3));
    EXPECT_TRUE(p.Remove(0));
    EXPECT_TRUE(p.Remove(0));
    EXPECT_EQ(Rule::kTooFewPoints, p.Violations().front().rule);
}

TEST(ProfileEditing, ANewPointGoesHalfwayOrThirtySecondsOn) {
    profile::Profile p;
    EXPECT_EQ((Pairs{{0, 25}}), P({p.NewPointAfter(0)}));
    p = profile::Profile({{0, 25}, {61, 150.25}});
    EXPECT_EQ((Pairs{{31, 87.6}}), P({p.NewPointAfter(0)})) << "snapped halfway";
    EXPECT_EQ((Pairs{{91, 150.3}}), P({p.NewPointAfter(1)}));
    EXPECT_EQ((Pairs{{91, 150.3}}), P({p.NewPointAfter(2)}));
}

TEST(ProfileEditing, SnapGoesToWholeSecondsAndTenthsOfADegree) {
    const struct {
        ChartPoint in, out;
    } cases[] = {
        {{12.4, 150.04}, {12, 150.0}},
        {{12.5, 150.05}, {13, 150.1}},
        {{-0.4, 0.04}, {-0.0, 0.0}},
        {{99.6, 249.96}, {100, 250.0}},
    };
    for (const auto& c : cases) {
        const ChartPoint s = profile::Snap(c.in);
        EXPECT_DOUBLE_EQ(c.out.x, s.x) << c.in.x;
        EXPECT_NEAR(c.out.y, s.y, 1e-9) << c.in.y;
    }
}

TEST(ProfileMetrics, TheReportsMetricsOnTheProfilesOwnCurve) {
    // 25 -> 200 in 100 s, 245 at 145 s, back below 217 at 173 s.
    profile::Profile p({{0, 25}, {100, 200}, {145, 245}, {173, 217}, {200, 150}});
    const report::BakeMetrics m = profile::ProfileMetrics(p, report::LeadFreeWindow());
    ASSERT_TRUE(m[report::Metric::kPeakC]);
    EXPECT_DOUBLE_EQ(245, *m[report::Metric::kPeakC]);
    EXPECT_NEAR(1.0, *m[report::Metric::kRampUpCPerS], 1e-9);
    EXPECT_NEAR(1.0, *m[report::Metric::kRampDownCPerS], 1e-9);
    EXPECT_NEAR(173 - (100 + 17), *m[report::Metric::kTimeAboveLiquidusS], 1e-6);
    EXPECT_FALSE(m[report::Metric::kProfileMaxDevC]) << "a profile has no profile of its own";
}

TEST(ProfileFile, SavedProfileLoadsBackAsOneChartNamedProfile) {
    test_support::TempDir dir;
    const std::wstring path = W(dir.Path("p.xml"));
    const profile::Profile p({{0, 25}, {90, 150.3}, {180, 217.7}, {240, 50}});
    std::wstring error;
    ASSERT_TRUE(profile::SaveProfile(p, path, error)) << error.size();

    chart::ChartSet model;
    std::set<int> ids;
    ASSERT_TRUE(model.LoadChartsXml(path, ids, error));
    ASSERT_EQ(1u, ids.size());
    EXPECT_EQ(L"Profile", model.FindChart(*ids.begin())->name);

    const auto back = profile::LoadProfile(path, error);
    ASSERT_TRUE(back);
    EXPECT_EQ(P(p.Points()), P(back->Points()))
        << "single precision in the file, exact values back";
}

TEST(ProfileFile, AChartFileFromElsewhereOpensByNameOrAsItsOnlyChart) {
    test_support::TempDir dir;
    std::wstring error;
    auto save = [&](const std::string& name, const std::vector<std::wstring>& charts) {
        chart::ChartSet model;
        std::set<int> ids;
        for (const auto& c : charts)
            ids.insert(model.AddChart(Ramp(3), c, L"Y", 0, 1.0f, 0.0f, 0xFF000000u));
        EXPECT_TRUE(model.SaveChartsXml(W(dir.Path(name)), ids, error));
        return W(dir.Path(name));
    };
    EXPECT_TRUE(profile::LoadProfile(save("one.xml", {L"Temp Main"}), error));
    EXPECT_TRUE(profile::LoadProfile(save("named.xml", {L"Temp Main", L"Profile"}), error));
    EXPECT_FALSE(profile::LoadProfile(save("two.xml", {L"Temp Main", L"Temp 1"}), error));
    EXPECT_EQ(profile::kNoProfileChartText, error);
    EXPECT_FALSE(profile::LoadProfile(W(dir.Path("missing.xml")), error));
    EXPECT_FALSE(error.empty());
}

// The window with every limit pulled in by 10 % of its span (or of the
// bound, for a one-sided limit): a template must pass this one too.
report::ProcessWindow Narrowed(report::ProcessWindow w) {
    for (report::Limit& l : w.limits) {
        if (l.min && l.max) {
            const double m = (*l.max - *l.min) * 0.1;
            *l.min += m;
            *l.max -= m;
        } else if (l.min) {
            *l.min *= 1.1;
        } else if (l.max) {
            *l.max *= 0.9;
        }
    }
    return w;
}

TEST(ProfileTemplates, ReflowsPassTheirWindowsWithMarginAndKeepTheRules) {
    ASSERT_EQ(3u, profile::Templates().size());
    for (const profile::Template& t : profile::Templates()) {
        const auto p = profile::TemplateProfile(t.key);
        ASSERT_TRUE(p) << t.key;
        EXPECT_TRUE(p->Violations().empty()) << t.key;
        for (size_t i = 1; i < p->Size(); ++i) {
            const double rate = (p->Points()[i].y - p->Points()[i - 1].y) /
                                (p->Points()[i].x - p->Points()[i - 1].x);
            EXPECT_LE(rate, 1.5) << t.key << " point " << i;
            EXPECT_GE(rate, -2.0) << t.key << " point " << i;
        }
        if (!t.window)
            continue;
        const auto window = report::BuiltInWindow(t.window);
        ASSERT_TRUE(window);
        const report::Verdict v = profile::JudgeProfile(*p, Narrowed(*window));
        std::string why;
        for (const auto& f : v.failures) why += report::FailureText(f, *window) + "\n";
        EXPECT_TRUE(v.pass) << t.key << "\n" << why;
    }
    EXPECT_FALSE(profile::TemplateProfile("pbFree"));
}

TEST(ProfileTemplates, BakeOutRisesSlowlyToItsHoldAt125) {
    const auto p = profile::TemplateProfile("bakeout");
    ASSERT_TRUE(p);
    EXPECT_EQ(125, *p->Peak());
    double held = 0;
    for (size_t i = 1; i < p->Size(); ++i) {
        if (p->Points()[i - 1].y == 125 && p->Points()[i].y == 125)
            held += p->Points()[i].x - p->Points()[i - 1].x;
    }
    EXPECT_GE(held, 3600);
}

}  // namespace
