#pragma once
// What a quality department reads off a reflow curve: peak, times above the
// liquidus and within 5 degrees of the peak, preheat time, ramps, the
// steepest 10-s rise and fall, and how far the curve strayed from its
// profile or from a reference record. A metric that cannot be had (its
// temperature is never reached, the curve is too short) is empty, never 0:
// an empty metric fails any limit set on it.

#include <array>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "chart/chart_point.h"

namespace report {

enum class Metric {
    kPeakC,
    kPeakTimeS,
    kTime25ToPeakS,
    kPreheatS,
    kRampUpCPerS,
    kRampDownCPerS,
    kTimeAboveLiquidusS,
    kTimeWithin5OfPeakS,
    kMaxRiseCPerS,
    kMaxFallCPerS,
    kProfileMaxDevC,
    kProfileRmsDevC,
    kReferenceMaxDevC,
    kReferenceRmsDevC,
};
inline constexpr size_t kMetricCount = 14;

// The key of a metric in windows, JSON and the text report ("peak_c").
std::string_view MetricName(Metric m);
std::optional<Metric> MetricFromName(std::string_view name);
// All metrics, in report order.
std::span<const Metric> AllMetrics();

// The temperatures a window judges by; the metrics depend on them.
struct Temperatures {
    double tsMin = 150;  // preheat band
    double tsMax = 200;
    double tL = 217;  // liquidus
};

struct BakeMetrics {
    std::array<std::optional<double>, kMetricCount> values;
    std::optional<double>& operator[](Metric m) { return values[static_cast<size_t>(m)]; }
    const std::optional<double>& operator[](Metric m) const {
        return values[static_cast<size_t>(m)];
    }
};

// The points that carry a value: y < 0 ("no value") and non-finite points
// are left out. The order (ascending x) is kept.
std::vector<chart::ChartPoint> ValuedPoints(std::span<const chart::ChartPoint> points);

// T(t) on valued points, straight between neighbours; empty outside them.
std::optional<double> ValueAt(std::span<const chart::ChartPoint> valued, double t);

// The first time the curve reaches `level` (interpolated; the first point's
// x when it starts there or above); empty when it never does.
std::optional<double> TimeUp(std::span<const chart::ChartPoint> valued, double level);
// The first time after the peak that the curve falls below `level`.
std::optional<double> TimeDown(std::span<const chart::ChartPoint> valued, double level);
// The total time with T >= level; empty when T never reaches it.
std::optional<double> TimeAtOrAbove(std::span<const chart::ChartPoint> valued, double level);

// The 10-s rate of rise, (T(x) - T(x - 10)) / 10 at every valued point x
// with x - 10 at or after the first point: the small plot of the report.
std::vector<chart::ChartPoint> RateOfRise(std::span<const chart::ChartPoint> valued);

struct Deviation {
    double maxAbs = 0;  // the largest |T - P|
    double rms = 0;
};
// T(x) - P(x) at every valued point x of `curve` inside the x range of
// `guide` (2 or more valued points); empty when there is no such point.
std::optional<Deviation> DeviationFrom(std::span<const chart::ChartPoint> curve,
                                       std::span<const chart::ChartPoint> guide);

// Every metric of `curve` (raw chart points). `profile` and `reference` may
// be empty; they are filtered the same way.
BakeMetrics ComputeBakeMetrics(std::span<const chart::ChartPoint> curve, const Temperatures& t,
                               std::span<const chart::ChartPoint> profile = {},
                               std::span<const chart::ChartPoint> reference = {});

}  // namespace report
