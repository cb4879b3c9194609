#include <gtest/gtest.h>

#include <cmath>
#include <cwchar>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "chart/chart_set.h"

using chart::ChartPoint;
using chart::ChartSeries;
using chart::ChartSet;

namespace {

int Add(ChartSet& m, const std::wstring& name, std::vector<ChartPoint> points = {},
        const std::wstring& yLabel = L"") {
    return m.AddChart(points, name, yLabel, 0, 2.0f, 0.0f, 0xFF000000);
}

std::vector<double> Xs(const ChartSeries& s) {
    std::vector<double> xs;
    for (const ChartPoint& p : s.Points()) xs.push_back(p.x);
    return xs;
}

}  // namespace

TEST(ChartModel, AddChartNamesAndIds) {
    ChartSet m;
    struct Step {
        const wchar_t* given;
        int id;
        const wchar_t* name;
    } steps[] = {
        {L"", 0, L"Chart_0"},
        {L"", 1, L"Chart_1"},
        {L"Temperature", 2, L"Temperature"},
        {L"Temperature", 3, L"Temperature_3"},
        {L"ABCDEFGHIJKLMNOPQRST", 4, L"ABCDEFGHIJKLMNO..."},
        {L"ABCDEFGHIJKLMNOPQR", 5, L"ABCDEFGHIJKLMNOPQR"},
        // Cut first, then made unique.
        {L"ABCDEFGHIJKLMNOxyz!", 6, L"ABCDEFGHIJKLMNO..._6"},
        {L"Chart_0", 7, L"Chart_0_7"},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(Add(m, s.given), s.id) << testing::PrintToString(std::wstring(s.given));
        EXPECT_EQ(m.FindChart(s.id)->name, s.name);
    }
    EXPECT_EQ(m.FindChartByName(L"Temperature")->id, 2);
    EXPECT_EQ(m.FindChartByName(L"temperature"), nullptr);  // exact match only
}

TEST(ChartModel, AddChartFields) {
    ChartSet m;
    const int id = m.AddChart(std::vector<ChartPoint>{{3, 30}, {1, 10}, {2, -5}}, L"T", L"", 3,
                              1.5f, 0.25f, 0xFFFF0000);
    const ChartSeries& s = *m.FindChart(id);
    EXPECT_EQ(s.yLabel, L"Y");
    EXPECT_EQ(s.dashStyle, 3);
    EXPECT_EQ(s.penWidth, 1.5f);
    EXPECT_EQ(s.tension, 0.25f);
    EXPECT_EQ(s.color, 0xFFFF0000);
    EXPECT_TRUE(s.visible);
    EXPECT_FALSE(s.selected);
    EXPECT_FALSE(s.showPoints);
    EXPECT_EQ(Xs(s), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(s.MinX(), 1);
    EXPECT_EQ(s.MaxX(), 3);
    EXPECT_EQ(s.MinY(), -5);
    EXPECT_EQ(s.MaxY(), 30);

    const ChartSeries& empty = *m.FindChart(Add(m, L"E"));
    EXPECT_EQ(empty.MinX(), std::numeric_limits<double>::max());
    EXPECT_EQ(empty.MaxX(), -std::numeric_limits<double>::max());
    EXPECT_EQ(empty.MinY(), std::numeric_limits<double>::max());
    EXPECT_EQ(empty.MaxY(), -std::numeric_limits<double>::max());
}

TEST(ChartModel, AppendChartPoints) {
    ChartSet m;
    const int id = Add(m, L"T", {{1, 10}, {6, 60}});
    const ChartSeries& s = *m.FindChart(id);

    EXPECT_FALSE(
        m.AppendChartPoints(id, std::vector<ChartPoint>{{5, 0}}));  // before the last point
    EXPECT_FALSE(m.AppendChartPoints(id, std::vector<ChartPoint>{{7, 0}, {5, 0}}));
    EXPECT_FALSE(m.AppendChartPoints(id, {}));
    EXPECT_FALSE(m.AppendChartPoints(99, std::vector<ChartPoint>{{7, 0}}));
    EXPECT_EQ(Xs(s), (std::vector<double>{1, 6}));

    EXPECT_TRUE(m.AppendChartPoints(id, std::vector<ChartPoint>{{6, 65}}));  // an equal x is fine
    EXPECT_TRUE(m.AppendChartPoints(id, std::vector<ChartPoint>{{9, -3}, {7, 100}}));
    EXPECT_EQ(Xs(s), (std::vector<double>{1, 6, 6, 7, 9}));
    EXPECT_EQ(s.MinX(), 1);
    EXPECT_EQ(s.MaxX(), 9);
    EXPECT_EQ(s.MinY(), -3);
    EXPECT_EQ(s.MaxY(), 100);
}

TEST(ChartModel, ClearKeepsExtentsUntilNewPointsReplaceThem) {
    ChartSet m;
    const int id = Add(m, L"T", {{1, 10}, {50, 500}});
    m.ClearChartPoints(id);
    const ChartSeries& s = *m.FindChart(id);
    EXPECT_FALSE(s.HasPoints());
    EXPECT_EQ(s.MaxX(), 50);
    EXPECT_EQ(s.MaxY(), 500);
    EXPECT_FALSE(m.HasChartData());

    // Points after a clear start a new curve, earlier x included; the old
    // extents play no part.
    ASSERT_TRUE(m.AppendChartPoints(id, std::vector<ChartPoint>{{2, 20}, {3, 30}}));
    EXPECT_EQ(s.MinX(), 2);
    EXPECT_EQ(s.MaxX(), 3);
    EXPECT_EQ(s.MinY(), 20);
    EXPECT_EQ(s.MaxY(), 30);
    m.ClearChartPoints(12345);  // unknown: nothing happens
}

TEST(ChartModel, NanXDoesNotBreakOrder) {
    ChartSet m;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<ChartPoint> points;
    for (int i = 40; i > 0; --i) points.push_back({i % 3 ? double(i) : nan, double(i)});
    const int id = Add(m, L"T", points);
    const auto& stored = m.FindChart(id)->Points();
    for (size_t i = 1; i < stored.size(); ++i)
        EXPECT_FALSE(chart::PointLess(stored[i], stored[i - 1]));
    EXPECT_TRUE(std::isnan(stored.back().x));
    // Nothing may follow a NaN x but another one.
    EXPECT_FALSE(m.AppendChartPoints(id, std::vector<ChartPoint>{{100, 0}}));
    EXPECT_TRUE(m.AppendChartPoints(id, std::vector<ChartPoint>{{nan, 0}}));
}

// A point with a NaN or infinite coordinate stays among the points (a file
// keeps it) but takes no part in the extents or in the runs that drawing,
// hit testing and statistics read: a run's ends are finite points.
TEST(ChartModel, NonFinitePointsStayButAreLeftOutOfExtentsAndRunEnds) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        std::vector<ChartPoint> points;
        double minX, maxX, minY, maxY;
        double a, b;                // GetPointRange(a, b)
        std::vector<double> runXs;  // x of the run's points
    };
    const Case cases[] = {
        {"NaN y inside", {{0, 1}, {1, nan}, {2, 5}}, 0, 2, 1, 5, 0.5, 0.7, {0, 1, 2}},
        {"infinite y inside",
         {{0, 1}, {1, inf}, {2, -inf}, {3, 5}},
         0,
         3,
         1,
         5,
         1.5,
         1.6,
         {0, 1, 2, 3}},
        {"NaN x at the end", {{0, 1}, {1, 2}, {nan, 999}}, 0, 1, 1, 2, 0.5, 5, {0, 1}},
        {"infinite x at both ends",
         {{-inf, -7}, {0, 1}, {1, 2}, {inf, 9}},
         0,
         1,
         1,
         2,
         -5,
         5,
         {0, 1}},
        {"non-finite first and last y",
         {{0, nan}, {1, 1}, {2, 3}, {3, inf}},
         1,
         2,
         1,
         3,
         0,
         3,
         {1, 2}},
        {"range inside a NaN stretch",
         {{0, 1}, {1, nan}, {2, nan}, {3, 4}},
         0,
         3,
         1,
         4,
         1.2,
         1.8,
         {0, 1, 2, 3}},
        {"range before the first finite point",
         {{-inf, 0}, {1, 1}, {2, 2}},
         1,
         2,
         1,
         2,
         -9,
         0.5,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChartSet m;
        const int id = Add(m, L"T", c.points);
        const ChartSeries& s = *m.FindChart(id);
        EXPECT_EQ(s.Points().size(), c.points.size());
        EXPECT_TRUE(s.HasExtents());
        EXPECT_EQ(s.MinX(), c.minX);
        EXPECT_EQ(s.MaxX(), c.maxX);
        EXPECT_EQ(s.MinY(), c.minY);
        EXPECT_EQ(s.MaxY(), c.maxY);
        std::vector<double> runXs;
        for (const ChartPoint& p : s.GetPointRange(c.a, c.b)) runXs.push_back(p.x);
        EXPECT_EQ(runXs, c.runXs);
    }
}

TEST(ChartModel, ChartOfOnlyNonFinitePointsHasNoExtentsAndNoRuns) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    ChartSet m;
    const int id = Add(m, L"T", {{0, nan}, {1, inf}, {nan, 2}});
    const ChartSeries& s = *m.FindChart(id);
    EXPECT_TRUE(s.HasPoints());
    EXPECT_FALSE(s.HasExtents());
    EXPECT_EQ(s.MinX(), ChartSeries::kNoMin);
    EXPECT_EQ(s.MaxY(), ChartSeries::kNoMax);
    EXPECT_TRUE(s.GetPointRange(-1e300, 1e300).empty());

    // Finite points appended later give the extents; appends keep a run's
    // ends finite too.
    const int live = Add(m, L"L", {{0, nan}});
    ASSERT_TRUE(m.AppendChartPoints(live, std::vector<ChartPoint>{{1, 10}, {2, inf}}));
    ASSERT_TRUE(m.AppendChartPoints(live, std::vector<ChartPoint>{{3, 30}, {4, nan}}));
    const ChartSeries& l = *m.FindChart(live);
    EXPECT_EQ(l.MinX(), 1);
    EXPECT_EQ(l.MaxX(), 3);
    EXPECT_EQ(l.MinY(), 10);
    EXPECT_EQ(l.MaxY(), 30);
    const auto run = l.GetPointRange(2.5, 9);
    ASSERT_EQ(run.size(), 3u);
    EXPECT_EQ(run.front().x, 1);
    EXPECT_EQ(run.back().x, 3);
}

TEST(ChartModel, SelectionAndVisibility) {
    ChartSet m;
    const int a = Add(m, L"A", {{0, 0}});
    const int empty = Add(m, L"Empty");
    const int b = Add(m, L"B", {{0, 0}});
    std::set<int> ids;

    m.SetChartSelected(empty, true);  // no points: not selectable
    EXPECT_FALSE(m.FindChart(empty)->selected);

    m.SetChartSelected(a, true);
    m.SetChartSelected(b, true);
    m.GetSelectedChartIds(ids);
    EXPECT_EQ(ids, (std::set<int>{a, b}));
    EXPECT_EQ(m.SelectedIds(), ids);

    // Hiding a selected chart deselects it; showing it again does not reselect.
    EXPECT_EQ(m.ToggleChartVisibility(a), 0);
    EXPECT_FALSE(m.FindChart(a)->selected);
    EXPECT_EQ(m.SelectedIds(), (std::set<int>{b}));
    m.SetChartSelected(a, true);  // hidden: not selectable
    EXPECT_FALSE(m.FindChart(a)->selected);
    EXPECT_EQ(m.ToggleChartVisibility(a), 1);
    EXPECT_FALSE(m.FindChart(a)->selected);
    EXPECT_EQ(m.ToggleChartVisibility(77), -1);

    m.SetChartSelected(b, false);
    m.GetSelectedChartIds(ids);
    EXPECT_TRUE(ids.empty());
    m.GetChartIds(ids);
    EXPECT_EQ(ids, (std::set<int>{a, empty, b}));
}

TEST(ChartModel, GetVisibleChart) {
    ChartSet m;
    const int empty = Add(m, L"Empty");
    EXPECT_EQ(m.GetVisibleChart(-1), nullptr);
    const int hidden = Add(m, L"Hidden", {{0, 0}});
    m.ToggleChartVisibility(hidden);
    EXPECT_EQ(m.GetVisibleChart(-1), nullptr);
    const int shown = Add(m, L"Shown", {{0, 0}});
    EXPECT_EQ(m.GetVisibleChart(-1)->id, shown);
    EXPECT_EQ(m.GetVisibleChart(empty), nullptr);
    EXPECT_EQ(m.GetVisibleChart(hidden), nullptr);
    EXPECT_EQ(m.GetVisibleChart(shown)->id, shown);
    EXPECT_TRUE(m.HasChartData());  // hidden charts count too
}

// Which layers each operation leaves stale, for the widget's repaint.
TEST(ChartModel, RedrawNotifications) {
    using namespace chart;
    const unsigned all =
        kRedrawBackground | kRedrawSelectionBox | kRedrawStatisticsBox | kRedrawTrackingBox;
    ChartSet m;
    std::vector<unsigned> seen;
    m.AddRedrawListener([&](unsigned flags) { seen.push_back(flags); });
    auto last = [&] {
        const unsigned f = seen.empty() ? 0xDEAD : seen.back();
        seen.clear();
        return f;
    };

    const int id = Add(m, L"A", {{0, 0}});
    EXPECT_EQ(last(), kRedrawBackground);
    m.SetLegendVisible(true);
    EXPECT_EQ(last(), kRedrawLegend);
    Add(m, L"B");
    EXPECT_EQ(last(), kRedrawBackground | kRedrawLegend);
    m.AppendChartPoints(id, std::vector<ChartPoint>{{1, 1}});
    // Appends say so: a live record's repaints wait for the next frame.
    EXPECT_EQ(last(), kRedrawBackground | kRedrawSelectionBox | kRedrawStatisticsBox |
                          kRedrawPointsAppended);
    m.AppendChartPoints(id, std::vector<ChartPoint>{{0, 1}});  // refused: no repaint
    EXPECT_EQ(last(), 0xDEADu);
    m.ToggleChartVisibility(id);
    EXPECT_EQ(last(), kRedrawLegend | kRedrawSelectionBox | kRedrawStatisticsBox);
    m.SetChartSelected(999, true);  // repaints even for an unknown chart
    EXPECT_EQ(last(), all | kRedrawLegend);
    m.SetYValueFormatter(nullptr);
    EXPECT_EQ(last(), kRedrawBackground | kRedrawLegend);
    m.SetLegendVisible(false);
    EXPECT_EQ(last(), kRedrawLegend);
    m.ClearChartPoints(id);
    EXPECT_EQ(last(), all);
    m.RedrawAll();
    EXPECT_EQ(last(), all);
}

// A document's set is shown by views that come and go: each listener hears
// every change until it removes itself, and removing one leaves the others.
TEST(ChartModel, EveryListenerHearsUntilRemoved) {
    using namespace chart;
    ChartSet m;
    std::vector<std::string> heard;
    const RedrawListenerId first = m.AddRedrawListener([&](unsigned) { heard.push_back("first"); });
    const RedrawListenerId second =
        m.AddRedrawListener([&](unsigned) { heard.push_back("second"); });
    EXPECT_NE(first, second);
    m.RedrawAll();
    EXPECT_EQ(heard, (std::vector<std::string>{"first", "second"}));

    heard.clear();
    m.RemoveRedrawListener(first);
    m.RemoveRedrawListener(first);  // twice, or an unknown id: nothing
    m.RemoveRedrawListener(0);
    m.SetLegendVisible(true);
    EXPECT_EQ(heard, (std::vector<std::string>{"second"}));

    heard.clear();
    m.RemoveRedrawListener(second);
    m.RedrawAll();
    EXPECT_TRUE(heard.empty());
}

TEST(ChartModel, TickLabelsOfNeighbouringGridLinesDiffer) {
    struct Case {
        double value;
        double step;
        const wchar_t* text;
    } cases[] = {
        {3950, 50, L"3950"},
        {4000, 50, L"4000"},
        {4050, 50, L"4050"},
        {-250, 50, L"-250"},
        {0.30000000000000004, 0.1, L"0.3"},  // 3 * 0.1 in doubles
        {0.1, 0.05, L"0.10"},
        {0.15, 0.05, L"0.15"},
        {2.5, 0.25, L"2.50"},
        {-1e-12, 0.5, L"0.0"},  // rounding around the origin shows no sign
        {-0.0, 2, L"0"},
        {1234.5, 0.5, L"1234.5"},
        {9999999, 1, L"9999999"},
        {2e7, 1e6, L"2.0e+07"},  // beyond fixed notation: digits down to the step
        {1234567.5, 0.5, L"1234567.5"},
        {1234567.5, 0.0005, L"1.2345675000e+06"},  // more than ten digits
        {3e-8, 1e-8, L"3e-08"},
        {0, 1e-8, L"0e+00"},
        {1.25e9, 2.5e7, L"1.250e+09"},
        {1234, 0, L"1.23e+03"},  // no usable step: the default text
        {1234, std::numeric_limits<double>::infinity(), L"1.23e+03"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chart::FormatTickValue(c.value, c.step), c.text) << c.value << " step " << c.step;
    }
}

TEST(ChartModel, TickLabelsFollowTheFormatterUnlessItIsTheDefault) {
    ChartSet m;
    EXPECT_EQ(m.XTickLabel(4050, 50), L"4050");
    EXPECT_EQ(m.YTickLabel(4050, 50), L"4050");
    m.SetYValueFormatter(
        [](double v) { return L"<" + std::to_wstring(static_cast<int>(v)) + L">"; });
    EXPECT_EQ(m.YTickLabel(4050, 50), L"<4050>");
    EXPECT_EQ(m.XTickLabel(4050, 50), L"4050");
    m.SetYValueFormatter(chart::DefaultValueFormatter);  // the default handed back in
    EXPECT_EQ(m.YTickLabel(4050, 50), L"4050");
    m.SetYValueFormatter([](double v) { return chart::DefaultValueFormatter(v); });
    EXPECT_EQ(m.YTickLabel(4050, 50), L"4.05e+03");  // a formatter of the caller's own
}

namespace {

// A view's formatter: three decimals, and "0" near zero.
std::wstring ThreeDecimals(double v) {
    if (v > -0.001 && v < 0.001)
        return L"0";
    wchar_t buf[400];
    std::swprintf(buf, sizeof buf / sizeof buf[0], L"%0.3lf", v);
    return buf;
}

}  // namespace

// A tick label has the decimals its grid step needs and never fewer than the
// view's formatter gives, so that neighbours differ; anything around the
// formatter's number stays.
TEST(ChartModel, TickLabelsHaveTheDecimalsTheirStepNeeds) {
    ChartSet m;
    m.SetYValueFormatter(ThreeDecimals);
    m.SetXValueFormatter([](double v) { return ThreeDecimals(v) + L" s"; });
    struct Case {
        double value, step;
        const wchar_t* y;
        const wchar_t* x;
    };
    const Case cases[] = {
        {50, 10, L"50.000", L"50.000 s"},  // the formatter's decimals stay
        {0, 10, L"0", L"0 s"},
        {110.5908, 0.0002, L"110.5908", L"110.5908 s"},  // deep zoom: one more decimal
        {110.5910, 0.0002, L"110.5910", L"110.5910 s"},
        {110.5912, 0.0002, L"110.5912", L"110.5912 s"},
        {0, 0.5, L"0.000", L"0.000 s"},  // zero as its neighbours read
        {-0.5, 0.5, L"-0.500", L"-0.500 s"},
        {1e-6, 2e-7, L"1.0e-06", L"1.0e-06 s"},  // tiny data: not "0"
        {1.2e-6, 2e-7, L"1.2e-06", L"1.2e-06 s"},
        {4e-5, 1e-5, L"0.00004", L"0.00004 s"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(m.YTickLabel(c.value, c.step), c.y) << c.value << " step " << c.step;
        EXPECT_EQ(m.XTickLabel(c.value, c.step), c.x) << c.value << " step " << c.step;
    }

    // Five neighbouring grid lines read differently at every zoom depth.
    const std::function<std::wstring(double)> formatters[] = {
        ThreeDecimals, chart::DefaultValueFormatter,
        [](double v) { return chart::DefaultValueFormatter(v); }};
    for (const auto& f : formatters) {
        m.SetYValueFormatter(f);
        for (double step = 1e-9; step < 1e9; step *= 10) {
            for (const double factor : {1.0, 2.0, 5.0}) {
                for (const double at : {0.0, 110.591, -4321.5, 1e-6, 12345678.0}) {
                    const double s = step * factor;
                    if (s < std::abs(at) * 1e-12)
                        continue;  // finer than doubles tell apart there
                    const double first = std::round(at / s) * s;
                    std::set<std::wstring> labels;
                    for (int k = 0; k < 5; ++k) labels.insert(m.YTickLabel(first + k * s, s));
                    EXPECT_EQ(labels.size(), 5u) << "step " << s << " near " << at;
                }
            }
        }
    }
}

TEST(ChartModel, Formatters) {
    struct Case {
        double v;
        const wchar_t* text;
    } cases[] = {{100, L"100"},    {0.5, L"0.5"}, {1234, L"1.23e+03"}, {-0.000123456, L"-0.000123"},
                 {1e-5, L"1e-05"}, {0, L"0"},     {99999, L"1e+05"}};
    for (const Case& c : cases) EXPECT_EQ(chart::DefaultValueFormatter(c.v), c.text) << c.v;

    ChartSet m;
    EXPECT_EQ(m.XValueFormatter()(0.5), L"0.5");
    m.SetXValueFormatter([](double v) { return std::to_wstring(static_cast<int>(v)); });
    EXPECT_EQ(m.XValueFormatter()(7.9), L"7");
    EXPECT_EQ(m.YValueFormatter()(1234), L"1.23e+03");
    m.SetXValueFormatter(nullptr);  // back to the default rather than an empty function
    EXPECT_EQ(m.XValueFormatter()(0.5), L"0.5");
}

TEST(ChartSeries, GetPointRange) {
    ChartSeries s;
    s.SetPoints(std::vector<ChartPoint>{{1, 0}, {3, 0}, {3, 1}, {5, 0}, {7, 0}});
    struct Case {
        double a, b;
        size_t first, count;  // count 0: empty
    } cases[] = {
        {2, 4, 0, 4},                  // one point beyond on each side
        {3, 3, 2, 2},                  // the last of equal x starts the run
        {0, 10, 0, 5},                 // no point beyond: the run ends at the ends
        {0, 0.5, 0, 0},                // wholly before the first point
        {8, 9, 0, 0},                  // wholly after the last point
        {7, 9, 4, 1},                  // only the last point
        {0, 1, 0, 2},   {4, 2, 0, 4},  // given the wrong way round
    };
    for (const Case& c : cases) {
        const auto run = s.GetPointRange(c.a, c.b);
        SCOPED_TRACE(testing::Message() << "[" << c.a << ", " << c.b << "]");
        ASSERT_EQ(run.size(), c.count);
        if (c.count) {
            EXPECT_EQ(run.First(), c.first);
        }
    }
    EXPECT_TRUE(ChartSeries().GetPointRange(0, 1).empty());
}
