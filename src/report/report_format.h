#pragma once
// The bake report as text for a terminal and as one JSON object for scripts.

#include <optional>
#include <string>

#include "report/bake_metrics.h"
#include "report/process_window.h"

namespace report {

struct Report {
    std::string chart;                    // the chart judged, "Temp Main" by default
    std::optional<ProcessWindow> window;  // none: no verdict
    BakeMetrics metrics;                  // measured with the window's temperatures (else pbfree's)
    std::optional<Verdict> verdict;       // with a window only
};

// Measures and, with a window, judges.
Report MakeReport(std::string chart, std::span<const chart::ChartPoint> curve,
                  std::optional<ProcessWindow> window,
                  std::span<const chart::ChartPoint> profile = {},
                  std::span<const chart::ChartPoint> reference = {});

// A value as the report shows it: up to three decimals, no trailing zeros.
std::string FormatValue(double v);
// "60 .. 120", ">= 235", "<= 3" or "" without a limit.
std::string LimitText(const Limit& limit);

std::string ReportText(const Report& r);
// The metric names as keys (null when empty), "chart", "window" (null
// without one), "verdict" ("pass", "fail" or null) and "failures" (names).
std::string ReportJson(const Report& r);

}  // namespace report
