#include "profile/profile_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "bake/controller_packets.h"
#include "bake/profile_upload.h"
#include "chart/chart_set.h"

namespace profile {

ChartPoint Snap(ChartPoint p) {
    return {std::round(p.x), std::round(p.y * 10.0) / 10.0};
}

std::vector<Violation> CheckRules(std::span<const ChartPoint> points) {
    std::vector<Violation> out;
    if (points.size() < 2)
        out.push_back({Rule::kTooFewPoints, -1, bake::kTooFewPointsText});
    if (points.size() > bake::CONCC_MAX_PROFILE_POINTS)
        out.push_back({Rule::kTooManyPoints, -1, bake::kTooManyPointsText});
    for (size_t i = 0; i < points.size(); ++i) {
        const int at = static_cast<int>(i);
        // NaN fails every comparison, so each rule is written to catch it.
        if (i == 0 && !(points[0].x == 0.0))
            out.push_back({Rule::kFirstTimeNotZero, at, kFirstTimeNotZeroText});
        if (i > 0 && !(points[i].x > points[i - 1].x))
            out.push_back({Rule::kTimesNotIncreasing, at, kTimesNotIncreasingText});
        if (!(points[i].y >= 0.0) || !std::isfinite(points[i].y))
            out.push_back({Rule::kNegativeTemperature, at, kNegativeTemperatureText});
    }
    return out;
}

bool Profile::Insert(size_t index, ChartPoint p) {
    if (index > points_.size())
        return false;
    points_.insert(points_.begin() + static_cast<std::ptrdiff_t>(index), p);
    return true;
}

ChartPoint Profile::NewPointAfter(size_t index) const {
    if (points_.empty())
        return {0.0, 25.0};
    if (index + 1 < points_.size()) {
        const ChartPoint a = points_[index], b = points_[index + 1];
        return Snap({(a.x + b.x) / 2, (a.y + b.y) / 2});
    }
    const ChartPoint last = points_.back();
    return Snap({last.x + 30.0, last.y});
}

bool Profile::Move(size_t index, ChartPoint p) {
    if (index >= points_.size())
        return false;
    points_[index] = p;
    return true;
}

bool Profile::Remove(size_t index) {
    if (index >= points_.size())
        return false;
    points_.erase(points_.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

bool Profile::operator==(const Profile& other) const {
    return std::equal(
        points_.begin(), points_.end(), other.points_.begin(), other.points_.end(),
        [](const ChartPoint& a, const ChartPoint& b) { return a.x == b.x && a.y == b.y; });
}

std::optional<double> Profile::Peak() const {
    if (points_.empty())
        return std::nullopt;
    double peak = points_[0].y;
    for (const ChartPoint& p : points_) peak = std::max(peak, p.y);
    return peak;
}

report::BakeMetrics ProfileMetrics(const Profile& profile, const report::ProcessWindow& window) {
    return report::ComputeBakeMetrics(profile.Points(), window.temperatures);
}

report::Verdict JudgeProfile(const Profile& profile, const report::ProcessWindow& window) {
    return report::Judge(ProfileMetrics(profile, window), window);
}

std::string MetricsLine(const report::BakeMetrics& m) {
    using report::Metric;
    const struct {
        Metric metric;
        const char* label;
        const char* format;
    } items[] = {
        {Metric::kPeakC, "peak", "%.1f \u00b0C"},
        {Metric::kTimeAboveLiquidusS, "above liquidus", "%.0f s"},
        {Metric::kPreheatS, "preheat", "%.0f s"},
        {Metric::kRampUpCPerS, "ramp up", "%.1f \u00b0C/s"},
        {Metric::kRampDownCPerS, "ramp down", "%.1f \u00b0C/s"},
        {Metric::kTimeWithin5OfPeakS, "within 5 \u00b0C of peak", "%.0f s"},
        {Metric::kTime25ToPeakS, "25 \u00b0C to peak", "%.0f s"},
    };
    std::string out;
    for (const auto& item : items) {
        char value[64] = "-";
        if (const auto& v = m[item.metric])
            std::snprintf(value, sizeof value, item.format, *v);
        out += std::string(out.empty() ? "" : ", ") + item.label + " " + value;
    }
    return out;
}

bool SaveProfile(const Profile& profile, const std::wstring& path, std::wstring& error) {
    chart::ChartSet model;
    const int id = model.AddChart(profile.Points(), kProfileChartName, kProfileYLabel, 0, 2.0f,
                                  0.0f, kProfileColor);
    return model.SaveChartsXml(path, {id}, error);
}

std::optional<Profile> LoadProfile(const std::wstring& path, std::wstring& error) {
    chart::ChartSet model;
    std::set<int> ids;
    if (!model.LoadChartsXml(path, ids, error))
        return std::nullopt;
    const chart::ChartSeries* series = model.FindChartByName(kProfileChartName);
    if (!series && ids.size() == 1)
        series = model.FindChart(*ids.begin());
    if (!series) {
        error = kNoProfileChartText;
        return std::nullopt;
    }
    // A file keeps single precision; the controller keeps milliseconds and
    // hundredths, so that is what the profile gets back.
    std::vector<ChartPoint> points;
    for (const ChartPoint& p : series->Points())
        points.push_back({std::round(p.x * 1000.0) / 1000.0, std::round(p.y * 100.0) / 100.0});
    return Profile(std::move(points));
}

}  // namespace profile
