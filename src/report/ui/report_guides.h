#pragma once
// What the bake report draws on the chart: T_L and the preheat band as light
// horizontal guides, the time above the liquidus shaded, the peak marked, and
// a reference record's curve dashed grey. It is painted, never a chart of the
// set, so it is never saved into the record.

#include <optional>
#include <vector>

#include "chart/chart_point.h"
#include "chart/ui/chart_canvas.h"
#include "report/bake_metrics.h"

namespace report::ui {

struct Guides {
    bool show = true;  // the report's guides
    report::Temperatures temperatures;
    std::vector<chart::ChartPoint> curve;      // valued points of the judged chart
    std::vector<chart::ChartPoint> reference;  // valued points; empty: none
};

// A decoration for the chart control or its canvas (SetDecoration); empty
// when there is nothing to draw.
chart::ui::ChartCanvas::Decoration MakeGuides(Guides guides);

}  // namespace report::ui
