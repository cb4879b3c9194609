#include "chart/chart_series.h"

#include <algorithm>
#include <utility>

namespace chart {

void ChartSeries::ResetExtents() {
    minX_ = minY_ = kNoMin;
    maxX_ = maxY_ = kNoMax;
}

template <class Added>
void ChartSeries::GrowExtents(const Added& added, size_t addedAt) {
    for (size_t i = 0; i < added.size(); ++i) {
        const ChartPoint& p = added[i];
        if (!IsFinitePoint(p))
            continue;
        if (finiteBegin_ == finiteEnd_) {
            finiteBegin_ = addedAt + i;
            minX_ = p.x;
        }
        finiteEnd_ = addedAt + i + 1;
        maxX_ = p.x;
        minY_ = std::min(minY_, p.y);
        maxY_ = std::max(maxY_, p.y);
    }
}

void ChartSeries::SetPoints(std::span<const ChartPoint> points) {
    if (!std::is_sorted(points.begin(), points.end(), PointLess)) {
        SetPoints(std::vector<ChartPoint>(points.begin(), points.end()));
        return;
    }
    points_.clear();
    points_.Append(points);
    Summarize();
}

void ChartSeries::SetPoints(std::vector<ChartPoint>&& points) {
    if (!std::is_sorted(points.begin(), points.end(), PointLess)) {
        std::sort(points.begin(), points.end(), PointLess);
    }
    points_.clear();
    points_.Append(points);
    Summarize();
}

void ChartSeries::Summarize() {
    drawCache.reset();
    finiteBegin_ = finiteEnd_ = 0;
    if (points_.empty()) {
        summary_.reset();
        return;
    }
    summary_.Get().Rebuild(points_);
    ResetExtents();
    GrowExtents(points_, 0);
}

bool ChartSeries::AppendPoints(std::span<const ChartPoint> points) {
    if (points.empty())
        return false;
    std::vector<ChartPoint> sorted;
    std::span<const ChartPoint> batch = points;
    if (!std::is_sorted(points.begin(), points.end(), PointLess)) {
        sorted.assign(points.begin(), points.end());
        std::sort(sorted.begin(), sorted.end(), PointLess);
        batch = sorted;
    }
    if (!points_.empty() && PointLess(batch.front(), points_.back()))
        return false;
    // Points that follow a clear describe a new curve: the old extents go.
    if (points_.empty())
        ResetExtents();
    const size_t at = points_.size();
    points_.Append(batch);
    summary_.Get().Append(points_);
    GrowExtents(batch, at);
    return true;
}

PointRun ChartSeries::GetPointRange(double a, double b) const {
    if (finiteBegin_ == finiteEnd_ || a != a || b != b)
        return {};
    if (a > b)
        std::swap(a, b);
    const auto begin = points_.begin() + static_cast<std::ptrdiff_t>(finiteBegin_);
    const auto end = points_.begin() + static_cast<std::ptrdiff_t>(finiteEnd_);
    if (b < begin->x || a > (end - 1)->x)
        return {};
    auto first = std::partition_point(begin, end, [a](const ChartPoint& p) { return p.x <= a; });
    if (first != begin)
        --first;  // the last point with x <= a
    auto last = std::partition_point(begin, end, [b](const ChartPoint& p) { return p.x <= b; });
    if (last == end)
        --last;  // no point beyond b: the run ends with the last point
    // The ends move outwards past points whose y is not finite; the first
    // and the last point of [begin, end) are finite, so each walk stops there.
    while (!IsFinitePoint(*first)) --first;
    while (!IsFinitePoint(*last)) ++last;
    return {points_, first.Index(), static_cast<size_t>(last - first) + 1};
}

}  // namespace chart
