#pragma once
// The live bake record's charts without the window: one chart per controller
// channel in a chart model, the gauge packets turned into one point per
// channel (seconds since the bake started, degrees), the controller's
// profile report drawn as the "Profile" chart, and the axis text the record
// shows. The view holds one of these beside its chart control.
//
// Window thread only, like the chart model it feeds.

#include <array>
#include <cstdint>
#include <string>

#include "bake/controller_packets.h"
#include "chart/chart_set.h"

namespace document {

// The y plotted for a reading that has no value.
inline constexpr double NO_VALUE_Y = -10.0;

enum Channel : int {
    kSetupTemp,
    kProfile,
    kFan,
    kTempMain,
    kTemp1,
    kTemp2,
    kTemp3,
    kBoardTemp,
    kHeater,
    kFanDrive,
    kChannelCount,
};

struct ChannelChartStyle {
    const wchar_t* name;
    const wchar_t* yLabel;
    float penWidth;
    uint32_t color;  // ARGB
};

// In the order of creation; a fresh model gives them the ids 0 to 9.
extern const std::array<ChannelChartStyle, kChannelCount> kChannelCharts;

// "0" for values within a thousandth of zero, else three decimals.
std::wstring FormatAxisValue(double value);

class ChannelCharts {
public:
    // Adds the ten charts, empty. False (and nothing usable) when the model
    // refused one.
    bool Create(chart::ChartSet& model);
    bool Created() const { return ids_[kSetupTemp] >= 0; }
    int Id(Channel c) const { return ids_[c]; }

    uint64_t bakeStartTime = 0;  // controller ms at x = 0
    uint64_t LastPointTime() const { return lastPointTime_; }
    // The controller's start of the running bake from its last profile
    // report; 0 before one arrived.
    uint64_t ReportedStartTime() const { return reportedStartTime_; }

    // One point per channel chart (not "Profile") for a packet newer than
    // the last one; false when the packet added nothing.
    bool AppendGaugeData(chart::ChartSet& model, const bake::CONCC_GaugeData& gauge);
    // x of the last appended packet.
    double LastX() const { return lastX_; }
    // Replaces the "Profile" chart's points with the report; a report
    // without a start time is ignored.
    void ShowProfile(chart::ChartSet& model, const bake::CONCC_TempProfile& report);

    // The chart's y for each channel of a gauge packet (Profile: unused).
    static double ChannelY(Channel c, const bake::CONCC_GaugeData& gauge);

private:
    std::array<int, kChannelCount> ids_ = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    uint64_t lastPointTime_ = 0;
    uint64_t reportedStartTime_ = 0;
    double lastX_ = 0.0;
};

}  // namespace document
