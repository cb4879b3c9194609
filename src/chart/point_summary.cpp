#include "chart/point_summary.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "chart/chart_series.h"

namespace chart {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Only finite values become extremes: a NaN or an infinity is no reading.
void Widen(YExtent& e, double y) {
    if (!std::isfinite(y))
        return;
    if (y < e.min)
        e.min = y;
    if (y > e.max)
        e.max = y;
}

void Widen(YExtent& e, const YExtent& other) {
    if (other.min < e.min)
        e.min = other.min;
    if (other.max > e.max)
        e.max = other.max;
}

YExtent Scan(const PointStore& points, size_t first, size_t last) {
    YExtent e{kInf, -kInf};
    for (size_t i = first; i < last; ++i) Widen(e, points[i].y);
    return e;
}

}  // namespace

void PointSummary::Clear() {
    levels_.clear();
    blockX_.clear();
    count_ = 0;
}

void PointSummary::Rebuild(const PointStore& points) {
    Clear();
    Append(points);
}

void PointSummary::Append(const PointStore& points) {
    if (points.size() < count_) {
        Clear();
    }
    // Only whole blocks enter the pyramid; the tail is read raw by queries.
    size_t done = count_ / kBlock * kBlock;
    count_ = points.size();
    while (done + kBlock <= count_) {
        blockX_.push_back(points[done].x);
        AddBlock(Scan(points, done, done + kBlock));
        done += kBlock;
    }
}

void PointSummary::AddBlock(YExtent block) {
    for (size_t level = 0;; ++level) {
        if (levels_.size() == level)
            levels_.emplace_back();
        std::vector<YExtent>& nodes = levels_[level];
        nodes.push_back(block);
        if (nodes.size() % 2 != 0)
            return;
        // A pair completed: its parent goes one level up.
        Widen(block, nodes[nodes.size() - 2]);
    }
}

void PointSummary::Prefetch(const PointStore& points, size_t index) const {
    if (index >= points.size())
        return;
    const size_t block = index / kBlock;
    const size_t first = block * kBlock, last = std::min(first + kBlock, points.size());
    constexpr size_t kPointsPerLine = 64 / sizeof(ChartPoint);
    for (size_t i = first; i < last; i += kPointsPerLine) __builtin_prefetch(&points[i]);
    if (block < blockX_.size())
        __builtin_prefetch(&blockX_[block]);
    size_t node = block;
    for (const std::vector<YExtent>& nodes : levels_) {
        if (node >= nodes.size())
            break;
        __builtin_prefetch(&nodes[node]);
        node /= 2;
    }
}

YExtent PointSummary::Query(const PointStore& points, size_t first, size_t last) const {
    if (last > points.size())
        last = points.size();
    if (first >= last)
        return {kInf, -kInf};
    size_t blockFirst = (first + kBlock - 1) / kBlock;
    size_t blockLast = std::min(last, count_) / kBlock;
    if (blockFirst >= blockLast)
        return Scan(points, first, last);

    YExtent e = Scan(points, first, blockFirst * kBlock);
    Widen(e, Scan(points, blockLast * kBlock, last));
    // Bottom-up segment-tree walk: every node taken lies wholly inside the
    // range, and a parent exists for every pair left between the bounds.
    for (size_t level = 0; blockFirst < blockLast; ++level) {
        const std::vector<YExtent>& nodes = levels_[level];
        if (blockFirst % 2 != 0)
            Widen(e, nodes[blockFirst++]);
        if (blockLast % 2 != 0)
            Widen(e, nodes[--blockLast]);
        blockFirst /= 2;
        blockLast /= 2;
    }
    return e;
}

}  // namespace chart
