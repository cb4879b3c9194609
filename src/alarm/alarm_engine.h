#pragma once
// The alarm rules of one controller. The engine sees what the program learns
// about the controller, in the order it learns it, and answers with alarm
// events for the operator. It owns no clock and no link: the caller stamps
// every observation, so a recorded sequence replays exactly.
//
// The packet layer sits beside this folder, so observations carry plain
// values: temperatures in degrees (NaN = no reading), the controller's
// result code of a finished bake with the text the caller shows for it.

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace alarms {

// What an operator would pick; the settings dialog edits a copy of this.
struct AlarmSettings {
    bool overTemperature = true;
    double overTemperatureMargin = 10.0;  // degrees above the running profile's peak
    bool profileDeviation = true;
    double deviationBand = 10.0;     // degrees either side of the profile
    double deviationSeconds = 15.0;  // longer than this outside the band
    bool linkLost = true;            // only while a bake runs
    bool bakeError = true;
    bool bakeFinished = true;
    double repeatSeconds = 60.0;  // an unacknowledged alarm is announced again; 0 = once
};

enum class AlarmRule { OverTemperature, ProfileDeviation, LinkLost, BakeError, BakeFinished };
inline constexpr size_t kAlarmRuleCount = 5;

enum class AlarmChange { Raised, Repeated, Cleared };

struct AlarmEvent {
    AlarmRule rule;
    AlarmChange change;
    int64_t atMs;
    std::string text;  // starts with the controller's name
};

struct ProfilePoint {
    uint32_t timeMs = 0;  // from the profile's start
    double temp = 0;      // degrees
};

struct Observation {
    enum class Kind { Gauge, Profile, LinkLost, LinkUp, BakeEnd };
    Kind kind = Kind::Gauge;
    int64_t atMs = 0;  // the program's monotonic clock

    // Gauge
    uint64_t controllerMs = 0;
    bool baking = false;
    double tempMain = 0;  // NaN = no reading
    // Profile (the controller's report of the profile it runs)
    uint64_t profileStartMs = 0;  // controller time of the profile's time 0
    std::vector<ProfilePoint> points;
    // BakeEnd
    uint32_t result = 0;  // 0 = baked successfully
    std::string resultText;

    static Observation Gauge(int64_t atMs, uint64_t controllerMs, bool baking, double tempMain);
    static Observation Profile(int64_t atMs, uint64_t startMs, std::vector<ProfilePoint> points);
    static Observation LinkLost(int64_t atMs);
    static Observation LinkUp(int64_t atMs);
    static Observation BakeEnd(int64_t atMs, uint32_t result, std::string resultText);
};

// The profile's temperature at a time from its start, straight between
// points; false outside the profile's first and last point.
bool ProfileTempAt(const std::vector<ProfilePoint>& points, double timeMs, double& temp);

class AlarmEngine {
public:
    explicit AlarmEngine(std::string controller, AlarmSettings settings = {});

    // Feeds one observation; returns what changed, raises before clears.
    std::vector<AlarmEvent> Observe(const Observation& o);
    // Announces again the unacknowledged alarms whose repeat is due.
    std::vector<AlarmEvent> Tick(int64_t atMs);

    // Stops the repeat of an active alarm; false when it is not active.
    bool Acknowledge(AlarmRule rule);
    void AcknowledgeAll();

    bool IsActive(AlarmRule rule) const { return state_[Index(rule)].active; }
    bool IsAcknowledged(AlarmRule rule) const { return state_[Index(rule)].acknowledged; }
    // The text an active alarm was raised with.
    const std::string& ActiveText(AlarmRule rule) const { return state_[Index(rule)].text; }
    // An active alarm nobody acknowledged: what turns the controller's row red.
    bool NeedsOperator() const;

    const std::string& Controller() const { return controller_; }
    // Texts from now on name the controller so (its device ID, once known).
    void SetController(std::string controller) { controller_ = std::move(controller); }
    const AlarmSettings& Settings() const { return settings_; }
    void SetSettings(const AlarmSettings& settings) { settings_ = settings; }

private:
    struct RuleState {
        bool active = false;
        bool acknowledged = false;
        int64_t lastShownMs = 0;
        std::string text;  // as raised, so a repeat says the same
    };
    static size_t Index(AlarmRule r) { return static_cast<size_t>(r); }

    void OnGauge(const Observation& o, std::vector<AlarmEvent>& out);
    void Raise(AlarmRule rule, int64_t atMs, const std::string& text, std::vector<AlarmEvent>& out);
    void Clear(AlarmRule rule, int64_t atMs, const std::string& text, std::vector<AlarmEvent>& out);
    std::string Named(const std::string& what) const;

    std::string controller_;
    AlarmSettings settings_;
    std::array<RuleState, kAlarmRuleCount> state_{};

    bool baking_ = false;
    std::vector<ProfilePoint> profile_;
    uint64_t profileStartMs_ = 0;
    double profilePeak_ = 0;
    bool deviating_ = false;
    int64_t deviatingSinceMs_ = 0;
};

}  // namespace alarms
