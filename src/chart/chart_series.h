#pragma once
// One chart: a named curve with a line style and its points in ascending x.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "chart/chart_point.h"
#include "chart/point_store.h"
#include "chart/point_summary.h"

namespace chart {

// Turns a value into the text shown for it.
using ValueFormatter = std::function<std::wstring(double)>;

// Order of points by x alone. A NaN x sorts after every number, so that a
// stray NaN can neither break the sort nor the binary searches over points.
inline bool PointLess(const ChartPoint& a, const ChartPoint& b) {
    return a.x < b.x || (b.x != b.x && a.x == a.x);
}

// A point that can be drawn, measured and counted: both coordinates finite.
inline bool IsFinitePoint(const ChartPoint& p) {
    return p.x - p.x == 0 && p.y - p.y == 0;  // false for NaN and infinities
}

// A cache slot that a copy does not share: two charts that diverge after a
// copy must not draw from one another's reductions.
class DrawCacheSlot {
public:
    DrawCacheSlot() = default;
    DrawCacheSlot(const DrawCacheSlot&) {}
    DrawCacheSlot(DrawCacheSlot&&) noexcept = default;
    DrawCacheSlot& operator=(const DrawCacheSlot& other) {
        if (&other != this)
            value.reset();
        return *this;
    }
    DrawCacheSlot& operator=(DrawCacheSlot&&) noexcept = default;
    void reset() { value.reset(); }

    std::shared_ptr<void> value;
};

// An owned PointSummary that a chart without points does without; a copy
// of the chart copies it.
class SummarySlot {
public:
    SummarySlot() = default;
    SummarySlot(const SummarySlot& other)
        : value_(other.value_ ? std::make_unique<PointSummary>(*other.value_) : nullptr) {}
    SummarySlot(SummarySlot&&) noexcept = default;
    SummarySlot& operator=(const SummarySlot& other) {
        if (this != &other)
            value_ = other.value_ ? std::make_unique<PointSummary>(*other.value_) : nullptr;
        return *this;
    }
    SummarySlot& operator=(SummarySlot&&) noexcept = default;

    explicit operator bool() const { return value_ != nullptr; }
    PointSummary* operator->() const { return value_.get(); }
    PointSummary& Get() {
        if (!value_)
            value_ = std::make_unique<PointSummary>();
        return *value_;
    }
    void reset() { value_.reset(); }

private:
    std::unique_ptr<PointSummary> value_;
};

class ChartSeries {
public:
    static constexpr double kNoMin = std::numeric_limits<double>::max();
    static constexpr double kNoMax = -std::numeric_limits<double>::max();

    int32_t id = -1;
    bool visible = true;
    bool selected = false;
    bool showPoints = false;
    uint32_t color = 0xFF000000;  // ARGB
    int32_t dashStyle = 0;        // 0 solid .. 4 dash-dot-dot, 5 crosses without a line
    float penWidth = 2.0f;
    float tension = 0.0f;
    std::wstring name;
    std::wstring yLabel = L"Y";

    // Every point as added or loaded, non-finite ones included: a file keeps
    // what it held however the chart shows it. Points once stored never move,
    // however many come after them.
    const PointStore& Points() const { return points_; }
    bool HasPoints() const { return !points_.empty(); }

    // x of the first and of the last finite point, smallest and largest y of
    // the finite points; a point with a NaN or infinite x or y takes no part.
    // A chart that never had a finite point keeps kNoMin/kNoMax; clearing
    // keeps the old values.
    double MinX() const { return minX_; }
    double MaxX() const { return maxX_; }
    double MinY() const { return minY_; }
    double MaxY() const { return maxY_; }
    // The extents hold the values of finite points (now or before a clear).
    bool HasExtents() const { return minX_ <= maxX_; }

    // Replaces the points with a sorted copy and recomputes the extents.
    void SetPoints(std::span<const ChartPoint> points);
    void SetPoints(std::vector<ChartPoint>&& points);
    // Appends points (sorted among themselves first). Refused, leaving the
    // chart unchanged, when they are empty or would come before the last
    // point; an equal x is accepted. Costs O(new points), however long the chart.
    bool AppendPoints(std::span<const ChartPoint> points);
    // Removes the points; the extents keep their values until points come again.
    void ClearPoints() {
        points_.clear();
        summary_.reset();
        finiteBegin_ = finiteEnd_ = 0;
        drawCache.reset();
    }

    // The run of points covering [a, b] plus one finite point beyond each
    // side where one exists: from the last finite point with x <= a (else the
    // first finite point) to the first finite point with x > b (else the last
    // finite point). Empty when b lies before the first finite point or a
    // after the last. Both ends of a run are finite; points between them may
    // still have a y that is not, and users of the run skip those.
    PointRun GetPointRange(double a, double b) const;

    // Extremes of the finite y over points [first, last) in O(log n), for
    // drawing long runs.
    YExtent YExtentOf(size_t first, size_t last) const {
        return summary_ ? summary_->Query(points_, first, last)
                        : YExtent{std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity()};
    }
    // Brings what reading near point `index` needs towards the processor.
    void Prefetch(size_t index) const {
        if (summary_)
            summary_->Prefetch(points_, index);
    }
    // The first index >= from whose x fails `passes` (true for a prefix of the
    // points), in O(log n) with few cache misses however long the chart; in
    // O(1) when `guess` lies within a few blocks of the answer.
    template <class PassesX>
    size_t FirstFailing(size_t from, PassesX passes, size_t guess = 0) const {
        if (!summary_)
            return from < points_.size() ? from : points_.size();
        return summary_->FirstFailing(points_, from, passes, guess);
    }

    // Whatever the drawing layer derived from the points for its last paint,
    // owned here so that it lives and dies with the chart. Dropped when the
    // points are replaced or cleared; appends keep it, and the drawing layer
    // checks how many points it saw.
    mutable DrawCacheSlot drawCache;

private:
    void ResetExtents();
    // Widens the extents by the finite points of `added`, the latest points
    // of the chart in x order.
    template <class Added>
    void GrowExtents(const Added& added, size_t addedAt);
    // Summary and extents for points just put in place of the old ones.
    void Summarize();

    PointStore points_;
    // Covers points_ whenever there are points. Held apart so that an empty
    // chart, of which a file may hold a great many, costs little.
    SummarySlot summary_;
    // [finiteBegin_, finiteEnd_): from the first to past the last point whose
    // x and y are both finite; every x in between is finite, as the order of
    // PointLess puts infinite and NaN x at the ends.
    size_t finiteBegin_ = 0;
    size_t finiteEnd_ = 0;
    double minX_ = kNoMin;
    double maxX_ = kNoMax;
    double minY_ = kNoMin;
    double maxY_ = kNoMax;
};

}  // namespace chart
