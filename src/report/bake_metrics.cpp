#include "report/bake_metrics.h"

#include <algorithm>
#include <cmath>

namespace report {

namespace {

using chart::ChartPoint;

constexpr std::array<std::string_view, kMetricCount> kNames = {
    "peak_c",
    "peak_time_s",
    "time_25_to_peak_s",
    "preheat_s",
    "ramp_up_c_per_s",
    "ramp_down_c_per_s",
    "time_above_liquidus_s",
    "time_within_5_of_peak_s",
    "max_rise_c_per_s",
    "max_fall_c_per_s",
    "profile_max_dev_c",
    "profile_rms_dev_c",
    "reference_max_dev_c",
    "reference_rms_dev_c",
};

constexpr std::array<Metric, kMetricCount> kAll = {
    Metric::kPeakC,
    Metric::kPeakTimeS,
    Metric::kTime25ToPeakS,
    Metric::kPreheatS,
    Metric::kRampUpCPerS,
    Metric::kRampDownCPerS,
    Metric::kTimeAboveLiquidusS,
    Metric::kTimeWithin5OfPeakS,
    Metric::kMaxRiseCPerS,
    Metric::kMaxFallCPerS,
    Metric::kProfileMaxDevC,
    Metric::kProfileRmsDevC,
    Metric::kReferenceMaxDevC,
    Metric::kReferenceRmsDevC,
};

// Index of the first point with the highest value; the points are not empty.
size_t PeakIndex(std::span<const ChartPoint> v) {
    size_t peak = 0;
    for (size_t i = 1; i < v.size(); ++i) {
        if (v[i].y > v[peak].y)
            peak = i;
    }
    return peak;
}

// x where the straight line from a to b has the value `level` (a.y != b.y).
double Crossing(const ChartPoint& a, const ChartPoint& b, double level) {
    return a.x + (level - a.y) / (b.y - a.y) * (b.x - a.x);
}

}  // namespace

std::string_view MetricName(Metric m) {
    return kNames[static_cast<size_t>(m)];
}

std::optional<Metric> MetricFromName(std::string_view name) {
    for (size_t i = 0; i < kNames.size(); ++i) {
        if (kNames[i] == name)
            return kAll[i];
    }
    return std::nullopt;
}

std::span<const Metric> AllMetrics() {
    return kAll;
}

std::vector<ChartPoint> ValuedPoints(std::span<const ChartPoint> points) {
    std::vector<ChartPoint> out;
    out.reserve(points.size());
    for (const ChartPoint& p : points) {
        if (std::isfinite(p.x) && std::isfinite(p.y) && p.y >= 0)
            out.push_back(p);
    }
    // A chart keeps its points in x order already; a caller's list may not.
    std::stable_sort(out.begin(), out.end(),
                     [](const ChartPoint& a, const ChartPoint& b) { return a.x < b.x; });
    return out;
}

std::optional<double> ValueAt(std::span<const ChartPoint> v, double t) {
    if (v.empty() || !(t >= v.front().x) || !(t <= v.back().x))
        return std::nullopt;
    const auto it = std::lower_bound(v.begin(), v.end(), t,
                                     [](const ChartPoint& p, double x) { return p.x < x; });
    if (it->x == t)
        return it->y;
    const ChartPoint& b = *it;
    const ChartPoint& a = *(it - 1);
    return a.y + (t - a.x) / (b.x - a.x) * (b.y - a.y);
}

std::optional<double> TimeUp(std::span<const ChartPoint> v, double level) {
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i].y >= level)
            return i == 0 ? v[0].x : Crossing(v[i - 1], v[i], level);
    }
    return std::nullopt;
}

std::optional<double> TimeDown(std::span<const ChartPoint> v, double level) {
    if (v.empty())
        return std::nullopt;
    const size_t peak = PeakIndex(v);
    if (v[peak].y < level)
        return std::nullopt;  // never up there, so never falls from it
    for (size_t i = peak + 1; i < v.size(); ++i) {
        if (v[i].y < level)
            return Crossing(v[i - 1], v[i], level);
    }
    return std::nullopt;
}

std::optional<double> TimeAtOrAbove(std::span<const ChartPoint> v, double level) {
    if (v.empty() || v[PeakIndex(v)].y < level)
        return std::nullopt;
    double total = 0;
    for (size_t i = 1; i < v.size(); ++i) {
        const ChartPoint& a = v[i - 1];
        const ChartPoint& b = v[i];
        const bool aUp = a.y >= level, bUp = b.y >= level;
        if (aUp && bUp)
            total += b.x - a.x;
        else if (aUp)
            total += Crossing(a, b, level) - a.x;
        else if (bUp)
            total += b.x - Crossing(a, b, level);
    }
    return total;
}

std::vector<ChartPoint> RateOfRise(std::span<const ChartPoint> v) {
    std::vector<ChartPoint> out;
    if (v.empty())
        return out;
    for (const ChartPoint& p : v) {
        if (p.x - 10 < v.front().x)
            continue;
        const std::optional<double> before = ValueAt(v, p.x - 10);
        if (before)
            out.push_back({p.x, (p.y - *before) / 10});
    }
    return out;
}

std::optional<Deviation> DeviationFrom(std::span<const ChartPoint> curve,
                                       std::span<const ChartPoint> guide) {
    if (guide.size() < 2)
        return std::nullopt;
    double maxAbs = 0, sumSquares = 0;
    size_t n = 0;
    for (const ChartPoint& p : curve) {
        const std::optional<double> g = ValueAt(guide, p.x);
        if (!g)
            continue;
        const double d = p.y - *g;
        maxAbs = std::max(maxAbs, std::abs(d));
        sumSquares += d * d;
        ++n;
    }
    if (n == 0)
        return std::nullopt;
    return Deviation{maxAbs, std::sqrt(sumSquares / double(n))};
}

BakeMetrics ComputeBakeMetrics(std::span<const ChartPoint> curve, const Temperatures& t,
                               std::span<const ChartPoint> profile,
                               std::span<const ChartPoint> reference) {
    BakeMetrics m;
    const std::vector<ChartPoint> v = ValuedPoints(curve);
    if (v.empty())
        return m;

    const ChartPoint peak = v[PeakIndex(v)];
    m[Metric::kPeakC] = peak.y;
    m[Metric::kPeakTimeS] = peak.x;
    if (const auto t25 = TimeUp(v, 25))
        m[Metric::kTime25ToPeakS] = peak.x - *t25;
    const auto upMin = TimeUp(v, t.tsMin);
    const auto upMax = TimeUp(v, t.tsMax);
    if (upMin && upMax)
        m[Metric::kPreheatS] = *upMax - *upMin;
    // A ramp over no time has no rate: a peak at the very moment Ts_max is
    // reached (or T_L left) leaves the ramp empty rather than infinite.
    if (upMax && peak.x > *upMax)
        m[Metric::kRampUpCPerS] = (peak.y - t.tsMax) / (peak.x - *upMax);
    if (const auto down = TimeDown(v, t.tL); down && *down > peak.x)
        m[Metric::kRampDownCPerS] = (peak.y - t.tL) / (*down - peak.x);
    m[Metric::kTimeAboveLiquidusS] = TimeAtOrAbove(v, t.tL);
    m[Metric::kTimeWithin5OfPeakS] = TimeAtOrAbove(v, peak.y - 5);

    // Both reported as positive rates; a curve that never rises (or never
    // falls) over 10 s has a steepest rise (or fall) of 0.
    const std::vector<ChartPoint> rates = RateOfRise(v);
    if (!rates.empty()) {
        double rise = 0, fall = 0;
        for (const ChartPoint& r : rates) {
            rise = std::max(rise, r.y);
            fall = std::max(fall, -r.y);
        }
        m[Metric::kMaxRiseCPerS] = rise;
        m[Metric::kMaxFallCPerS] = fall;
    }

    if (const auto d = DeviationFrom(v, ValuedPoints(profile))) {
        m[Metric::kProfileMaxDevC] = d->maxAbs;
        m[Metric::kProfileRmsDevC] = d->rms;
    }
    if (const auto d = DeviationFrom(v, ValuedPoints(reference))) {
        m[Metric::kReferenceMaxDevC] = d->maxAbs;
        m[Metric::kReferenceRmsDevC] = d->rms;
    }
    return m;
}

}  // namespace report
