#include "document/channel_charts.h"

#include <cstdio>
#include <vector>

namespace document {

const std::array<ChannelChartStyle, kChannelCount> kChannelCharts = {{
    {L"Setup Temp", L"Temperature", 1.0f, 0xFFFFA500u},
    {L"Profile", L"Temperature", 2.0f, 0xFFFFA500u},
    {L"Fan", L"RPM", 1.0f, 0xFF0000FFu},
    {L"Temp Main", L"Temperature", 1.0f, 0xFFFF0000u},
    {L"Temp 1", L"Temperature", 1.0f, 0xFF8B0000u},
    {L"Temp 2", L"Temperature", 1.0f, 0xFF8B0000u},
    {L"Temp 3", L"Temperature", 1.0f, 0xFF8B0000u},
    {L"Board Temp", L"Temperature", 1.0f, 0xFFCD5C5Cu},
    {L"Heater", L"%", 1.0f, 0xFF000000u},
    {L"FAN", L"%", 1.0f, 0xFF00008Bu},
}};

std::wstring FormatAxisValue(double value) {
    if (value > -0.001 && value < 0.001)
        return L"0";
    wchar_t buf[400];
    std::swprintf(buf, sizeof buf / sizeof buf[0], L"%0.3lf", value);
    return buf;
}

bool ChannelCharts::Create(chart::ChartSet& model) {
    for (int c = 0; c < kChannelCount; ++c) {
        const ChannelChartStyle& s = kChannelCharts[c];
        ids_[c] = model.AddChart({}, s.name, s.yLabel, 0, s.penWidth, 0.0f, s.color);
        if (ids_[c] < 0) {
            ids_.fill(-1);
            return false;
        }
    }
    return true;
}

double ChannelCharts::ChannelY(Channel c, const bake::CONCC_GaugeData& g) {
    auto temp = [](int32_t centi) {
        return bake::TempHasValue(centi) ? bake::TempDegrees(centi) : NO_VALUE_Y;
    };
    switch (c) {
        case kSetupTemp:
            return temp(g.setupTemp);
        case kFan:
            return bake::FanRpmHasValue(g.fanRpm) ? double(g.fanRpm) : NO_VALUE_Y;
        case kTempMain:
            return temp(g.tempMain);
        case kTemp1:
            return temp(g.temp1);
        case kTemp2:
            return temp(g.temp2);
        case kTemp3:
            return temp(g.temp3);
        case kBoardTemp:
            return temp(g.boardTemp);
        case kHeater:
            return g.heaterPercent;
        case kFanDrive:
            return g.fanPercent;
        default:
            return NO_VALUE_Y;
    }
}

bool ChannelCharts::AppendGaugeData(chart::ChartSet& model, const bake::CONCC_GaugeData& g) {
    if (g.timestamp <= lastPointTime_)
        return false;
    lastPointTime_ = g.timestamp;
    // Unsigned difference: a controller clock that went back still lands
    // right of the start instead of wrapping into a negative time.
    lastX_ = double(g.timestamp - bakeStartTime) / 1000.0;
    bool added = false;
    for (int c = 0; c < kChannelCount; ++c) {
        if (c == kProfile || ids_[c] < 0)
            continue;
        const chart::ChartPoint p{lastX_, ChannelY(Channel(c), g)};
        added = model.AppendChartPoints(ids_[c], {&p, 1}) || added;
    }
    return added;
}

void ChannelCharts::ShowProfile(chart::ChartSet& model, const bake::CONCC_TempProfile& report) {
    if (report.startTime == 0 || ids_[kProfile] < 0)
        return;
    reportedStartTime_ = report.startTime;
    model.ClearChartPoints(ids_[kProfile]);
    const double offset = double(report.startTime) - double(bakeStartTime);
    std::vector<chart::ChartPoint> points;
    points.reserve(report.points.size());
    for (const bake::CONCC_ProfilePoint& p : report.points)
        points.push_back({(offset + double(p.timeMs)) / 1000.0, double(p.tempCenti) / 100.0});
    model.AppendChartPoints(ids_[kProfile], points);
}

}  // namespace document
