// A controller's alarms fed from a real control panel: what the panel's
// signals carry (hundredths of a degree, readings without value, the
// running profile, a dropped link, the bake result) reaches the engine as
// the rules expect it, and the watch says when the operator is needed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "shell/alarm_watch.h"
#include "tests/support/gauge_packet.h"
#include "tests/support/ui_test_support.h"

namespace {

using alarms::AlarmChange;
using alarms::AlarmRule;

class AlarmWatchTest : public ::testing::Test {
protected:
    AlarmWatchTest()
        : watch_(&panel_, QStringLiteral("1001"), {}, nullptr, [this] { return now_; }) {
        panel_.SetLink(&link_);
        panel_.SetTraceLog(&log_);
        panel_.SetMessageBox(&box_);
        QObject::connect(&watch_, &shell::AlarmWatch::alarmChanged,
                         [this](const alarms::AlarmEvent& e) { events_.push_back(e); });
        QObject::connect(&watch_, &shell::AlarmWatch::needsOperatorChanged,
                         [this](bool needs) { needs_.push_back(needs); });
    }

    void Feed(const std::vector<uint8_t>& p) { panel_.OnPacket(p.data(), uint32_t(p.size())); }
    void Gauge(uint32_t state, uint64_t timestamp, int32_t tempMain) {
        Feed(test_support::GaugePacket(
            {.timestamp = timestamp, .devState = state, .tempMain = tempMain}));
    }
    // The events of one rule and change since the last look.
    size_t Count(AlarmRule rule, AlarmChange change) const {
        size_t n = 0;
        for (const auto& e : events_) n += e.rule == rule && e.change == change;
        return n;
    }
    const alarms::AlarmEvent* Last(AlarmRule rule) const {
        for (auto it = events_.rbegin(); it != events_.rend(); ++it)
            if (it->rule == rule)
                return &*it;
        return nullptr;
    }

    int64_t now_ = 0;
    uitest::FakeLink link_;
    uitest::RecordingTraceLog log_;
    uitest::RecordingMessageBox box_;
    bake::ui::ControlPanel panel_;
    shell::AlarmWatch watch_;
    std::vector<alarms::AlarmEvent> events_;
    std::vector<bool> needs_;
};

}  // namespace

TEST_F(AlarmWatchTest, ThePanelsSignalsReachTheRulesInTheirUnits) {
    panel_.OnDeviceConnected();
    Gauge(bake::CONCC_DEV_BAKING, 1000, 2500);
    // The running profile: 25 °C to a peak of 200 °C over a minute.
    bake::CONCC_TempProfile report;
    report.header = {bake::CONCC_PKT_GET_PROFILE, 0, 0};
    report.startTime = 1000;
    report.points = {{0, 2500}, {60000, 20000}};
    Feed(bake::EncodeTempProfile(report));

    // 210.00 °C is the limit, not above it; 210.01 °C is.
    now_ = 1000;
    Gauge(bake::CONCC_DEV_BAKING, 61000, 21000);
    EXPECT_EQ(0u, Count(AlarmRule::OverTemperature, AlarmChange::Raised));
    now_ = 2000;
    Gauge(bake::CONCC_DEV_BAKING, 62000, 21001);
    ASSERT_EQ(1u, Count(AlarmRule::OverTemperature, AlarmChange::Raised));
    EXPECT_EQ(0u, Last(AlarmRule::OverTemperature)->text.rfind("1001: main temperature", 0));
    EXPECT_EQ(2000, Last(AlarmRule::OverTemperature)->atMs);
    EXPECT_EQ((std::vector<bool>{true}), needs_);

    // A reading without a value neither clears nor raises anything.
    events_.clear();
    Gauge(bake::CONCC_DEV_BAKING, 63000, -1);
    EXPECT_TRUE(events_.empty());
    EXPECT_TRUE(watch_.Engine().IsActive(AlarmRule::OverTemperature));

    // Acknowledged: no repeat, however long it stays.
    watch_.Acknowledge();
    EXPECT_EQ((std::vector<bool>{true, false}), needs_);
    now_ = 10 * 60 * 1000;
    watch_.Tick();
    EXPECT_EQ(0u, Count(AlarmRule::OverTemperature, AlarmChange::Repeated));

    // The link drops mid-bake, then comes back.
    panel_.OnDeviceDisconnected();
    ASSERT_EQ(1u, Count(AlarmRule::LinkLost, AlarmChange::Raised));
    EXPECT_EQ("1001: link lost during a bake", Last(AlarmRule::LinkLost)->text);
    EXPECT_TRUE(watch_.NeedsOperator());
    panel_.OnDeviceConnected();
    EXPECT_EQ(1u, Count(AlarmRule::LinkLost, AlarmChange::Cleared));

    // The controller's result: an error names its code's text.
    watch_.SetController(QStringLiteral("Plate 7"));
    const auto result =
        bake::EncodeBakeResult({{bake::CONCC_PKT_BAKE_RESULT, 0, 0}, 120, bake::kResultOverheat});
    Feed(std::vector<uint8_t>(result.begin(), result.end()));
    ASSERT_EQ(1u, Count(AlarmRule::BakeError, AlarmChange::Raised));
    EXPECT_EQ("Plate 7: bake ended with an error: " +
                  std::string(bake::ResultCodeText(bake::kResultOverheat)),
              Last(AlarmRule::BakeError)->text);
    EXPECT_TRUE(
        watch_.ActiveTexts().contains(QString::fromStdString(Last(AlarmRule::BakeError)->text)));
}

TEST_F(AlarmWatchTest, AnUnacknowledgedAlarmIsAnnouncedAgainOnTheTick) {
    panel_.OnDeviceConnected();
    Gauge(bake::CONCC_DEV_BAKING, 1000, 2500);
    const auto result = bake::EncodeBakeResult({{bake::CONCC_PKT_BAKE_RESULT, 0, 0}, 120, 0});
    Feed(std::vector<uint8_t>(result.begin(), result.end()));
    ASSERT_EQ(1u, Count(AlarmRule::BakeFinished, AlarmChange::Raised));
    now_ = 59 * 1000;
    watch_.Tick();
    EXPECT_EQ(0u, Count(AlarmRule::BakeFinished, AlarmChange::Repeated));
    now_ = 61 * 1000;
    watch_.Tick();
    EXPECT_EQ(1u, Count(AlarmRule::BakeFinished, AlarmChange::Repeated));
}
