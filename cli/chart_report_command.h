#pragma once
// calveroctl chart report: the bake report of one chart of a record (metrics,
// and with a process window the verdict) as text, JSON or a PDF.

#include <string>
#include <vector>

namespace cli {

// args as given to "chart": args[0] is "report". Returns the exit code:
// 0 without a window or on pass, 3 on fail, 1 when a file cannot be read or
// has no such chart, 2 on a wrong command line.
int RunChartReport(const std::vector<std::string>& args);

}  // namespace cli
