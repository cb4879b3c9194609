#include "shell/alarm_watch.h"

#include <QElapsedTimer>
#include <QStringList>

#include <cmath>
#include <memory>

namespace shell {

namespace {

double Degrees(int32_t centi) {
    return bake::TempHasValue(centi) ? bake::TempDegrees(centi) : std::nan("");
}

}  // namespace

AlarmWatch::AlarmWatch(const bake::ui::ControlPanel* panel, const QString& controller,
                       const alarms::AlarmSettings& settings, QObject* parent, Clock clock)
    : QObject(parent), engine_(controller.toStdString(), settings), clock_(std::move(clock)) {
    if (!clock_) {
        auto started = std::make_shared<QElapsedTimer>();
        started->start();
        clock_ = [started] { return started->elapsed(); };
    }
    using bake::ui::ControlPanel;
    using bake::ui::ControlState;
    connect(panel, &ControlPanel::gaugeReceived, this, [this](const bake::CONCC_GaugeData& g) {
        Observe(alarms::Observation::Gauge(Now(), g.timestamp, state_ == ControlState::CF_BAKING,
                                           Degrees(g.tempMain)));
    });
    connect(panel, &ControlPanel::profileReported, this, [this](const bake::CONCC_TempProfile& r) {
        std::vector<alarms::ProfilePoint> points;
        points.reserve(r.points.size());
        for (const bake::CONCC_ProfilePoint& p : r.points)
            points.push_back({p.timeMs, double(p.tempCenti) / 100.0});
        Observe(alarms::Observation::Profile(Now(), r.startTime, std::move(points)));
    });
    connect(panel, &ControlPanel::stateChanged, this, [this](ControlState s) {
        const bool wasDown = state_ == ControlState::CF_DISCONNECTED;
        state_ = s;
        if (wasDown && s != ControlState::CF_DISCONNECTED)
            Observe(alarms::Observation::LinkUp(Now()));
    });
    connect(panel, &ControlPanel::bakeEnded, this, [this](bake::ui::BakeEnd how) {
        if (how == bake::ui::BakeEnd::LinkLost)
            Observe(alarms::Observation::LinkLost(Now()));
    });
    connect(panel, &ControlPanel::bakeResultReceived, this,
            [this](const bake::CONCC_BakeResult& r) {
                Observe(alarms::Observation::BakeEnd(Now(), r.bakeError,
                                                     bake::ResultCodeText(r.bakeError)));
            });
    state_ = panel->State();
    tick_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, this, &AlarmWatch::Tick);
    tick_.start();
}

void AlarmWatch::SetController(const QString& name) {
    engine_.SetController(name.toStdString());
}

QStringList AlarmWatch::ActiveTexts() const {
    QStringList out;
    for (size_t i = 0; i < alarms::kAlarmRuleCount; ++i) {
        const auto rule = static_cast<alarms::AlarmRule>(i);
        if (engine_.IsActive(rule))
            out << QString::fromStdString(engine_.ActiveText(rule));
    }
    return out;
}

void AlarmWatch::Acknowledge() {
    engine_.AcknowledgeAll();
    Tell({});
}

void AlarmWatch::Tick() {
    Tell(engine_.Tick(Now()));
}

void AlarmWatch::Observe(const alarms::Observation& o) {
    Tell(engine_.Observe(o));
}

void AlarmWatch::Tell(const std::vector<alarms::AlarmEvent>& events) {
    for (const alarms::AlarmEvent& e : events) emit alarmChanged(e);
    const bool needs = engine_.NeedsOperator();
    if (needs != needsOperator_) {
        needsOperator_ = needs;
        emit needsOperatorChanged(needs);
    }
}

}  // namespace shell
