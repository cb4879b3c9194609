// The alarm preferences in the settings store and the dialog that edits them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSettings>

#include "alarm/ui/alarm_preferences.h"
#include "alarm/ui/alarm_settings_dialog.h"
#include "tests/support/ui_test_support.h"
#include "widgets/settings.h"

using alarms::ui::AlarmPreferences;

namespace {

AlarmPreferences Changed() {
    AlarmPreferences p;
    p.rules.overTemperature = false;
    p.rules.overTemperatureMargin = 25.5;
    p.rules.profileDeviation = true;
    p.rules.deviationBand = 7.5;
    p.rules.deviationSeconds = 30;
    p.rules.linkLost = false;
    p.rules.bakeError = true;
    p.rules.bakeFinished = false;
    p.rules.repeatSeconds = 0;
    p.sound = true;
    return p;
}

::testing::AssertionResult Same(const AlarmPreferences& a, const AlarmPreferences& b) {
    const auto &x = a.rules, &y = b.rules;
    if (x.overTemperature == y.overTemperature &&
        x.overTemperatureMargin == y.overTemperatureMargin &&
        x.profileDeviation == y.profileDeviation && x.deviationBand == y.deviationBand &&
        x.deviationSeconds == y.deviationSeconds && x.linkLost == y.linkLost &&
        x.bakeError == y.bakeError && x.bakeFinished == y.bakeFinished &&
        x.repeatSeconds == y.repeatSeconds && a.sound == b.sound)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "margin " << x.overTemperatureMargin << "/" << y.overTemperatureMargin << ", band "
           << x.deviationBand << "/" << y.deviationBand << ", seconds " << x.deviationSeconds << "/"
           << y.deviationSeconds << ", repeat " << x.repeatSeconds << "/" << y.repeatSeconds
           << ", sound " << a.sound << "/" << b.sound << ", rules " << x.overTemperature
           << x.profileDeviation << x.linkLost << x.bakeError << x.bakeFinished << "/"
           << y.overTemperature << y.profileDeviation << y.linkLost << y.bakeError
           << y.bakeFinished;
}

template <typename T>
T* Child(QWidget& parent, const char* name) {
    return parent.findChild<T*>(QString::fromLatin1(name));
}

}  // namespace

TEST(AlarmPreferences, DefaultsUntilSavedThenWhatWasSaved) {
    uitest::ClearSettings();
    EXPECT_TRUE(Same(AlarmPreferences{}, alarms::ui::LoadAlarmSettings()));
    alarms::ui::SaveAlarmSettings(Changed());
    EXPECT_TRUE(Same(Changed(), alarms::ui::LoadAlarmSettings()));
}

TEST(AlarmPreferences, AnUnreadableOrOutOfRangeValueReadsAsItsDefault) {
    const struct {
        const char* key;
        const char* stored;
    } cases[] = {
        {"OverTemperature", "perhaps"},  // a rule is never switched off by a typo
        {"LinkLost", ""},
        {"OverTemperatureMargin", "ten"},
        {"OverTemperatureMargin", "-1"},
        {"OverTemperatureMargin", "nan"},
        {"DeviationBand", "0"},  // a band of nothing would always alarm
        {"DeviationBand", "1e9"},
        {"DeviationSeconds", "inf"},
        {"RepeatSeconds", "-60"},
        {"Sound", "loud"},
    };
    for (const auto& c : cases) {
        uitest::ClearSettings();
        {
            QSettings s = widgets::OpenSettings();
            s.setValue(QStringLiteral("Alarms/") + QString::fromLatin1(c.key),
                       QString::fromLatin1(c.stored));
        }
        EXPECT_TRUE(Same(AlarmPreferences{}, alarms::ui::LoadAlarmSettings()))
            << c.key << "=" << c.stored;
    }
    uitest::ClearSettings();
}

TEST(AlarmSettingsDialog, ShowsEditsAndRestoresThePreferences) {
    alarms::ui::AlarmSettingsDialog dialog(Changed());
    EXPECT_EQ(QStringLiteral("Alarms"), dialog.windowTitle());
    EXPECT_TRUE(Same(Changed(), dialog.Preferences()));
    // A rule that is off keeps its limits but greys them.
    EXPECT_FALSE(Child<QDoubleSpinBox>(dialog, "overTemperatureMargin")->isEnabled());
    EXPECT_TRUE(Child<QDoubleSpinBox>(dialog, "deviationBand")->isEnabled());
    EXPECT_EQ(QStringLiteral("never"), Child<QDoubleSpinBox>(dialog, "repeatSeconds")->text());

    // Each control changes its own field, and nothing else.
    const struct {
        const char* name;
        double value;  // a spin box's value; for a check box, 1 = checked
        void (*expect)(AlarmPreferences&, double);
    } cases[] = {
        {"overTemperature", 1, [](AlarmPreferences& p, double) { p.rules.overTemperature = true; }},
        {"overTemperatureMargin", 40,
         [](AlarmPreferences& p, double v) { p.rules.overTemperatureMargin = v; }},
        {"profileDeviation", 0,
         [](AlarmPreferences& p, double) { p.rules.profileDeviation = false; }},
        {"deviationBand", 2.5, [](AlarmPreferences& p, double v) { p.rules.deviationBand = v; }},
        {"deviationSeconds", 90,
         [](AlarmPreferences& p, double v) { p.rules.deviationSeconds = v; }},
        {"linkLost", 1, [](AlarmPreferences& p, double) { p.rules.linkLost = true; }},
        {"bakeError", 0, [](AlarmPreferences& p, double) { p.rules.bakeError = false; }},
        {"bakeFinished", 1, [](AlarmPreferences& p, double) { p.rules.bakeFinished = true; }},
        {"repeatSeconds", 120, [](AlarmPreferences& p, double v) { p.rules.repeatSeconds = v; }},
        {"sound", 0, [](AlarmPreferences& p, double) { p.sound = false; }},
        // Beyond the range: the box keeps to it.
        {"deviationBand", 0, [](AlarmPreferences& p, double) { p.rules.deviationBand = 0.5; }},
    };
    for (const auto& c : cases) {
        alarms::ui::AlarmSettingsDialog d(Changed());
        if (auto* box = Child<QCheckBox>(d, c.name)) {
            box->setChecked(c.value != 0);
        } else {
            auto* spin = Child<QDoubleSpinBox>(d, c.name);
            ASSERT_NE(nullptr, spin) << c.name;
            spin->setValue(c.value);
        }
        AlarmPreferences expected = Changed();
        c.expect(expected, c.value);
        EXPECT_TRUE(Same(expected, d.Preferences())) << c.name;
    }

    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(nullptr, buttons);
    buttons->button(QDialogButtonBox::RestoreDefaults)->click();
    EXPECT_TRUE(Same(AlarmPreferences{}, dialog.Preferences()));
    EXPECT_TRUE(Child<QDoubleSpinBox>(dialog, "overTemperatureMargin")->isEnabled());
}
