#pragma once
// One controller's line in the Overview, without widgets: what the pane
// shows, how each cell reads, and how rows sort. The shell fills a row from
// what the controller's panel, its report and its alarms tell; everything
// computed from them is a pure function here, so that a test can call it.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "bake/controller_packets.h"
#include "report/process_window.h"

namespace overview {

inline constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

enum class Verdict { Unknown, Fail, Pass };

struct ControllerRow {
    int key = 0;                         // the shell's handle on the controller
    std::string device;                  // device ID; empty while unknown
    std::string address;                 // as connected to
    std::string state;                   // the control panel's state text
    double tempMain = kUnknown;          // degrees
    double setpoint = kUnknown;          // degrees, of the running profile
    double elapsedSeconds = kUnknown;    // of the bake
    double remainingSeconds = kUnknown;  // to the profile's last point
    Verdict verdict = Verdict::Unknown;  // of the last bake report
    std::string alarm;                   // empty: none
    bool needsOperator = false;          // an alarm nobody acknowledged
};

enum class Column {
    Device,
    Address,
    State,
    Temperature,
    Setpoint,
    Elapsed,
    Remaining,
    Verdict,
    Alarm,
};
inline constexpr int kColumnCount = 9;

// The header of a column.
const char* ColumnTitle(Column column);
// A cell as the pane shows it: degrees with one decimal and "°C", times as
// m:ss (h:mm:ss from an hour), "—" for what is not known.
std::string CellText(const ControllerRow& row, Column column);

// The running profile as the controller reported it.
struct RunningProfile {
    uint64_t startMs = 0;  // controller time of the profile's time 0
    std::vector<bake::CONCC_ProfilePoint> points;
};
RunningProfile FromReport(const bake::CONCC_TempProfile& report);

// The profile's temperature at a controller time, straight between points;
// unknown before its first point, after its last and without points.
double SetpointAt(const RunningProfile& profile, uint64_t controllerMs);

struct BakeTimes {
    double elapsedSeconds = kUnknown;
    double remainingSeconds = kUnknown;
};
// Time since the profile's start and to its last point at a controller time;
// neither goes below zero. Unknown without points.
BakeTimes BakeTimesAt(const RunningProfile& profile, uint64_t controllerMs);

Verdict VerdictOf(const std::optional<report::Verdict>& verdict);

// Whether `a` goes before `b` sorted by `column`: numbers as numbers, texts
// with their digit runs as numbers ("127.0.0.9" before "127.0.0.10"), what
// is unknown last whichever the direction, equal rows by key.
bool SortsBefore(const ControllerRow& a, const ControllerRow& b, Column column, bool ascending);
void SortRows(std::vector<ControllerRow>& rows, Column column, bool ascending);

// Keeps one controller's row from what its panel reports, in the order the
// panel reports it. A reading never outlives its source: a new bake drops
// the last bake's profile, the end of a bake its setpoint and times, a lost
// link the temperature.
class RowTracker {
public:
    RowTracker(int key, std::string address);

    void SetDevice(std::string device) { row_.device = std::move(device); }
    void SetState(std::string state) { row_.state = std::move(state); }
    void SetVerdict(Verdict verdict) { row_.verdict = verdict; }
    void SetAlarm(std::string text, bool needsOperator);

    void OnBakeStarted();
    void OnProfile(const bake::CONCC_TempProfile& report);
    // Temperature, and while a profile runs its setpoint and times at the
    // packet's controller time.
    void OnGauge(const bake::CONCC_GaugeData& gauge);
    void OnBakeEnded();
    void OnLinkLost();

    const ControllerRow& Row() const { return row_; }

private:
    void ClearBake();

    ControllerRow row_;
    RunningProfile profile_;
    bool baking_ = false;
};

}  // namespace overview
