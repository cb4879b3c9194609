// Each alarm rule replayed over recorded sequences: where it raises, where it
// stays quiet just short of its limit, where it clears, and that a standing
// condition raises once until it cleared.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "alarm/alarm_engine.h"

using alarms::AlarmChange;
using alarms::AlarmEngine;
using alarms::AlarmEvent;
using alarms::AlarmRule;
using alarms::AlarmSettings;
using alarms::Observation;

namespace {

const double kNoValue = std::nan("");

// A recorded step and the events it must give, as "+rule" (raised),
// "-rule" (cleared), "*rule" (repeated), comma-separated.
struct Step {
    Observation o;
    const char* expect;
};

const char* RuleName(AlarmRule r) {
    switch (r) {
        case AlarmRule::OverTemperature:
            return "hot";
        case AlarmRule::ProfileDeviation:
            return "dev";
        case AlarmRule::LinkLost:
            return "link";
        case AlarmRule::BakeError:
            return "err";
        case AlarmRule::BakeFinished:
            return "done";
    }
    return "?";
}

std::string Shown(const std::vector<AlarmEvent>& events) {
    std::string s;
    for (const AlarmEvent& e : events) {
        if (!s.empty())
            s += ",";
        s += e.change == AlarmChange::Raised ? "+" : e.change == AlarmChange::Cleared ? "-" : "*";
        s += RuleName(e.rule);
    }
    return s;
}

// Replays the steps and names the first step whose events differ.
::testing::AssertionResult Replays(AlarmEngine& engine, const std::vector<Step>& steps) {
    for (size_t i = 0; i < steps.size(); ++i) {
        const std::vector<AlarmEvent> events = engine.Observe(steps[i].o);
        for (const AlarmEvent& e : events)
            if (e.text.rfind(engine.Controller() + ": ", 0) != 0)
                return ::testing::AssertionFailure()
                       << "step " << i << ": text does not name the controller: " << e.text;
        if (Shown(events) != steps[i].expect)
            return ::testing::AssertionFailure()
                   << "step " << i << " (at " << steps[i].o.atMs << " ms): got \"" << Shown(events)
                   << "\", expected \"" << steps[i].expect << "\"";
    }
    return ::testing::AssertionSuccess();
}

// Controller time runs 5 s ahead of the program's clock, so a rule that
// confuses the two reads the profile at the wrong place.
constexpr int64_t kClockOffset = 5000;
Observation G(int64_t atMs, double temp, bool baking = true) {
    return Observation::Gauge(atMs, uint64_t(atMs + kClockOffset), baking, temp);
}
// A profile from 100 to 200 degrees over 100 s and back to 150 at 200 s, its
// time 0 at controller time 5000 (program time 0): peak 200, limit 210.
Observation P(int64_t atMs) {
    return Observation::Profile(atMs, kClockOffset, {{0, 100}, {100000, 200}, {200000, 150}});
}
Observation Lost(int64_t atMs) {
    return Observation::LinkLost(atMs);
}
Observation Up(int64_t atMs) {
    return Observation::LinkUp(atMs);
}
Observation End(int64_t atMs, uint32_t result) {
    return Observation::BakeEnd(atMs, result, result ? "Heater failure" : "");
}

// Quiet repeats: these tables are about raising and clearing.
AlarmSettings NoRepeat() {
    AlarmSettings s;
    s.repeatSeconds = 0;
    return s;
}

struct Case {
    const char* name;
    std::vector<Step> steps;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class AlarmRules : public ::testing::TestWithParam<Case> {};

TEST_P(AlarmRules, Replay) {
    AlarmEngine engine("1001", NoRepeat());
    EXPECT_TRUE(Replays(engine, GetParam().steps));
}

// Along the profile, 100 s in the target is 200; 50 s in it is 150.
const Case kCases[] = {
    {"HotRaisesAboveThePeakPlusMargin",
     {{G(0, 25), ""}, {P(500), ""}, {G(100000, 205), ""}, {G(101000, 210.5), "+hot"}}},
    {"HotStaysQuietAtTheLimit", {{G(0, 25), ""}, {P(500), ""}, {G(100000, 210.0), ""}}},
    {"HotClearsAndRaisesAgainOnlyAfterClearing",
     {{G(0, 25), ""},
      {P(500), ""},
      {G(100000, 211), "+hot"},
      {G(101000, 215), ""},
      {G(102000, 209), "-hot"},
      {G(103000, 211), "+hot"}}},
    {"HotNeedsAProfile", {{G(0, 25), ""}, {G(100000, 900), ""}}},
    {"HotOutlivesTheBake",
     {{G(0, 25), ""}, {P(500), ""}, {End(150000, 0), "+done"}, {G(151000, 230, false), "+hot"}}},
    {"HotForgetsTheLastBakesProfile",
     {{G(0, 25), ""},
      {P(500), ""},
      {End(150000, 0), "+done"},
      {G(160000, 25, false), ""},
      {G(170000, 300), "-done"}}},

    {"DeviationRaisesAfterLongerThanTheTime",
     {{G(0, 100), ""},
      {P(500), ""},
      {G(50000, 139), ""},  // 11 under 150
      {G(60000, 149), ""},  // 11 under 160
      {G(65000, 154), ""},  // 11 under 165: 15 s exactly, not longer
      {G(65500, 154.5), "+dev"}}},
    {"DeviationIgnoresTheBandItself",
     {{G(0, 100), ""}, {P(500), ""}, {G(50000, 140), ""}, {G(70000, 180), ""}}},
    {"DeviationAboveTheProfileCountsToo",
     {{G(0, 100), ""}, {P(500), ""}, {G(50000, 161), ""}, {G(66000, 177), "+dev"}}},
    {"DeviationTimerRestartsInsideTheBand",
     {{G(0, 100), ""},
      {P(500), ""},
      {G(50000, 139), ""},
      {G(60000, 155), ""},
      {G(61000, 150), ""},
      {G(75000, 164), ""}}},
    {"DeviationClearsBackOnTheProfileAndRaisesAgain",
     {{G(0, 100), ""},
      {P(500), ""},
      {G(50000, 139), ""},
      {G(66000, 155), "+dev"},
      {G(67000, 150), ""},  // still 17 under 167
      {G(68000, 168), "-dev"},
      {G(69000, 150), ""},
      {G(85000, 170), "+dev"}}},
    {"DeviationClearsWhenTheBakeEnds",
     {{G(0, 100), ""},
      {P(500), ""},
      {G(50000, 139), ""},
      {G(66000, 155), "+dev"},
      {End(67000, 0), "-dev,+done"}}},
    {"DeviationOnlyWhileTheProfileRuns",
     {{G(0, 100), ""}, {P(500), ""}, {G(200500, 20), ""}, {G(230000, 20), ""}}},
    {"DeviationSkipsGaugesWithoutAReading",
     {{G(0, 100), ""}, {P(500), ""}, {G(50000, kNoValue), ""}, {G(70000, kNoValue), ""}}},

    {"LinkLostDuringABakeRaisesAndClearsOnReconnect",
     {{G(0, 100), ""},
      {Lost(1000), "+link"},
      {Lost(2000), ""},
      {Up(3000), "-link"},
      {G(4000, 100), ""},
      {Lost(5000), "+link"}}},
    {"LinkLostClearsWithReadings",
     {{G(0, 100), ""}, {Lost(1000), "+link"}, {G(4000, 100), "-link"}}},
    {"LinkLostWhileIdleIsNoAlarm", {{G(0, 25, false), ""}, {Lost(1000), ""}}},
    {"LinkLostAfterTheBakeEndedIsNoAlarm",
     {{G(0, 100), ""}, {End(1000, 0), "+done"}, {Lost(2000), ""}}},

    {"BakeErrorRaisesAndClearsWithTheNextBake",
     {{G(0, 100), ""},
      {End(1000, 7), "+err"},
      {G(2000, 90, false), ""},
      {G(3000, 90), "-err"},
      {End(4000, 7), "+err"}}},
    {"BakeFinishedRaisesAndClearsWithTheNextBake",
     {{G(0, 100), ""}, {End(1000, 0), "+done"}, {G(2000, 100), "-done"}, {End(3000, 0), "+done"}}},
};

INSTANTIATE_TEST_SUITE_P(Sequences, AlarmRules, ::testing::ValuesIn(kCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(AlarmSettings, DefaultsAreTheOperatorsPick) {
    const AlarmSettings s;
    EXPECT_TRUE(s.overTemperature && s.profileDeviation && s.linkLost && s.bakeError &&
                s.bakeFinished);
    EXPECT_EQ(s.overTemperatureMargin, 10.0);
    EXPECT_EQ(s.deviationBand, 10.0);
    EXPECT_EQ(s.deviationSeconds, 15.0);
}

TEST(AlarmSettings, LimitsAndSwitchesAreHonoured) {
    AlarmSettings s = NoRepeat();
    s.overTemperatureMargin = 2;
    s.deviationBand = 30;
    s.bakeFinished = false;
    AlarmEngine engine("1001", s);
    EXPECT_TRUE(Replays(engine, {{G(0, 100), ""},
                                 {P(500), ""},
                                 {G(50000, 125), ""},  // 25 under: inside the wider band
                                 {G(70000, 125), ""},
                                 {G(100000, 202.5), "+hot"},
                                 {End(101000, 0), ""}}));
}

TEST(AlarmEngine, TextsNameTheControllerAndTheCause) {
    AlarmEngine engine("plate-3", NoRepeat());
    engine.Observe(G(0, 100));
    const auto err = engine.Observe(End(1000, 7));
    ASSERT_EQ(err.size(), 1u);
    EXPECT_EQ(err[0].text, "plate-3: bake ended with an error: Heater failure");
    engine.Observe(G(2000, 100));
    engine.Observe(P(2500));
    const auto hot = engine.Observe(G(100000, 212.25));
    ASSERT_EQ(hot.size(), 1u);
    EXPECT_EQ(hot[0].text, "plate-3: main temperature 212.2 \u00b0C above the limit 210.0 \u00b0C");
}

// An unacknowledged alarm repeats; acknowledging stops that, and only a
// clear makes the same condition raise again.
TEST(AlarmEngine, AcknowledgeStopsTheRepeatUntilTheConditionReturns) {
    AlarmSettings s;
    s.repeatSeconds = 60;
    AlarmEngine engine("1001", s);
    engine.Observe(G(0, 100));
    ASSERT_EQ(Shown(engine.Observe(Lost(1000))), "+link");
    EXPECT_TRUE(engine.NeedsOperator());
    EXPECT_EQ(Shown(engine.Tick(60999)), "");
    const auto repeat = engine.Tick(61000);
    ASSERT_EQ(Shown(repeat), "*link");
    EXPECT_EQ(repeat[0].text, "1001: link lost during a bake");
    EXPECT_EQ(Shown(engine.Tick(121000)), "*link");

    EXPECT_TRUE(engine.Acknowledge(AlarmRule::LinkLost));
    EXPECT_FALSE(engine.NeedsOperator());
    EXPECT_TRUE(engine.IsActive(AlarmRule::LinkLost));
    EXPECT_EQ(Shown(engine.Tick(500000)), "");
    EXPECT_EQ(Shown(engine.Observe(Lost(501000))), "");  // still the same loss

    EXPECT_EQ(Shown(engine.Observe(Up(502000))), "-link");
    EXPECT_FALSE(engine.Acknowledge(AlarmRule::LinkLost));
    engine.Observe(G(503000, 100));
    EXPECT_EQ(Shown(engine.Observe(Lost(504000))), "+link");
    EXPECT_TRUE(engine.NeedsOperator());
    EXPECT_FALSE(engine.IsAcknowledged(AlarmRule::LinkLost));
}

TEST(AlarmEngine, AcknowledgeAllLeavesRulesThatRaiseLater) {
    AlarmEngine engine("1001");
    engine.Observe(G(0, 100));
    engine.Observe(End(1000, 7));
    engine.AcknowledgeAll();
    EXPECT_FALSE(engine.NeedsOperator());
    engine.Observe(G(2000, 100));  // clears the error with the new bake
    EXPECT_EQ(Shown(engine.Observe(Lost(3000))), "+link");
    EXPECT_TRUE(engine.NeedsOperator());
}

TEST(ProfileTempAt, FollowsThePointsAndNothingOutside) {
    const std::vector<alarms::ProfilePoint> pts = {{0, 100}, {1000, 200}, {1000, 50}, {3000, 150}};
    struct {
        double t;
        bool inside;
        double temp;
    } const cases[] = {{-1, false, 0},    {0, true, 100},    {500, true, 150}, {1000, true, 50},
                       {2000, true, 100}, {3000, true, 150}, {3001, false, 0}};
    for (const auto& c : cases) {
        double temp = -1;
        EXPECT_EQ(alarms::ProfileTempAt(pts, c.t, temp), c.inside) << c.t;
        if (c.inside) {
            EXPECT_DOUBLE_EQ(temp, c.temp) << c.t;
        }
    }
    double temp = 0;
    EXPECT_FALSE(alarms::ProfileTempAt({}, 0, temp));
}

}  // namespace
