// A chart's points in chunks: appends across chunk ends keep every point
// where it was, and the chart reads exactly as one array of the same points
// would (extents, summaries, runs), non-finite points left out as before.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <span>
#include <vector>

#include "chart/chart_series.h"
#include "chart/point_store.h"

namespace chart {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

ChartPoint PointAt(size_t i) {
    return {static_cast<double>(i) * 0.01, std::sin(static_cast<double>(i) * 0.001) * 100.0};
}

TEST(ChartPointStore, ChunkPlacesCoverEveryIndexOnce) {
    // Each index maps to the slot after the one before it, or to the first
    // slot of the next chunk once a chunk is full.
    point_chunks::Place last = point_chunks::Locate(0);
    EXPECT_EQ(0u, last.chunk);
    EXPECT_EQ(0u, last.offset);
    for (size_t i = 1; i < point_chunks::kGrowingPoints + 3 * point_chunks::kChunk; ++i) {
        const point_chunks::Place p = point_chunks::Locate(i);
        const bool full = last.offset + 1 == point_chunks::ChunkCapacity(last.chunk);
        const point_chunks::Place want = full ? point_chunks::Place{last.chunk + 1, 0}
                                              : point_chunks::Place{last.chunk, last.offset + 1};
        ASSERT_EQ(want.chunk, p.chunk) << "index " << i;
        ASSERT_EQ(want.offset, p.offset) << "index " << i;
        last = p;
    }
}

TEST(ChartPointStore, AppendsAcrossChunkEndsNeverMoveStoredPoints) {
    PointStore store;
    std::vector<const ChartPoint*> addresses;
    const size_t total = point_chunks::kGrowingPoints + 2 * point_chunks::kChunk + 5;
    for (size_t i = 0; i < total; ++i) {
        store.push_back(PointAt(i));
        addresses.push_back(&store[i]);
    }
    ASSERT_EQ(total, store.size());
    for (size_t i = 0; i < total; ++i) {
        ASSERT_EQ(addresses[i], &store[i]) << "point " << i << " moved";
        ASSERT_EQ(PointAt(i).x, store[i].x);
        ASSERT_EQ(PointAt(i).y, store[i].y);
    }
    // Iteration, front and back agree with indexing.
    EXPECT_EQ(total, static_cast<size_t>(std::distance(store.begin(), store.end())));
    EXPECT_EQ(PointAt(total - 1).x, store.back().x);
    EXPECT_EQ(0.0, store.front().x);
    // A copy owns its own chunks: appending to it leaves the original alone.
    PointStore copy = store;
    copy.push_back(PointAt(total));
    EXPECT_EQ(total, store.size());
    EXPECT_NE(&copy[0], &store[0]);
    EXPECT_EQ(store[total - 1].y, copy[total - 1].y);
}

TEST(ChartPointStore, ViewKeepsItsPointsWhileTheStoreAppendsOrClears) {
    PointStore store;
    for (size_t i = 0; i < 300; ++i) store.push_back(PointAt(i));  // past the first chunk
    const PointsView view = store.View();
    for (size_t i = 300; i < 1000; ++i) store.push_back(PointAt(i));
    store.clear();
    for (size_t i = 0; i < 10; ++i) store.push_back({-1.0, -1.0});
    ASSERT_EQ(300u, view.size());
    for (size_t i = 0; i < view.size(); ++i) {
        ASSERT_EQ(PointAt(i).x, view[i].x);
        ASSERT_EQ(PointAt(i).y, view[i].y);
    }
}

// The chart as a single sorted array of the same points read it: the
// extents over the finite points, the run of GetPointRange and the y
// extremes of any index range.
struct Reference {
    std::vector<ChartPoint> points;

    std::vector<ChartPoint> Finite() const {
        std::vector<ChartPoint> f;
        std::copy_if(points.begin(), points.end(), std::back_inserter(f), IsFinitePoint);
        return f;
    }
    std::vector<double> RunXs(double a, double b) const {
        // Indices of the first and last finite points bound the search.
        size_t begin = 0, end = points.size();
        while (begin < end && !IsFinitePoint(points[begin])) ++begin;
        while (end > begin && !IsFinitePoint(points[end - 1])) --end;
        if (begin == end || b < points[begin].x || a > points[end - 1].x)
            return {};
        size_t first = begin;
        for (size_t i = begin; i < end; ++i)
            if (points[i].x <= a)
                first = i;
        size_t last = end - 1;
        for (size_t i = begin; i < end; ++i)
            if (points[i].x > b) {
                last = i;
                break;
            }
        while (!IsFinitePoint(points[first])) --first;
        while (!IsFinitePoint(points[last])) ++last;
        std::vector<double> xs;
        for (size_t i = first; i <= last; ++i) xs.push_back(points[i].x);
        return xs;
    }
};

TEST(ChartPointStore, ChartReadsAsOneArrayOfTheSamePointsWould) {
    struct Case {
        const char* name;
        size_t loaded;                // points given to SetPoints first
        std::vector<size_t> batches;  // then appended in batches of these sizes
        size_t nonFiniteEvery;        // every n-th point gets a NaN or infinite y (0: none)
    };
    const size_t chunkEnd = point_chunks::kGrowingPoints;
    const std::vector<Case> cases = {
        {"one by one over the first chunk ends", 0, std::vector<size_t>(1100, 1), 0},
        {"loaded up to a chunk end, then appended", 256, {1, 255, 1, 600}, 7},
        {"batches straddling the last growing chunk's end", chunkEnd - 3, {2, 1, 1, 70000}, 0},
        {"loaded across several chunks with gaps", chunkEnd + 70000, {1}, 11},
        {"appended in odd batches with gaps", 0, {13, 244, 1, 1, 3000, 65536, 77}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t total = c.loaded;
        for (size_t n : c.batches) total += n;
        std::vector<ChartPoint> all(total);
        for (size_t i = 0; i < total; ++i) {
            all[i] = PointAt(i);
            if (c.nonFiniteEvery && i % c.nonFiniteEvery == 3)
                all[i].y = (i / c.nonFiniteEvery) % 2 ? kNaN : -kInf;
        }
        ChartSeries s;
        s.SetPoints(std::span(all).first(c.loaded));
        size_t used = c.loaded;
        for (size_t n : c.batches) {
            ASSERT_TRUE(s.AppendPoints(std::span(all).subspan(used, n)));
            used += n;
        }
        const Reference ref{all};
        const std::vector<ChartPoint> finite = ref.Finite();
        ASSERT_FALSE(finite.empty());
        ASSERT_EQ(total, s.Points().size());
        EXPECT_EQ(finite.front().x, s.MinX());
        EXPECT_EQ(finite.back().x, s.MaxX());
        const auto [lo, hi] =
            std::minmax_element(finite.begin(), finite.end(),
                                [](const ChartPoint& a, const ChartPoint& b) { return a.y < b.y; });
        EXPECT_EQ(lo->y, s.MinY());
        EXPECT_EQ(hi->y, s.MaxY());

        std::mt19937 rng(3);
        for (int k = 0; k < 40; ++k) {
            size_t a = rng() % (total + 1), b = rng() % (total + 1);
            if (a > b)
                std::swap(a, b);
            double want_min = kInf, want_max = -kInf;
            for (size_t i = a; i < b; ++i) {
                if (std::isfinite(all[i].y)) {
                    want_min = std::min(want_min, all[i].y);
                    want_max = std::max(want_max, all[i].y);
                }
            }
            const YExtent got = s.YExtentOf(a, b);
            ASSERT_EQ(want_min, got.min) << "[" << a << ", " << b << ")";
            ASSERT_EQ(want_max, got.max) << "[" << a << ", " << b << ")";

            const double xa = all[a % total].x + 0.004, xb = xa + 0.01 * double(rng() % 5000);
            std::vector<double> runXs;
            for (const ChartPoint& p : s.GetPointRange(xa, xb)) runXs.push_back(p.x);
            ASSERT_EQ(ref.RunXs(xa, xb), runXs) << "run over [" << xa << ", " << xb << "]";
        }
    }
}

}  // namespace
}  // namespace chart
