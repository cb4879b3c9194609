#pragma once
// calveroctl chart render: draws the charts of a chart XML file with the
// program's own chart control, headless, into a PNG. Only in builds with Qt.

#include <string>
#include <vector>

namespace cli {

// args as given to "chart": args[0] is "render". Returns the exit code.
int RunChartRender(const std::vector<std::string>& args);

}  // namespace cli
