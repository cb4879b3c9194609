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
// Owned by ChartSeries and used on the window thread only. NaN and infinite
// y values take no part in the extremes.

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

#include "chart/chart_point.h"
#include "chart/point_store.h"

namespace chart {

struct YExtent {
    double min;  // +inf (and max -inf) when the range holds no number
    double max;
};

class PointSummary {
public:
    static constexpr size_t kBlock = 32;

    // Rebuilds the pyramid for all of `points`.
    void Rebuild(const PointStore& points);
    // Takes in points appended since the last call; `points` is the whole,
    // grown sequence (its first size() - newCount points are summarized already).
    void Append(const PointStore& points);
    void Clear();

    // Extremes of y over points [first, last); `points` is the sequence summarized.
    YExtent Query(const PointStore& points, size_t first, size_t last) const;

    // Asks the processor early for what a search or a query that ends near
    // point `index` will read: the block of points around it, the block's
    // first x and the nodes above it. Over a long chart each of those lies
    // in memory no cache holds, and a walk along pixel columns knows where
    // the next columns will end long before it gets there.
    void Prefetch(const PointStore& points, size_t index) const;

    // Number of points summarized.
    size_t Size() const { return count_; }

    // The first index i >= from whose x fails `passes` (a test true for a
    // prefix of the points in x order), or points.size(). Gallops over the
    // blocks' first x, which lie close together in memory, outwards from the
    // block of `guess` (any index; a good one saves most of the probes), and
    // reads at most one block of points: a search through a long chart's
    // points themselves would miss the cache at every probe.
    template <class PassesX>
    size_t FirstFailing(const PointStore& points, size_t from, PassesX passes,
                        size_t guess = 0) const;

private:
    void AddBlock(YExtent block);

    std::vector<std::vector<YExtent>> levels_;
    std::vector<double> blockX_;  // x of the first point of each complete block
    size_t count_ = 0;
};

template <class PassesX>
size_t PointSummary::FirstFailing(const PointStore& points, size_t from, PassesX passes,
                                  size_t guess) const {
    // Blocks from `block` on start after `from`; find the first whose first x
    // fails. Blocks [block, lo) pass, blocks [hi, end) fail.
    const size_t block = from / kBlock + 1;
    const size_t end = blockX_.size();
    size_t lo = block, hi = end;
    if (block < end) {
        const size_t start = std::clamp(guess / kBlock, block, end - 1);
        if (passes(blockX_[start])) {
            lo = start + 1;
            for (size_t step = 1; lo - 1 + step < hi; step *= 2) {
                const size_t probe = lo - 1 + step;
                if (!passes(blockX_[probe])) {
                    hi = probe;
                    break;
                }
                lo = probe + 1;
            }
        } else {
            hi = start;
            for (size_t step = 1; hi >= lo + step; step *= 2) {
                const size_t probe = hi - step;
                if (passes(blockX_[probe])) {
                    lo = probe + 1;
                    break;
                }
                hi = probe;
            }
        }
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            if (passes(blockX_[mid])) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
    }
    // The answer lies after the last passing block start, within one block.
    size_t i = std::max(from, lo > block ? (lo - 1) * kBlock : from);
    const size_t last = lo < end ? lo * kBlock : points.size();
    while (i < last && passes(points[i].x)) ++i;
    return i;
}

}  // namespace chart
