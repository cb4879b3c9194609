#include "chart/chart_series.h"

#include <algorithm>
#include <utility>

namespace chart {

void CChartSeries::GrowExtents(std::span<const ChartPoint> added) {
    minX_ = points_.front().x;
    maxX_ = points_.back().x;
    for (const ChartPoint& p : added) {
        if (p.y < minY_)
            minY_ = p.y;
        if (p.y > maxY_)
            maxY_ = p.y;
    }
}

void CChartSeries::SetPoints(std::span<const ChartPoint> points) {
    SetPoints(std::vector<ChartPoint>(points.begin(), points.end()));
}

void CChartSeries::SetPoints(std::vector<ChartPoint>&& points) {
    points_ = std::move(points);
    if (!std::is_sorted(points_.begin(), points_.end(), PointLess)) {
        std::sort(points_.begin(), points_.end(), PointLess);
    }
    summary_.Rebuild(points_);
    drawCache.reset();
    if (points_.empty())
        return;
    minY_ = kNoMin;
    maxY_ = kNoMax;
    GrowExtents(points_);
}

bool CChartSeries::AppendPoints(std::span<const ChartPoint> points) {
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
    if (points_.empty()) {
        minY_ = kNoMin;
        maxY_ = kNoMax;
    }
    points_.insert(points_.end(), batch.begin(), batch.end());
    summary_.Append(points_);
    GrowExtents(batch);
    return true;
}

std::span<const ChartPoint> CChartSeries::GetPointRange(double a, double b) const {
    if (points_.empty() || a != a || b != b)
        return {};
    if (a > b)
        std::swap(a, b);
    if (b < points_.front().x || a > points_.back().x)
        return {};
    const auto begin = points_.begin(), end = points_.end();
    auto first = std::partition_point(begin, end, [a](const ChartPoint& p) { return p.x <= a; });
    if (first != begin)
        --first;  // the last point with x <= a
    auto last = std::partition_point(begin, end, [b](const ChartPoint& p) { return p.x <= b; });
    if (last == end)
        --last;  // no point beyond b: the run ends with the last point
    return {&*first, static_cast<size_t>(last - first) + 1};
}

}  // namespace chart
