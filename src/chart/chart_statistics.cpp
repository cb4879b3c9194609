#include "chart/chart_statistics.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace chart {

namespace {

// y at x on the line through p and q; p.y when the two share their x.
double Interpolate(const ChartPoint& p, const ChartPoint& q, double x) {
    if (q.x == p.x)
        return p.y;
    return p.y + (q.y - p.y) * (x - p.x) / (q.x - p.x);
}

// The statistics of a run of finite points covering [a, b].
template <class Points>
ChartStatistics StatisticsOf(const Points& run, double a, double b) {
    ChartStatistics st;
    if (run.empty())
        return st;

    if (run.size() == 1) {
        const double y = run[0].y;
        st.start = st.end = st.min = st.max = st.avg = y;
        st.delta = st.surface = 0.0;
        return st;  // one sample has no slope
    }

    const ChartPoint& first = run.front();
    const ChartPoint& last = run.back();
    const size_t n = run.size();

    // Start sample: the first point, or the curve's value at a.
    double xs = first.x, ys = first.y;
    if (a > first.x) {
        size_t i = 1;
        while (i < n - 1 && run[i].x < a) ++i;
        xs = a;
        ys = Interpolate(first, run[i], a);
    }
    // End sample: the last point, or the curve's value at b.
    double xe = last.x, ye = last.y;
    if (b < last.x) {
        size_t j = n - 1;
        while (j > 0 && run[j].x > b) --j;
        xe = b;
        ye = Interpolate(run[j], last, b);
    }

    st.start = ys;
    st.end = ye;
    st.delta = ye - ys;
    // A range of zero width has no slope: leave it empty rather than show a NaN.
    if (xe != xs)
        st.dvdt = (ye - ys) / (xe - xs);

    if (n == 2) {
        st.min = std::min(ys, ye);
        st.max = std::max(ys, ye);
        st.avg = (ys + ye) / 2;
        st.surface = ((ye - ys) / 2 + ys) * (xe - xs);
        return st;
    }

    ChartPoint prev{xs, ys};
    size_t count = 1;
    double sum = ys, lo = ys, hi = ys, area = 0.0;
    for (size_t i = 1; i < n; ++i) {
        const ChartPoint& p = run[i];
        if (p.x <= b) {
            ++count;
            sum += p.y;
            lo = std::min(lo, p.y);
            hi = std::max(hi, p.y);
            area += (p.x - prev.x) * (prev.y + (p.y - prev.y) / 2);
            prev = p;
        } else {
            ++count;
            sum += ye;
            lo = std::min(lo, ye);
            hi = std::max(hi, ye);
            area += (xe - prev.x) * (prev.y + (ye - prev.y) / 2);
            break;
        }
    }
    st.min = lo;
    st.max = hi;
    st.avg = sum / static_cast<double>(count);
    st.surface = area;
    return st;
}

}  // namespace

ChartStatistics ComputeChartStatistics(const ChartSeries& series, double selectionStart,
                                       double selectionEnd) {
    const double a = std::min(selectionStart, selectionEnd);
    const double b = std::max(selectionStart, selectionEnd);
    if (a != a || b != b)
        return {};
    const PointRun run = series.GetPointRange(a, b);
    // Points that are not finite are no readings: the statistics are those
    // of the chart without them. The run's ends are finite already.
    if (std::all_of(run.begin(), run.end(), IsFinitePoint))
        return StatisticsOf(run, a, b);
    std::vector<ChartPoint> finite;
    std::copy_if(run.begin(), run.end(), std::back_inserter(finite), IsFinitePoint);
    return StatisticsOf(finite, a, b);
}

std::optional<double> ChartValueAt(const ChartSeries& series, double x) {
    const PointRun run = series.GetPointRange(x, x);
    if (run.size() < 2)
        return std::nullopt;
    return Interpolate(run.front(), run.back(), x);
}

}  // namespace chart
