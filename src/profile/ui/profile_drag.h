#pragma once
// Where a mouse press on the profile's chart takes hold of a point and
// where a drag puts it: plain functions of the chart's mapping.

#include <optional>
#include <span>

#include "chart/chart_point.h"
#include "chart/ui/view_mapping.h"

namespace profile::ui {

// The point within `radius` pixels of `px`,`py` that lies nearest, if any.
std::optional<size_t> PointAt(std::span<const chart::ChartPoint> points,
                              const chart::ui::ViewMapping& mapping, double px, double py,
                              double radius = 8.0);

// The point under the mouse, snapped to whole seconds and tenths of a
// degree; `keepTime` (Shift) leaves the time where the drag began.
chart::ChartPoint DragTarget(const chart::ui::ViewMapping& mapping, double px, double py,
                             chart::ChartPoint original, bool keepTime);

}  // namespace profile::ui
