#pragma once
// A process window: the temperatures a bake is measured against and the
// limits its metrics must keep, and the verdict of one bake against it.
//
// Window files are `key = value` lines: `name`, the temperatures `ts_min`,
// `ts_max` and `t_l`, and a limit on any metric as its name with `_min` or
// `_max` (`peak_c_max = 260`). Blank lines and lines starting with `#` are
// skipped. Every mistake is refused with the line and the key it is about:
// a window that silently dropped a limit would pass bakes it should fail.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "report/bake_metrics.h"

namespace report {

struct Limit {
    std::optional<double> min;
    std::optional<double> max;
    bool IsSet() const { return min || max; }
};

struct ProcessWindow {
    std::string name;
    Temperatures temperatures;
    std::array<Limit, kMetricCount> limits;

    Limit& operator[](Metric m) { return limits[static_cast<size_t>(m)]; }
    const Limit& operator[](Metric m) const { return limits[static_cast<size_t>(m)]; }
};

// The built-in windows, "pbfree" (lead-free, SAC) and "snpb" (tin-lead),
// from the figures of the reflow standard.
ProcessWindow LeadFreeWindow();
ProcessWindow TinLeadWindow();
// A built-in window by name; empty for any other name.
std::optional<ProcessWindow> BuiltInWindow(const std::string& name);

// Reads a window from the text of a window file. `source` names the file in
// error texts ("source:line: ..."). On failure returns empty and sets `error`.
std::optional<ProcessWindow> ParseWindow(const std::string& text, const std::string& source,
                                         std::string& error);
// The same text form back (the program stores user windows this way).
std::string WindowText(const ProcessWindow& window);

struct Failure {
    Metric metric;
    std::optional<double> value;  // empty: the metric could not be had
    bool belowMin = false;        // else above the maximum (or empty)
    double limit = 0;             // the bound that broke
};

struct Verdict {
    bool pass = true;
    std::vector<Failure> failures;  // in metric order
};

Verdict Judge(const BakeMetrics& metrics, const ProcessWindow& window);

// Whether one metric keeps its limit (true when it has none).
bool Holds(const std::optional<double>& value, const Limit& limit);

// "peak_c 230.0 is below its minimum 235" / "preheat_s has no value (limit 60 .. 120)".
std::string FailureText(const Failure& f, const ProcessWindow& window);

}  // namespace report
