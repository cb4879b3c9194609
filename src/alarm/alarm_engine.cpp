#include "alarm/alarm_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace alarms {

namespace {

std::string Degrees(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f \u00b0C", v);
    return buf;
}

}  // namespace

Observation Observation::Gauge(int64_t atMs, uint64_t controllerMs, bool baking, double tempMain) {
    Observation o;
    o.kind = Kind::Gauge;
    o.atMs = atMs;
    o.controllerMs = controllerMs;
    o.baking = baking;
    o.tempMain = tempMain;
    return o;
}

Observation Observation::Profile(int64_t atMs, uint64_t startMs, std::vector<ProfilePoint> points) {
    Observation o;
    o.kind = Kind::Profile;
    o.atMs = atMs;
    o.profileStartMs = startMs;
    o.points = std::move(points);
    return o;
}

Observation Observation::LinkLost(int64_t atMs) {
    Observation o;
    o.kind = Kind::LinkLost;
    o.atMs = atMs;
    return o;
}

Observation Observation::LinkUp(int64_t atMs) {
    Observation o;
    o.kind = Kind::LinkUp;
    o.atMs = atMs;
    return o;
}

Observation Observation::BakeEnd(int64_t atMs, uint32_t result, std::string resultText) {
    Observation o;
    o.kind = Kind::BakeEnd;
    o.atMs = atMs;
    o.result = result;
    o.resultText = std::move(resultText);
    return o;
}

bool ProfileTempAt(const std::vector<ProfilePoint>& points, double timeMs, double& temp) {
    if (points.empty() || timeMs < points.front().timeMs || timeMs > points.back().timeMs)
        return false;
    // The last point at or before the time: where points share a time (a
    // step), the later one holds from there on.
    size_t i = 0;
    while (i + 1 < points.size() && points[i + 1].timeMs <= timeMs) ++i;
    if (i + 1 == points.size()) {
        temp = points[i].temp;
        return true;
    }
    const ProfilePoint& a = points[i];
    const ProfilePoint& b = points[i + 1];
    temp = a.temp + (b.temp - a.temp) * (timeMs - a.timeMs) / (double(b.timeMs) - a.timeMs);
    return true;
}

AlarmEngine::AlarmEngine(std::string controller, AlarmSettings settings)
    : controller_(std::move(controller)), settings_(settings) {}

std::string AlarmEngine::Named(const std::string& what) const {
    return controller_ + ": " + what;
}

void AlarmEngine::Raise(AlarmRule rule, int64_t atMs, const std::string& text,
                        std::vector<AlarmEvent>& out) {
    RuleState& s = state_[Index(rule)];
    if (s.active)
        return;  // the same condition, still standing: raised once until it clears
    s = {true, false, atMs, Named(text)};
    out.push_back({rule, AlarmChange::Raised, atMs, s.text});
}

void AlarmEngine::Clear(AlarmRule rule, int64_t atMs, const std::string& text,
                        std::vector<AlarmEvent>& out) {
    RuleState& s = state_[Index(rule)];
    if (!s.active)
        return;
    s = {};
    out.push_back({rule, AlarmChange::Cleared, atMs, Named(text)});
}

std::vector<AlarmEvent> AlarmEngine::Observe(const Observation& o) {
    std::vector<AlarmEvent> out;
    switch (o.kind) {
        case Observation::Kind::Gauge:
            OnGauge(o, out);
            break;
        case Observation::Kind::Profile:
            // A report of an empty profile tells nothing to hold the plate to.
            if (!o.points.empty()) {
                profile_ = o.points;
                profileStartMs_ = o.profileStartMs;
                profilePeak_ = profile_.front().temp;
                for (const ProfilePoint& p : profile_)
                    profilePeak_ = std::max(profilePeak_, p.temp);
            }
            break;
        case Observation::Kind::LinkLost:
            if (baking_ && settings_.linkLost)
                Raise(AlarmRule::LinkLost, o.atMs, "link lost during a bake", out);
            // Without readings nothing is known about the plate any more.
            deviating_ = false;
            break;
        case Observation::Kind::LinkUp:
            Clear(AlarmRule::LinkLost, o.atMs, "link back", out);
            break;
        case Observation::Kind::BakeEnd:
            baking_ = false;
            deviating_ = false;
            Clear(AlarmRule::ProfileDeviation, o.atMs, "bake ended", out);
            if (o.result != 0) {
                if (settings_.bakeError)
                    Raise(AlarmRule::BakeError, o.atMs, "bake ended with an error: " + o.resultText,
                          out);
            } else if (settings_.bakeFinished) {
                Raise(AlarmRule::BakeFinished, o.atMs, "bake finished", out);
            }
            break;
    }
    std::vector<AlarmEvent> due = Tick(o.atMs);
    out.insert(out.end(), due.begin(), due.end());
    return out;
}

void AlarmEngine::OnGauge(const Observation& o, std::vector<AlarmEvent>& out) {
    if (o.baking && !baking_) {
        // A new bake: the last bake's outcome is history, and its profile
        // until the controller reports the new one.
        Clear(AlarmRule::BakeError, o.atMs, "new bake started", out);
        Clear(AlarmRule::BakeFinished, o.atMs, "new bake started", out);
        profile_.clear();
        deviating_ = false;
    }
    if (!o.baking && baking_) {
        deviating_ = false;
        Clear(AlarmRule::ProfileDeviation, o.atMs, "bake ended", out);
    }
    baking_ = o.baking;
    // Readings flow again, so the link is evidently back.
    Clear(AlarmRule::LinkLost, o.atMs, "link back", out);

    if (std::isnan(o.tempMain) || profile_.empty())
        return;

    // The plate may overheat after the bake too, so this rule outlives it.
    const double limit = profilePeak_ + settings_.overTemperatureMargin;
    if (settings_.overTemperature && o.tempMain > limit)
        Raise(AlarmRule::OverTemperature, o.atMs,
              "main temperature " + Degrees(o.tempMain) + " above the limit " + Degrees(limit),
              out);
    else if (o.tempMain <= limit)
        Clear(AlarmRule::OverTemperature, o.atMs,
              "main temperature " + Degrees(o.tempMain) + " back under the limit", out);

    if (!o.baking)
        return;
    double target = 0;
    const double since = double(o.controllerMs) - double(profileStartMs_);
    const bool inProfile = ProfileTempAt(profile_, since, target);
    const bool outside = inProfile && std::fabs(o.tempMain - target) > settings_.deviationBand;
    if (!outside) {
        deviating_ = false;
        if (inProfile)
            Clear(AlarmRule::ProfileDeviation, o.atMs, "main temperature back on the profile", out);
        return;
    }
    if (!deviating_) {
        deviating_ = true;
        deviatingSinceMs_ = o.atMs;
    }
    if (settings_.profileDeviation &&
        double(o.atMs - deviatingSinceMs_) > settings_.deviationSeconds * 1000.0)
        Raise(AlarmRule::ProfileDeviation, o.atMs,
              "main temperature " + Degrees(o.tempMain) + " away from the profile's " +
                  Degrees(target) + " for more than " +
                  std::to_string(int(settings_.deviationSeconds)) + " s",
              out);
}

std::vector<AlarmEvent> AlarmEngine::Tick(int64_t atMs) {
    std::vector<AlarmEvent> out;
    if (settings_.repeatSeconds <= 0)
        return out;
    const auto every = static_cast<int64_t>(settings_.repeatSeconds * 1000.0);
    for (size_t i = 0; i < kAlarmRuleCount; ++i) {
        RuleState& s = state_[i];
        if (!s.active || s.acknowledged || atMs - s.lastShownMs < every)
            continue;
        s.lastShownMs = atMs;
        out.push_back({static_cast<AlarmRule>(i), AlarmChange::Repeated, atMs, s.text});
    }
    return out;
}

bool AlarmEngine::Acknowledge(AlarmRule rule) {
    RuleState& s = state_[Index(rule)];
    if (!s.active)
        return false;
    s.acknowledged = true;
    return true;
}

void AlarmEngine::AcknowledgeAll() {
    for (RuleState& s : state_)
        if (s.active)
            s.acknowledged = true;
}

bool AlarmEngine::NeedsOperator() const {
    return std::any_of(state_.begin(), state_.end(),
                       [](const RuleState& s) { return s.active && !s.acknowledged; });
}

}  // namespace alarms
