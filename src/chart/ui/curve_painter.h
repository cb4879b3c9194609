#pragma once
// Draws one chart's curve, crosses, markers and selected highlight onto the
// chart control's background layer, and the pure steps behind it (pixel
// conversion, the marker rule, the spline's Bézier control points, the
// per-column reduction) so that tests can call them without a painter.
//
// The container calls DrawChartCurve once per visible chart with points, in
// id order, after setting the plot clip and the anti-aliasing of the paint.
// A long visible run is drawn as a per-device-pixel-column reduction (first,
// extremes, last of each column, taken from the chart's min/max summary), so
// that a full view costs per column, not per point, and no spike is lost.
// Markers always use the real points.
//
// Window thread only.

#include <QPainterPath>
#include <QPen>
#include <QPointF>

#include <cstdint>
#include <span>
#include <vector>

#include "chart/chart_series.h"
#include "chart/ui/view_mapping.h"

class QPainter;

namespace chart::ui {

void DrawChartCurve(QPainter& painter, const chart::CChartSeries& chart, const ViewMapping& mapping,
                    const VisibleRange& range);

// The pen of a chart or legend line sample: ARGB colour, width in pixels and
// dash style 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot (5, crosses,
// strokes solid).
QPen ChartPen(uint32_t argb, qreal width, int dashStyle);

// The same colour with alpha 0x40, for the selected highlight.
uint32_t HighlightColor(uint32_t argb);

// Pixel positions of points under the mapping.
std::vector<QPointF> ToPixelPoints(std::span<const chart::ChartPoint> points,
                                   const ViewMapping& mapping);

// Circle markers fit when no two consecutive points lie closer than 7 pixels
// horizontally (points at the same x are not compared).
bool MarkersFit(std::span<const QPointF> pixels);

// One cubic Bézier piece of a cardinal spline, from the previous end point.
struct BezierPiece {
    QPointF c1;
    QPointF c2;
    QPointF end;
};

// The cardinal spline through `pixels` with `tension` as cubic pieces; tension
// 0 gives pieces that are straight segments.
std::vector<BezierPiece> CardinalSpline(std::span<const QPointF> pixels, float tension);

// The path of a curve: straight segments for tension 0, else the spline.
QPainterPath CurvePath(std::span<const QPointF> pixels, float tension);

// Whether a run of `runPoints` points over `columns` device pixel columns is
// drawn reduced: only for straight segments and more than two points per column.
bool UseColumnReduction(size_t runPoints, double columns, float tension);

// The reduction of `run` (a run of `chart`'s points) to device pixel columns
// of width 1 / devicePixelRatio logical pixels: per column, in order, its
// first point, its extremes and its last point, duplicates dropped, all at the
// column's centre. Logical pixel coordinates.
std::vector<QPointF> ReduceToColumns(const chart::CChartSeries& chart,
                                     std::span<const chart::ChartPoint> run,
                                     const ViewMapping& mapping, double devicePixelRatio);

}  // namespace chart::ui
