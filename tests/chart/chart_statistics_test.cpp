#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <vector>

#include "chart/chart_statistics.h"

using chart::ChartPoint;
using chart::ChartSeries;
using chart::ChartStatistics;

namespace {

ChartSeries Series(std::vector<ChartPoint> points) {
    ChartSeries s;
    s.SetPoints(points);
    return s;
}

constexpr double kNone = -12345.678;  // stands for "-" in the tables

double Or(const std::optional<double>& v) {
    return v ? *v : kNone;
}

std::vector<double> Row(const ChartStatistics& st) {
    return {Or(st.start), Or(st.end), Or(st.delta), Or(st.dvdt),
            Or(st.min),   Or(st.max), Or(st.avg),   Or(st.surface)};
}

}  // namespace

// Start, End, Delta, dv/dt, Min, Max, Avg, Surface of one chart over a range.
TEST(ChartStatistics, Table) {
    const ChartSeries three = Series({{1, 10}, {3, 30}, {5, 50}});
    const ChartSeries peak = Series({{0, 0}, {1, 100}, {2, 0}, {3, 50}, {4, 0}});
    const ChartSeries two = Series({{0, 0}, {10, 100}});
    const ChartSeries one = Series({{4, 7}});
    // The points of `three` with readings that are no numbers among them.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const ChartSeries nanX = Series({{1, 10}, {3, 30}, {5, 50}, {nan, 999}});
    const ChartSeries gaps = Series({{-inf, 5}, {1, 10}, {2, nan}, {3, 30}, {4, inf}, {5, 50}});
    const ChartSeries noNumbers = Series({{1, nan}, {nan, 2}});
    struct Case {
        const char* what;
        const ChartSeries* series;
        double from, to;
        std::vector<double> row;
    } cases[] = {
        {"inside, interpolated at both ends", &three, 2, 4, {20, 40, 20, 10, 20, 40, 30, 60}},
        {"beyond both ends", &three, 0, 10, {10, 50, 40, 10, 10, 50, 30, 120}},
        {"dragged leftwards", &three, 4, 2, {20, 40, 20, 10, 20, 40, 30, 60}},
        {"exactly on the points", &three, 1, 5, {10, 50, 40, 10, 10, 50, 30, 120}},
        {"starting on the middle point", &three, 3, 4, {30, 40, 10, 10, 30, 40, 35, 35}},
        {"wholly before the chart",
         &three,
         -5,
         0.5,
         {kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone}},
        {"wholly after the chart",
         &three,
         6,
         9,
         {kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone}},
        // Min and Max come from the samples, interior points included.
        {"peaks inside", &peak, 0.5, 3.5, {50, 25, -25, -25.0 / 3, 0, 100, 45, 131.25}},
        {"two points", &two, 2, 4, {20, 40, 20, 10, 20, 40, 30, 60}},
        {"two points, zero width", &two, 5, 5, {50, 50, 0, kNone, 50, 50, 50, 0}},
        {"one point", &one, 0, 10, {7, 7, 0, kNone, 7, 7, 7, 0}},
        {"range ending on the last point", &three, 5, 8, {50, 50, 0, kNone, 50, 50, 50, 0}},
        // Points that are not finite are left out, as if the chart had none.
        {"NaN x beyond both ends", &nanX, 0, 10, {10, 50, 40, 10, 10, 50, 30, 120}},
        {"NaN x, up to its x", &nanX, 4, 1e300, {40, 50, 10, 10, 40, 50, 45, 45}},
        {"non-finite points, beyond both ends", &gaps, 0, 10, {10, 50, 40, 10, 10, 50, 30, 120}},
        {"ends next to non-finite points", &gaps, 2, 4, {20, 40, 20, 10, 20, 40, 30, 60}},
        {"nothing finite",
         &noNumbers,
         0,
         10,
         {kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<double> row = Row(chart::ComputeChartStatistics(*c.series, c.from, c.to));
        ASSERT_EQ(row.size(), c.row.size());
        for (size_t i = 0; i < row.size(); ++i)
            EXPECT_NEAR(row[i], c.row[i], 1e-9) << "column " << i;
    }
}

// The chart's value under the mouse: between two points, or nothing.
TEST(ChartStatistics, ValueAt) {
    const ChartSeries s = Series({{1, 10}, {3, 30}, {3, 40}, {5, 0}});
    struct Case {
        double x, value;
    } cases[] = {
        {2, 20},      {1, 10},    {4, 20}, {3, 40},  // the last of equal x
        {5, kNone},                                  // exactly the last point
        {0.5, kNone}, {6, kNone},
    };
    for (const Case& c : cases) EXPECT_NEAR(Or(chart::ChartValueAt(s, c.x)), c.value, 1e-12) << c.x;
    // Across a point that is no number: between the finite ones around it.
    const ChartSeries gap =
        Series({{1, 10}, {2, std::numeric_limits<double>::quiet_NaN()}, {3, 30}});
    EXPECT_NEAR(Or(chart::ChartValueAt(gap, 2.5)), 25, 1e-12);
    EXPECT_FALSE(chart::ChartValueAt(ChartSeries(), 0).has_value());
}
