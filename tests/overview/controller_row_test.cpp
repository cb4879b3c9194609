// The Overview's rows without widgets: what each cell reads, the setpoint
// and bake times taken from the controller's profile report, and sorting.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "overview/controller_row.h"

using overview::Column;
using overview::ControllerRow;
using overview::kUnknown;

namespace {

// 25 °C at 0 s, 150 °C at 60 s, held to 120 s, a step to 245 °C at 120 s, 245 °C at 180 s.
overview::RunningProfile Profile() {
    return overview::RunningProfile{
        10000, {{0, 2500}, {60000, 15000}, {120000, 15000}, {120000, 24500}, {180000, 24500}}};
}

::testing::AssertionResult SameValue(double expected, double actual) {
    if (std::isnan(expected) ? std::isnan(actual) : std::abs(expected - actual) < 1e-9)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << expected << ", got " << actual;
}

std::vector<int> Keys(const std::vector<ControllerRow>& rows) {
    std::vector<int> keys;
    keys.reserve(rows.size());
    for (const auto& r : rows) keys.push_back(r.key);
    return keys;
}

}  // namespace

TEST(OverviewRow, SetpointIsStraightBetweenTheReportedPoints) {
    const struct {
        uint64_t controllerMs;
        double setpoint;
    } cases[] = {
        {9999, kUnknown},    // before the profile's start
        {10000, 25.0},       // its first point
        {40000, 87.5},       // half way up the first ramp
        {70000, 150.0},      // the end of the ramp
        {100000, 150.0},     // on the hold
        {130000, 245.0},     // the step takes the later value
        {160000, 245.0},     // ...and holds it
        {190000, 245.0},     // the last point, met exactly
        {190001, kUnknown},  // past the profile
    };
    const auto profile = Profile();
    for (const auto& c : cases)
        EXPECT_TRUE(SameValue(c.setpoint, overview::SetpointAt(profile, c.controllerMs)))
            << "at " << c.controllerMs;

    EXPECT_TRUE(SameValue(kUnknown, overview::SetpointAt({}, 10000)));
    const overview::RunningProfile one{0, {{5000, 10000}}};
    EXPECT_TRUE(SameValue(100.0, overview::SetpointAt(one, 5000)));
    EXPECT_TRUE(SameValue(kUnknown, overview::SetpointAt(one, 4999)));
}

TEST(OverviewRow, ElapsedAndRemainingFromTheProfilesStartAndLastPoint) {
    const struct {
        uint64_t controllerMs;
        double elapsed, remaining;
    } cases[] = {
        {5000, 0, 180},  // a gauge from before the start counts as the start
        {10000, 0, 180},  {70500, 60.5, 119.5},
        {190000, 180, 0}, {250000, 240, 0},  // overrunning: nothing remains, never less
    };
    const auto profile = Profile();
    for (const auto& c : cases) {
        const auto t = overview::BakeTimesAt(profile, c.controllerMs);
        EXPECT_TRUE(SameValue(c.elapsed, t.elapsedSeconds)) << "at " << c.controllerMs;
        EXPECT_TRUE(SameValue(c.remaining, t.remainingSeconds)) << "at " << c.controllerMs;
    }
    const auto none = overview::BakeTimesAt({}, 10000);
    EXPECT_TRUE(SameValue(kUnknown, none.elapsedSeconds));
    EXPECT_TRUE(SameValue(kUnknown, none.remainingSeconds));

    bake::CONCC_TempProfile report;
    report.startTime = 10000;
    report.points = Profile().points;
    const auto fromReport = overview::FromReport(report);
    EXPECT_EQ(10000u, fromReport.startMs);
    EXPECT_EQ(5u, fromReport.points.size());
}

TEST(OverviewRow, CellTexts) {
    ControllerRow known;
    known.device = "1001";
    known.address = "127.0.0.10";
    known.state = "Baking";
    known.tempMain = 148.26;
    known.setpoint = -5.0;
    known.elapsedSeconds = 75.9;
    known.remainingSeconds = 3725;
    known.verdict = overview::Verdict::Fail;
    known.alarm = "1001: main temperature 260.0 \u00b0C above 255.0 \u00b0C";
    const ControllerRow unknown;

    const struct {
        Column column;
        const char* known;
        const char* unknown;
    } cases[] = {
        {Column::Device, "1001", "\u2014"},
        {Column::Address, "127.0.0.10", "\u2014"},
        {Column::State, "Baking", "\u2014"},
        {Column::Temperature, "148.3 \u00b0C", "\u2014"},
        {Column::Setpoint, "-5.0 \u00b0C", "\u2014"},
        {Column::Elapsed, "1:15", "\u2014"},
        {Column::Remaining, "1:02:05", "\u2014"},
        {Column::Verdict, "FAIL", "\u2014"},
        {Column::Alarm, "1001: main temperature 260.0 \u00b0C above 255.0 \u00b0C", ""},
    };
    ASSERT_EQ(overview::kColumnCount, static_cast<int>(std::size(cases)));
    for (const auto& c : cases) {
        EXPECT_EQ(c.known, overview::CellText(known, c.column)) << overview::ColumnTitle(c.column);
        EXPECT_EQ(c.unknown, overview::CellText(unknown, c.column))
            << overview::ColumnTitle(c.column);
    }
    known.verdict = overview::VerdictOf(report::Verdict{true, {}});
    EXPECT_EQ("PASS", overview::CellText(known, Column::Verdict));
    EXPECT_EQ(overview::Verdict::Unknown, overview::VerdictOf(std::nullopt));
    known.elapsedSeconds = 0;
    EXPECT_EQ("0:00", overview::CellText(known, Column::Elapsed));
}

TEST(OverviewRow, SortsNumbersAsNumbersAndUnknownLast) {
    auto row = [](int key, std::string device, std::string address, double temp,
                  overview::Verdict verdict, std::string alarm) {
        ControllerRow r;
        r.key = key;
        r.device = std::move(device);
        r.address = std::move(address);
        r.tempMain = temp;
        r.verdict = verdict;
        r.alarm = std::move(alarm);
        return r;
    };
    using V = overview::Verdict;
    const std::vector<ControllerRow> rows = {
        row(1, "1001", "127.0.0.10", 99.5, V::Pass, ""),
        row(2, "", "127.0.0.9", kUnknown, V::Unknown, "link lost"),
        row(3, "999", "127.0.0.25", 245.0, V::Fail, ""),
        row(4, "Plate-B", "127.0.0.11", 1000.0, V::Pass, "bake finished"),
        row(5, "plate-a", "127.0.0.9", 99.5, V::Unknown, ""),
    };
    const struct {
        Column column;
        bool ascending;
        std::vector<int> keys;
    } cases[] = {
        {Column::Device, true, {3, 1, 5, 4, 2}},       // 999 < 1001; letters without case
        {Column::Device, false, {4, 5, 1, 3, 2}},      // unknown stays last
        {Column::Address, true, {2, 5, 1, 4, 3}},      // .9 < .10 < .11 < .25; ties by key
        {Column::Temperature, true, {1, 5, 3, 4, 2}},  // 1000 after 245
        {Column::Temperature, false, {4, 3, 1, 5, 2}},
        {Column::Verdict, true, {3, 1, 4, 2, 5}},   // a failure first
        {Column::Alarm, true, {4, 2, 1, 3, 5}},     // no alarm last
        {Column::Setpoint, true, {1, 2, 3, 4, 5}},  // all unknown: by key
    };
    for (const auto& c : cases) {
        auto sorted = rows;
        overview::SortRows(sorted, c.column, c.ascending);
        EXPECT_EQ(c.keys, Keys(sorted))
            << overview::ColumnTitle(c.column) << (c.ascending ? " ascending" : " descending");
    }
}

TEST(OverviewRow, TheTrackerDropsWhatNoLongerHolds) {
    auto gauge = [](uint64_t ms, int32_t centi) {
        bake::CONCC_GaugeData g;
        g.timestamp = ms;
        g.tempMain = centi;
        return g;
    };
    bake::CONCC_TempProfile report;
    report.startTime = 10000;
    report.points = Profile().points;

    enum class Event { Gauge, Started, Profile, Ended, LinkLost };
    const struct {
        const char* what;
        Event event;
        uint64_t ms;
        int32_t centi;
        double temp, setpoint, elapsed, remaining;
    } steps[] = {
        {"idle reading", Event::Gauge, 5000, 2500, 25.0, kUnknown, kUnknown, kUnknown},
        {"a report between bakes runs nothing", Event::Profile, 0, 0, 25.0, kUnknown, kUnknown,
         kUnknown},
        {"still idle", Event::Gauge, 6000, 2500, 25.0, kUnknown, kUnknown, kUnknown},
        {"bake starts", Event::Started, 0, 0, 25.0, kUnknown, kUnknown, kUnknown},
        {"before its report", Event::Gauge, 10000, 2600, 26.0, kUnknown, kUnknown, kUnknown},
        {"its profile", Event::Profile, 0, 0, 26.0, kUnknown, kUnknown, kUnknown},
        {"on the ramp", Event::Gauge, 40000, 8000, 80.0, 87.5, 30, 150},
        {"no reading", Event::Gauge, 41000, -1, kUnknown, 25.0 + 125.0 * 31 / 60, 31, 149},
        {"bake ends", Event::Ended, 0, 0, kUnknown, kUnknown, kUnknown, kUnknown},
        {"cooling", Event::Gauge, 200000, 20000, 200.0, kUnknown, kUnknown, kUnknown},
        {"next bake", Event::Started, 0, 0, 200.0, kUnknown, kUnknown, kUnknown},
        {"no report yet: not the last one's", Event::Gauge, 210000, 20000, 200.0, kUnknown,
         kUnknown, kUnknown},
        {"its profile", Event::Profile, 0, 0, 200.0, kUnknown, kUnknown, kUnknown},
        {"during it", Event::Gauge, 70000, 15000, 150.0, 150.0, 60, 120},
        {"link lost", Event::LinkLost, 0, 0, kUnknown, kUnknown, kUnknown, kUnknown},
    };
    overview::RowTracker tracker(3, "127.0.0.12");
    tracker.SetDevice("1003");
    for (const auto& s : steps) {
        switch (s.event) {
            case Event::Gauge:
                tracker.OnGauge(gauge(s.ms, s.centi));
                break;
            case Event::Started:
                tracker.OnBakeStarted();
                break;
            case Event::Profile:
                tracker.OnProfile(report);
                break;
            case Event::Ended:
                tracker.OnBakeEnded();
                break;
            case Event::LinkLost:
                tracker.OnLinkLost();
                break;
        }
        const ControllerRow& r = tracker.Row();
        EXPECT_TRUE(SameValue(s.temp, r.tempMain)) << s.what;
        EXPECT_TRUE(SameValue(s.setpoint, r.setpoint)) << s.what;
        EXPECT_TRUE(SameValue(s.elapsed, r.elapsedSeconds)) << s.what;
        EXPECT_TRUE(SameValue(s.remaining, r.remainingSeconds)) << s.what;
    }
    tracker.SetAlarm("1003: link lost during a bake", true);
    EXPECT_EQ(3, tracker.Row().key);
    EXPECT_EQ("127.0.0.12", tracker.Row().address);
    EXPECT_EQ("1003", tracker.Row().device);
    EXPECT_TRUE(tracker.Row().needsOperator);
}
