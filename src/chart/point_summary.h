#pragma once
// A min/max pyramid over the y values of a chart's points, kept beside the
// points so that drawing a long recording costs per pixel column, not per
// point: the smallest and largest y of any index range come from O(log n)
// nodes instead of a scan.
//
// Level 0 holds the extremes of each complete block of kBlock points; level
// k + 1 pairs complete nodes of level k. Appending carries finished blocks
// upwards, amortized O(1) per point; a few raw points at each end of a query
// are read from the points themselves.
//
// Owned by CChartSeries and used on the window thread only. NaN y values take
// no part in the extremes.

#include <cstddef>
#include <span>
#include <vector>

namespace chart {

struct ChartPoint;

struct YExtent {
    double min;  // +inf (and max -inf) when the range holds no number
    double max;
};

class CPointSummary {
public:
    static constexpr size_t kBlock = 16;

    // Rebuilds the pyramid for all of `points`.
    void Rebuild(std::span<const ChartPoint> points);
    // Takes in points appended since the last call; `points` is the whole,
    // grown sequence (its first size() - newCount points are summarized already).
    void Append(std::span<const ChartPoint> points);
    void Clear();

    // Extremes of y over points [first, last); `points` is the sequence summarized.
    YExtent Query(std::span<const ChartPoint> points, size_t first, size_t last) const;

    // Number of points summarized.
    size_t Size() const { return count_; }

private:
    void AddBlock(YExtent block);

    std::vector<std::vector<YExtent>> levels_;
    size_t count_ = 0;
};

}  // namespace chart
