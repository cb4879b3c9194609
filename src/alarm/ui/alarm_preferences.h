#pragma once
// The operator's alarm choices as the program keeps them: the rules of every
// controller and whether an alarm makes a sound. Stored in the program's
// settings store; a value that is missing, unreadable or out of its range
// reads as its default, so a hand-edited file never switches a rule off by
// accident or sets a limit the dialog could not show.

#include "alarm/alarm_engine.h"

namespace alarms::ui {

struct AlarmPreferences {
    alarms::AlarmSettings rules;
    bool sound = false;
};

// What the dialog accepts and the store keeps.
struct Range {
    double min, max;
};
inline constexpr Range kMarginRange{0.0, 500.0};             // degrees
inline constexpr Range kBandRange{0.5, 500.0};               // degrees
inline constexpr Range kDeviationSecondsRange{1.0, 3600.0};  // seconds
inline constexpr Range kRepeatSecondsRange{0.0, 3600.0};     // seconds, 0 = once

AlarmPreferences LoadAlarmSettings();
void SaveAlarmSettings(const AlarmPreferences& preferences);

}  // namespace alarms::ui
