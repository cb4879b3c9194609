#pragma once
// One point of a chart: two doubles, with no unit attached; the chart
// control's value formatters decide how each is shown.

namespace chart {

struct ChartPoint {
    double x = 0.0;
    double y = 0.0;
};

}  // namespace chart
