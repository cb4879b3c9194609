#pragma once
// A temperature profile as the operator designs it: the points in the order
// they are edited, the controller's rules they must keep before they may be
// uploaded, and the profile's own metrics against a process window. The
// points are never reordered behind the operator's back: a time typed out
// of order is a broken rule that is shown, not a silent move of the row.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chart/chart_point.h"
#include "report/bake_metrics.h"
#include "report/process_window.h"

namespace profile {

using chart::ChartPoint;

// The one chart of a profile file.
inline constexpr wchar_t kProfileChartName[] = L"Profile";
inline constexpr wchar_t kProfileYLabel[] = L"Temperature";
inline constexpr uint32_t kProfileColor = 0xFFFFA500u;

// The controller refuses these too; the point counts use the upload's texts.
inline constexpr wchar_t kFirstTimeNotZeroText[] = L"The first point has to be at 0 s!";
inline constexpr wchar_t kTimesNotIncreasingText[] = L"Times have to increase from point to point!";
inline constexpr wchar_t kNegativeTemperatureText[] = L"Temperatures cannot be negative!";

enum class Rule {
    kTooFewPoints,
    kTooManyPoints,
    kFirstTimeNotZero,
    kTimesNotIncreasing,
    kNegativeTemperature
};

struct Violation {
    Rule rule;
    int point = -1;  // the offending point; -1 for the whole profile
    const wchar_t* text = nullptr;
};

// A drag or a typed value lands on whole seconds and tenths of a degree.
ChartPoint Snap(ChartPoint p);

// Every rule the points break, the whole-profile ones first, then by point.
std::vector<Violation> CheckRules(std::span<const ChartPoint> points);

class Profile {
public:
    Profile() = default;
    explicit Profile(std::vector<ChartPoint> points) : points_(std::move(points)) {}

    const std::vector<ChartPoint>& Points() const { return points_; }
    size_t Size() const { return points_.size(); }

    // Inserts at `index` (0..Size()); false for an index outside.
    bool Insert(size_t index, ChartPoint p);
    // The point a new row gets after `index` (or at the end when index is
    // Size()): halfway to the next point, or 30 s after the last one at its
    // temperature; (0, 25) in an empty profile.
    ChartPoint NewPointAfter(size_t index) const;
    bool Move(size_t index, ChartPoint p);
    bool Remove(size_t index);

    std::vector<Violation> Violations() const { return CheckRules(points_); }
    bool CanUpload() const { return Violations().empty(); }

    std::optional<double> Peak() const;
    double Duration() const { return points_.empty() ? 0.0 : points_.back().x; }

    bool operator==(const Profile& other) const;

private:
    std::vector<ChartPoint> points_;
};

// The bake report's metrics on the profile's own curve, with the
// temperatures of `window`, and its verdict there.
report::BakeMetrics ProfileMetrics(const Profile& profile, const report::ProcessWindow& window);
report::Verdict JudgeProfile(const Profile& profile, const report::ProcessWindow& window);
// The metrics an operator shapes a profile by, in one line: "peak 245.0 °C,
// above liquidus 90 s, preheat 90 s, ramp up 1.0 °C/s, ..."; a metric
// that cannot be had reads "-".
std::string MetricsLine(const report::BakeMetrics& metrics);

// A profile file is a chart file holding the one chart "Profile". Loading
// takes the chart named "Profile", or the only chart of the file, so that
// charts made elsewhere open too; times come back in whole milliseconds and
// temperatures in hundredths, what the controller keeps of them.
bool SaveProfile(const Profile& profile, const std::wstring& path, std::wstring& error);
std::optional<Profile> LoadProfile(const std::wstring& path, std::wstring& error);

inline constexpr wchar_t kNoProfileChartText[] =
    L"The file holds no chart \"Profile\" and more than one other chart!";

}  // namespace profile
