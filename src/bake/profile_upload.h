#pragma once
// Sending a chart to the controller as its temperature profile, without any
// widget: which chart of a window is meant, whether its points fit one
// profile packet, and the packet itself. The operator program's "Upload Bake
// Profile" command and `calveroctl profile upload` share these rules, so an
// operator gets the same answer from both.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "bake/controller_packets.h"

namespace bake {

inline constexpr wchar_t kNoChartsText[] =
    L"No charts! Open a window with charts and select one to upload as bake profile!";
inline constexpr wchar_t kSelectOneChartText[] = L"Select one chart to upload!";
inline constexpr wchar_t kChartHasNoPointsText[] = L"Chart has no points, select another one!";
inline constexpr wchar_t kTooFewPointsText[] = L"Chart has to have more than 2 points!";
inline constexpr wchar_t kTooManyPointsText[] = L"Chart has too much points for temp profile!";

// The chart picked for upload, or the message (shown without icon) saying
// why none could be picked.
struct ProfileChartChoice {
    int id = -1;
    const wchar_t* problem = nullptr;
};

// The only chart of a window, whether selected or not; among several, the
// one selected chart.
ProfileChartChoice ChooseProfileChart(const std::set<int>& chartIds,
                                      const std::set<int>& selectedIds);

// One chart point as the profile sees it: seconds and degrees.
struct ProfileSample {
    double seconds = 0.0;
    double degrees = 0.0;
};

// Any chart's points (anything with .x and .y) as profile samples.
template <typename Points>
std::vector<ProfileSample> ToProfileSamples(const Points& points) {
    std::vector<ProfileSample> out;
    out.reserve(std::size(points));
    for (const auto& p : points) out.push_back({p.x, p.y});
    return out;
}

// The one call that sends a profile (the control panel's SendProfile): the
// points of one chart, none when no chart was found. Refusals and failures
// are shown by the callee.
using ProfileSender = std::function<void(std::optional<std::span<const ProfileSample>>)>;

// Why a chart's points cannot go out as one profile (no icon), or nullptr.
// hasChart false: the chosen chart was not found.
const wchar_t* ProfileUploadProblem(bool hasChart, size_t pointCount);

// The bytes to hand to the link (24 + 8 x n), or the message (no icon) that
// refuses the chart. hasChart false: the chosen chart was not found.
struct ProfileUploadPacket {
    std::vector<uint8_t> bytes;
    const wchar_t* problem = nullptr;
};

ProfileUploadPacket BuildProfileUpload(bool hasChart, std::span<const ProfileSample> samples,
                                       uint32_t seqId);

}  // namespace bake
