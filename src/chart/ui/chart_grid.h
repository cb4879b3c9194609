#pragma once
// The automatic grid of the chart control: tick steps chosen from the scale,
// and the pixel positions and values of the grid rows and columns. Pure
// functions of the view, so that tests check them without a window.

#include <optional>
#include <vector>

namespace chart::ui {

// Data distance between neighbouring grid lines and its pixel distance.
struct TickStep {
    double step = 0.0;
    double spacing = 0.0;
};

// The smallest step of 1, 2 or 5 times a power of ten whose spacing is not
// below minSpacing pixels, for `scale` pixels per data unit. A scale that is
// zero or not finite gives an empty step (no grid).
TickStep ComputeTicks(double minSpacing, double scale);

// One grid line: its pixel position and the data value it is labelled with.
struct GridLine {
    double pixel = 0.0;
    double value = 0.0;
    bool operator==(const GridLine&) const = default;
};

// Grid rows at originY + k * spacing, labelled -k * step, lying in
// [top, bottom) (and the first row at or above the top): first downwards from the origin (or from
// the first row below the top when the origin lies above), then upwards. Each row appears once.
std::vector<GridLine> GridRows(double originY, const TickStep& ticks, double top, double bottom);

// Grid columns at originX + k * spacing, labelled k * step, lying in
// [left, right): first rightwards from the origin, then leftwards.
std::vector<GridLine> GridColumns(double originX, const TickStep& ticks, double left, double right);

// Room for the tick labels of one axis, in pixels along it: the grid lines
// in [firstTick, lastTick] are labelled, and every label lies whole within
// [lo, hi].
struct LabelRoom {
    double firstTick = 0.0;
    double lastTick = 0.0;
    double lo = 0.0;
    double hi = 0.0;
};

// Start of the label of the grid line at `tick`, `extent` pixels long along
// the axis: centred on the line, or moved inwards just enough to lie whole in
// the room; none when the line lies outside the labelled span (by more than
// half a pixel) or the label is longer than the room.
std::optional<double> PlaceTickLabel(double tick, double extent, const LabelRoom& room);

}  // namespace chart::ui
