#pragma once
// Statistics of one chart over a selected x range, and the chart's value
// under the mouse, as the label boxes show them.

#include <optional>

#include "chart/chart_series.h"

namespace chart {

// A value left empty is shown as "-".
struct ChartStatistics {
    std::optional<double> start;
    std::optional<double> end;
    std::optional<double> delta;
    std::optional<double> dvdt;
    std::optional<double> min;
    std::optional<double> max;
    std::optional<double> avg;      // plain mean of the samples, not weighted by x
    std::optional<double> surface;  // trapezoidal integral from the start to the end sample
};

// The range may be given in either order. Values between points are
// interpolated linearly at the range's ends.
ChartStatistics ComputeChartStatistics(const ChartSeries& series, double selectionStart,
                                       double selectionEnd);

// The chart's value at x, interpolated between the points around it; empty
// when x lies outside the chart or exactly on its last point.
std::optional<double> ChartValueAt(const ChartSeries& series, double x);

}  // namespace chart
