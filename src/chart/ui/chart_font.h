#pragma once
// The one font of everything the chart control writes: Verdana, 7 points,
// bold, or DejaVu Sans where Verdana is not installed (metrics close enough
// that the label layout keeps its proportions).

#include <QFont>

namespace chart::ui {

QFont ChartFont();

}  // namespace chart::ui
