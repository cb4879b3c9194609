// The live record's channel charts: creation, gauge points, profile reports
// and the axis text.
#include "document/channel_charts.h"

#include <gtest/gtest.h>

#include <vector>

using namespace document;
using chart::ChartSet;

namespace {

bake::CONCC_GaugeData Gauge(uint64_t timestamp) {
    bake::CONCC_GaugeData g;
    g.header.type = bake::CONCC_PKT_GAUGE_DATA;
    g.timestamp = timestamp;
    g.devState = bake::CONCC_DEV_BAKING;
    g.fanPercent = 12;
    g.heaterPercent = 87;
    g.setupTemp = 15050;
    g.fanRpm = 0;
    g.tempMain = 14925;
    g.temp1 = 14900;
    g.temp2 = 15000;
    g.temp3 = 13000;
    g.boardTemp = 3512;
    return g;
}

const chart::ChartSeries& Chart(const ChartSet& m, const ChannelCharts& c, Channel ch) {
    return *m.FindChart(c.Id(ch));
}

}  // namespace

TEST(ChannelCharts, CreatesTheTenChartsInOrder) {
    ChartSet model;
    ChannelCharts charts;
    ASSERT_TRUE(charts.Create(model));
    const wchar_t* names[] = {L"Setup Temp", L"Profile", L"Fan",        L"Temp Main", L"Temp 1",
                              L"Temp 2",     L"Temp 3",  L"Board Temp", L"Heater",    L"FAN"};
    for (int c = 0; c < kChannelCount; ++c) {
        EXPECT_EQ(c, charts.Id(Channel(c)));
        const chart::ChartSeries* s = model.FindChart(c);
        ASSERT_NE(nullptr, s);
        EXPECT_EQ(names[c], s->name) << c;  // "Fan" and "FAN" stay apart
        EXPECT_EQ(kChannelCharts[c].yLabel, s->yLabel);
        EXPECT_EQ(kChannelCharts[c].color, s->color);
        EXPECT_EQ(kChannelCharts[c].penWidth, s->penWidth);
        EXPECT_EQ(0, s->dashStyle);
        EXPECT_EQ(0.0f, s->tension);
        EXPECT_FALSE(s->HasPoints());
    }
    EXPECT_EQ(2.0f, model.FindChart(kProfile)->penWidth);
    EXPECT_EQ(0xFF8B0000u, model.FindChart(kTemp2)->color);
}

TEST(ChannelCharts, GaugePacketsBecomeOnePointPerChannel) {
    ChartSet model;
    ChannelCharts charts;
    ASSERT_TRUE(charts.Create(model));
    charts.bakeStartTime = 5000;

    // The packet that opened the record lands at x = 0.
    ASSERT_TRUE(charts.AppendGaugeData(model, Gauge(5000)));
    EXPECT_EQ(0.0, charts.LastX());
    auto later = Gauge(7500);
    ASSERT_TRUE(charts.AppendGaugeData(model, later));
    // Repeated and older timestamps add nothing.
    EXPECT_FALSE(charts.AppendGaugeData(model, Gauge(7500)));
    EXPECT_FALSE(charts.AppendGaugeData(model, Gauge(6000)));
    EXPECT_EQ(7500u, charts.LastPointTime());

    struct Expect {
        Channel channel;
        double y;
    };
    const Expect expected[] = {{kSetupTemp, 150.5}, {kFan, 0.0},     {kTempMain, 149.25},
                               {kTemp1, 149.0},     {kTemp2, 150.0}, {kTemp3, 130.0},
                               {kBoardTemp, 35.12}, {kHeater, 87.0}, {kFanDrive, 12.0}};
    for (const Expect& e : expected) {
        const auto& pts = Chart(model, charts, e.channel).Points();
        ASSERT_EQ(2u, pts.size()) << e.channel;
        EXPECT_EQ(0.0, pts[0].x);
        EXPECT_EQ(2.5, pts[1].x);
        EXPECT_DOUBLE_EQ(e.y, pts[1].y) << e.channel;
    }
    EXPECT_FALSE(Chart(model, charts, kProfile).HasPoints());
}

TEST(ChannelCharts, ReadingsWithoutValuePlotBelowZero) {
    struct Case {
        const char* what;
        void (*change)(bake::CONCC_GaugeData&);
        Channel channel;
        double y;
    };
    const Case cases[] = {
        {"tempMain -1", [](bake::CONCC_GaugeData& g) { g.tempMain = -1; }, kTempMain, NO_VALUE_Y},
        {"setupTemp -1", [](bake::CONCC_GaugeData& g) { g.setupTemp = -1; }, kSetupTemp,
         NO_VALUE_Y},
        {"boardTemp min", [](bake::CONCC_GaugeData& g) { g.boardTemp = INT32_MIN; }, kBoardTemp,
         NO_VALUE_Y},
        {"fanRpm FFFFFFFE", [](bake::CONCC_GaugeData& g) { g.fanRpm = 0xFFFFFFFEu; }, kFan,
         NO_VALUE_Y},
        {"fanRpm FFFFFFFF", [](bake::CONCC_GaugeData& g) { g.fanRpm = 0xFFFFFFFFu; }, kFan,
         NO_VALUE_Y},
        {"fanRpm FFFFFFFD is a reading", [](bake::CONCC_GaugeData& g) { g.fanRpm = 0xFFFFFFFDu; },
         kFan, 4294967293.0},
        {"fanRpm 0", [](bake::CONCC_GaugeData& g) { g.fanRpm = 0; }, kFan, 0.0},
        {"tempMain 0", [](bake::CONCC_GaugeData& g) { g.tempMain = 0; }, kTempMain, 0.0},
    };
    for (const Case& c : cases) {
        auto g = Gauge(1000);
        c.change(g);
        EXPECT_EQ(c.y, ChannelCharts::ChannelY(c.channel, g)) << c.what;
    }
    EXPECT_EQ(-10.0, NO_VALUE_Y);
}

TEST(ChannelCharts, ProfileReportsReplaceTheProfileChart) {
    ChartSet model;
    ChannelCharts charts;
    ASSERT_TRUE(charts.Create(model));
    charts.bakeStartTime = 100000;

    bake::CONCC_TempProfile report;
    report.startTime = 95000;  // the bake ran 5 s before the record began
    report.points = {{2000, 2500}, {60000, 15000}, {4000000000u, 4294967295u}};
    charts.ShowProfile(model, report);
    const auto& pts = Chart(model, charts, kProfile).Points();
    ASSERT_EQ(3u, pts.size());
    EXPECT_DOUBLE_EQ(-3.0, pts[0].x);
    EXPECT_DOUBLE_EQ(25.0, pts[0].y);
    EXPECT_DOUBLE_EQ(55.0, pts[1].x);
    EXPECT_DOUBLE_EQ(3999995.0, pts[2].x);  // read as unsigned
    EXPECT_DOUBLE_EQ(42949672.95, pts[2].y);

    // A second report replaces the first; one without a start time is ignored.
    report.startTime = 100000;
    report.points = {{0, 3000}, {10000, 4000}};
    charts.ShowProfile(model, report);
    ASSERT_EQ(2u, Chart(model, charts, kProfile).Points().size());
    EXPECT_EQ(0.0, Chart(model, charts, kProfile).Points()[0].x);
    report.startTime = 0;
    report.points = {{0, 1}};
    charts.ShowProfile(model, report);
    EXPECT_EQ(2u, Chart(model, charts, kProfile).Points().size());
    // An empty report empties the chart.
    report.startTime = 1;
    report.points.clear();
    charts.ShowProfile(model, report);
    EXPECT_FALSE(Chart(model, charts, kProfile).HasPoints());
}

TEST(ChannelCharts, WithoutChannelChartsNothingIsAdded) {
    // A record opened from a file has charts, but none of them is a channel chart.
    ChartSet model;
    const chart::ChartPoint p{0, 1};
    model.AddChart({&p, 1}, L"Temp Main", L"Temperature", 0, 1.0f, 0.0f, 0xFF000000u);
    ChannelCharts charts;
    EXPECT_FALSE(charts.AppendGaugeData(model, Gauge(10)));
    bake::CONCC_TempProfile report;
    report.startTime = 1;
    report.points = {{0, 100}};
    charts.ShowProfile(model, report);
    EXPECT_EQ(1u, model.FindChart(0)->Points().size());
}

TEST(FormatAxisValue, ZeroBandAndThreeDecimals) {
    struct Case {
        double v;
        const wchar_t* text;
    };
    const Case cases[] = {{0.0004, L"0"},      {-0.0009, L"0"},
                          {-0.001, L"-0.001"}, {0.001, L"0.001"},
                          {12.5, L"12.500"},   {-10.0, L"-10.000"},
                          {260.0, L"260.000"}, {1e20, L"100000000000000000000.000"}};
    for (const Case& c : cases) EXPECT_EQ(c.text, FormatAxisValue(c.v)) << c.v;
}
