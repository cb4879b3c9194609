#pragma once
// The arithmetic of the chart control's view: fitting a data range onto the
// plot, zooming about the mouse, scrolling automatically while a drag leaves
// the plot, keeping a point in sight, and finding the curve under the mouse.
// Pure functions of plain values; the widget only applies their results.

#include <optional>
#include <utility>

#include "chart/chart_set.h"
#include "chart/ui/view_mapping.h"

namespace chart::ui {

// A data rectangle, for fits and the home range.
struct DataRange {
    double minX = 0.0;
    double maxX = 0.0;
    double minY = 0.0;
    double maxY = 0.0;
    bool operator==(const DataRange&) const = default;
};

// Plot area in client pixels.
struct PlotRect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
    double Right() const { return x + width; }
    double Bottom() const { return y + height; }
};

// True when both scales can map: finite and non-zero.
bool IsUsableMapping(const ViewMapping& m);

// Maps `range` exactly onto a client area of width x height whose label
// column and row take the given sizes: minX on the plot's left edge, maxX on
// the right edge, maxY at the top, minY on the plot's bottom edge. Empty when
// the range or the plot has no extent, or the scales would not be finite.
std::optional<ViewMapping> FitMapping(const DataRange& range, double width, double height,
                                      double yLabelColumnWidth, double xLabelRowHeight);

// The extents of every chart that ever had finite points, hidden ones
// included, with 1.5 % of the extent added on each side. An axis on which all
// points share one value is widened around it first, so that the fit keeps a
// real span. Empty when no chart has a finite point.
std::optional<DataRange> FitAllRange(const ChartSet& model);

// One wheel movement of `delta` (120 per notch) at (px, py): a notch scales by
// 1.2, keeping the data point under the mouse at its pixel. Returns the view
// unchanged when the result would not be usable.
ViewMapping ZoomAbout(const ViewMapping& m, double px, double py, int delta);

// How far the view scrolls on one automatic-scrolling tick: towards the
// mouse, by its distance outside the plot (edges truncated to whole pixels).
std::pair<double, double> AutoScrollDelta(const PlotRect& plot, double mx, double my);

// Data coordinates of the plot area grown by one pixel at the left and top
// and two at the right and bottom.
VisibleRange VisibleRangeOf(const ViewMapping& m, const PlotRect& plot);

// The view moved so that (x, y) lies at least 10 pixels inside `visible`.
ViewMapping EnsureVisible(const ViewMapping& m, const VisibleRange& visible, double x, double y);

// As EnsureVisible, with a move along x of whole device pixels at
// `devicePixelRatio`, rounded away from zero: the point lands up to one device
// pixel further inside and the next points use up what is left over. A view
// that follows live data then moves its columns by whole pixels, and what was
// drawn and reduced for the columns it still shows stays valid.
ViewMapping EnsureVisibleInWholePixels(const ViewMapping& m, const VisibleRange& visible, double x,
                                       double y, double devicePixelRatio);

// Distance from (px, py) to the segment a-b: to the nearer end when the point
// projects outside it, else perpendicular; a zero-length segment is a point.
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by);

// The visible chart with points whose polyline passes within 5 pixels of
// (px, py), the nearest first and the lowest id among equals; -1 for none.
int HitTestChart(const ChartSet& model, const ViewMapping& m, double px, double py);

}  // namespace chart::ui
