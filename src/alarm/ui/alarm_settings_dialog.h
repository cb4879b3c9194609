#pragma once
// The dialog of the alarm rules: each rule on or off with its limits, how
// often an unacknowledged alarm is announced again, and the sound. It edits
// a copy; the caller takes Preferences() after "OK" and stores them.

#include <QDialog>

#include "alarm/ui/alarm_preferences.h"

class QCheckBox;
class QDoubleSpinBox;

namespace alarms::ui {

class AlarmSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit AlarmSettingsDialog(const AlarmPreferences& preferences, QWidget* parent = nullptr);

    AlarmPreferences Preferences() const;
    // Shows the defaults an operator would pick (the "Defaults" button).
    void ShowPreferences(const AlarmPreferences& preferences);

private:
    void UpdateEnabling();

    QCheckBox* overTemperature_ = nullptr;
    QDoubleSpinBox* margin_ = nullptr;
    QCheckBox* deviation_ = nullptr;
    QDoubleSpinBox* band_ = nullptr;
    QDoubleSpinBox* deviationSeconds_ = nullptr;
    QCheckBox* linkLost_ = nullptr;
    QCheckBox* bakeError_ = nullptr;
    QCheckBox* bakeFinished_ = nullptr;
    QDoubleSpinBox* repeat_ = nullptr;
    QCheckBox* sound_ = nullptr;
};

}  // namespace alarms::ui
