#pragma once
// calveroctl chart render: draws the charts of a chart XML file with the
// program's own chart control, headless, into an image file. Only in builds
// with Qt.

#include <string>
#include <vector>

namespace cli {

inline constexpr char kChartRenderUsage[] =
    "chart render FILE OUT.png [--size WxH] [--range X1 X2 Y1 Y2] [--legend] [--points]"
    " [--select X1 X2] [--track X Y]";

// args as given to "chart": args[0] is "render". Returns the exit code.
int RunChartRender(const std::vector<std::string>& args);

}  // namespace cli
