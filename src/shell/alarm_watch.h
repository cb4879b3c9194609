#pragma once
// One controller's alarms in the program: its alarm engine fed from its
// control panel's signals, each observation stamped with the program's
// monotonic clock, and a one-second tick that announces unacknowledged
// alarms again. What the operator is told (log, status bar, notification,
// the red row and tab) is the shell's business; this says what changed.
//
// Window thread only.

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <vector>

#include "alarm/alarm_engine.h"
#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"

namespace shell {

class AlarmWatch : public QObject {
    Q_OBJECT
public:
    // Milliseconds of a monotonic clock; tests step their own.
    using Clock = std::function<int64_t()>;

    AlarmWatch(const bake::ui::ControlPanel* panel, const QString& controller,
               const alarms::AlarmSettings& settings, QObject* parent = nullptr, Clock clock = {});

    const alarms::AlarmEngine& Engine() const { return engine_; }
    void SetController(const QString& name);
    void SetSettings(const alarms::AlarmSettings& settings) { engine_.SetSettings(settings); }
    // An active alarm nobody acknowledged.
    bool NeedsOperator() const { return engine_.NeedsOperator(); }
    // The texts of the active alarms, newest rule last.
    QStringList ActiveTexts() const;
    // The operator saw them: no more repeats until a condition clears and
    // comes back.
    void Acknowledge();
    // What the timer does: repeats whose time has come.
    void Tick();

signals:
    void alarmChanged(const alarms::AlarmEvent& event);
    void needsOperatorChanged(bool needs);

private:
    void Observe(const alarms::Observation& o);
    void Tell(const std::vector<alarms::AlarmEvent>& events);
    int64_t Now() const { return clock_(); }

    alarms::AlarmEngine engine_;
    Clock clock_;
    QTimer tick_;
    bool needsOperator_ = false;
    bake::ui::ControlState state_ = bake::ui::ControlState::CF_DISCONNECTED;
};

}  // namespace shell
