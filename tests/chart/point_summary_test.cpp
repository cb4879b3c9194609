// The min/max summary beside a chart's points: every range query must equal
// a plain scan, however the points arrived (loaded, appended one by one or in
// batches, after a clear).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "chart/chart_series.h"
#include "chart/point_summary.h"

namespace chart {
namespace {

YExtent ScanExtent(const PointStore& p, size_t first, size_t last) {
    YExtent e{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (size_t i = first; i < last && i < p.size(); ++i) {
        if (p[i].y < e.min)
            e.min = p[i].y;
        if (p[i].y > e.max)
            e.max = p[i].y;
    }
    return e;
}

std::vector<ChartPoint> RandomWalk(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> step(0.0, 1.0);
    std::vector<ChartPoint> p(n);
    double y = 0;
    for (size_t i = 0; i < n; ++i) {
        y += step(rng);
        p[i] = {static_cast<double>(i), y};
    }
    return p;
}

// Checks every range whose ends are near block edges, and random ones.
::testing::AssertionResult MatchesScan(const ChartSeries& series) {
    const PointStore& p = series.Points();
    std::vector<size_t> ends;
    for (size_t i = 0; i <= p.size(); ++i) {
        const size_t m = i % PointSummary::kBlock;
        if (m <= 1 || m == PointSummary::kBlock - 1 || i == p.size())
            ends.push_back(i);
    }
    std::mt19937 rng(7);
    for (int k = 0; k < 200 && !p.empty(); ++k) ends.push_back(rng() % (p.size() + 1));
    for (size_t a : ends) {
        for (size_t b : ends) {
            if (a > b)
                continue;
            const YExtent got = series.YExtentOf(a, b);
            const YExtent want = ScanExtent(p, a, b);
            if (got.min != want.min || got.max != want.max) {
                return ::testing::AssertionFailure()
                       << "range [" << a << ", " << b << ") of " << p.size() << ": got " << got.min
                       << ".." << got.max << ", want " << want.min << ".." << want.max;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(PointSummary, QueriesEqualAScanWhateverTheWayThePointsCame) {
    const std::vector<ChartPoint> all = RandomWalk(1000, 1);
    struct Case {
        const char* name;
        size_t loaded;                // points given to SetPoints first
        std::vector<size_t> batches;  // then appended in these sizes, then the rest at once
    };
    const Case cases[] = {
        {"loaded at once", 1000, {}},
        {"one point at a time", 0, std::vector<size_t>(1000, 1)},
        {"odd batches", 0, {3, 17, 16, 1, 250, 13}},
        {"loaded then appended", 333, {1, 15, 16}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChartSeries s;
        s.SetPoints(std::span(all).first(c.loaded));
        size_t used = c.loaded;
        for (size_t n : c.batches) {
            ASSERT_TRUE(s.AppendPoints(std::span(all).subspan(used, n)));
            used += n;
        }
        if (used < all.size()) {
            ASSERT_TRUE(s.AppendPoints(std::span(all).subspan(used)));
        }
        EXPECT_TRUE(MatchesScan(s));
    }
}

TEST(PointSummary, FollowsClearAndReloadAndShortCharts) {
    ChartSeries s;
    EXPECT_TRUE(MatchesScan(s));  // no points: every range is empty
    const std::vector<ChartPoint> walk = RandomWalk(100, 2);
    s.SetPoints(walk);
    s.ClearPoints();
    EXPECT_EQ(s.YExtentOf(0, 100).min, std::numeric_limits<double>::infinity());
    // Points after a clear are a new curve: none of the old extremes linger.
    const std::vector<ChartPoint> flat(40, ChartPoint{1.0, 5.0});
    ASSERT_TRUE(s.AppendPoints(flat));
    EXPECT_TRUE(MatchesScan(s));
    EXPECT_EQ(s.YExtentOf(0, 40).max, 5.0);
    s.SetPoints(RandomWalk(5, 3));  // shorter than a block
    EXPECT_TRUE(MatchesScan(s));
}

TEST(PointSummary, SingleSpikeIsFoundInEveryRangeHoldingIt) {
    std::vector<ChartPoint> p(1 << 16);
    for (size_t i = 0; i < p.size(); ++i) p[i] = {static_cast<double>(i), 0.0};
    p[40000].y = 1e6;
    p[40001].y = std::nan("");  // NaN is no extreme
    ChartSeries s;
    s.SetPoints(p);
    EXPECT_EQ(s.YExtentOf(0, p.size()).max, 1e6);
    EXPECT_EQ(s.YExtentOf(39999, 40001).max, 1e6);
    EXPECT_EQ(s.YExtentOf(40001, p.size()).max, 0.0);
    EXPECT_EQ(s.YExtentOf(40001, p.size()).min, 0.0);
}

TEST(PointSummary, FirstFailingEqualsABinarySearchNearAndFarFromAnyGuess) {
    std::vector<ChartPoint> p = RandomWalk(5000, 4);
    for (size_t i = 0; i < p.size(); ++i) {
        const size_t three = i / 3;  // equal x in threes
        p[i].x = static_cast<double>(three);
    }
    ChartSeries s;
    s.SetPoints(p);
    std::mt19937 rng(9);
    // Limits just past `from`, a few blocks on, beyond the short walk, and past the end.
    for (int k = 0; k < 2000; ++k) {
        const size_t from = rng() % p.size();
        const double spans[] = {0, 1, 7, 40, 400, 3000};
        const double limit = p[from].x + spans[k % 6] + 0.5;
        auto passes = [limit](double x) { return x <= limit; };
        const size_t want = static_cast<size_t>(
            std::partition_point(p.begin() + static_cast<std::ptrdiff_t>(from), p.end(),
                                 [&](const ChartPoint& q) { return passes(q.x); }) -
            p.begin());
        // Whatever the guess: none, right, short or far of the answer, past the end.
        const size_t guesses[] = {0, want, from + (want - from) / 2, want + 50, p.size() + 100};
        for (const size_t guess : guesses) {
            ASSERT_EQ(s.FirstFailing(from, passes, guess), want)
                << "from " << from << " limit " << limit << " guess " << guess;
        }
    }
}

}  // namespace
}  // namespace chart
