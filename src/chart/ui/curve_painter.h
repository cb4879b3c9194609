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
#include <QTransform>

#include <cstdint>
#include <span>
#include <vector>

#include "chart/chart_series.h"
#include "chart/ui/view_mapping.h"

class QPainter;

namespace chart::ui {

// How DrawChartCurve drew a chart: not at all; as markers (with or without
// a line); as a line through its points; reduced to device columns written
// straight into the image; reduced to a polyline that a pen strokes.
enum class CurveDrawing { kNone, kMarkers, kLines, kColumns, kReducedLines };

CurveDrawing DrawChartCurve(QPainter& painter, const chart::ChartSeries& chart,
                            const ViewMapping& mapping, const VisibleRange& range);

// Whether a drawing of the chart clipped to some whole device columns equals
// those columns of a drawing of the whole plot, also after the view moved by
// whole device columns or points were appended: a solid line reduced to
// columns (kColumns), whose pixels our own arithmetic works out column by
// column. Qt's rasteriser cuts a line through points at the clip before it
// works out the coverage of its edges, so such a line drawn at another place
// against the plot's edge, or cut at a strip's edge, may round the pixels
// along it otherwise; dashes run from the start of the visible run; markers
// come and go with the spacing of all the points.
bool DrawsInPart(const chart::ChartSeries& chart, CurveDrawing drawing);

// Whether the chart, unchanged and in an unchanged view, drawn again clipped
// to some columns, gives the pixels there that it gave before. Not so for a
// translucent line or a selected one (whose highlight is translucent) through
// points: their strokes go through a layer placed where the clip is, which
// rounds their coordinates otherwise.
bool RedrawsSameInPart(const chart::ChartSeries& chart, CurveDrawing drawing);

// How far, in logical pixels, what DrawChartCurve draws for a chart (its
// selection highlight included) can reach beyond the line through its points.
double CurveReach(const chart::ChartSeries& chart, qreal devicePixelRatio);

// The pen of a chart or legend line sample: ARGB colour, width in pixels and
// dash style 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot (5, crosses,
// strokes solid).
QPen ChartPen(uint32_t argb, qreal width, int dashStyle);

// The width a pen of `width` logical pixels is drawn with at a device pixel
// ratio: at most 64 device pixels. A chart keeps its own value; only the
// drawing is capped, so that an absurd width cannot stall a paint.
qreal CappedPenWidth(qreal width, qreal devicePixelRatio);

// Moves points by less than half a device pixel so that a line of `width`
// logical pixels (0: one device pixel) lights whole device rows and columns
// where it runs level or upright: with anti-aliasing an odd device width is
// centred on a pixel's middle and an even one on a pixel border; without it
// the aliased rasteriser wants whole device coordinates. Left alone under a
// rotating or shearing transform.
void SnapToDevicePixels(std::span<QPointF> points, const QTransform& device, qreal width,
                        bool antialiased);
QPointF SnapToDevicePixels(QPointF point, const QTransform& device, qreal width, bool antialiased);

// The same colour with alpha 0x40, for the selected highlight.
uint32_t HighlightColor(uint32_t argb);

// Pixel positions of points under the mapping.
std::vector<QPointF> ToPixelPoints(chart::PointRun points, const ViewMapping& mapping);

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
// drawn reduced: only for straight segments and more points than columns.
bool UseColumnReduction(size_t runPoints, double columns, float tension);

// One device pixel column of a reduced run, in logical pixels: the column's
// centre and the pixel y of its first point, its extremes and its last point
// (top <= bottom, pixel y grows downwards); and the column's device index.
struct ColumnSpan {
    double x = 0;
    double first = 0;
    double top = 0;
    double bottom = 0;
    double last = 0;
    long long column = 0;
    size_t start = 0;  // index of the column's first point in the run
};

// The reduction of `run` (a run of `chart`'s points) to device pixel columns:
// device x = logical x * devicePixelRatio + deviceOffset, a column is one
// device pixel wide; only columns holding points appear. The extremes come
// from the chart's summary, not from a scan. DrawChartCurve keeps the last
// reduction with the chart and, after an append in an unchanged view, redoes
// only the last column onwards; a view moved by whole device columns keeps it
// too, moved by as many columns.
std::vector<ColumnSpan> ReduceColumns(const chart::ChartSeries& chart, chart::PointRun run,
                                      const ViewMapping& mapping, double devicePixelRatio = 1.0,
                                      double deviceOffset = 0.0);

// How many times DrawChartCurve has reduced a chart's whole run since the
// program started (not counting appends folded in or a view moved by whole
// device columns, which keep the last reduction): lets a test see that a view
// that follows live data keeps it.
size_t WholeReductionCount();

// The reduced run as a polyline: per column, in order, its first point, its
// extremes (the one nearer the first value first) and its last point, all at
// the column's centre, duplicates dropped.
std::vector<QPointF> ReduceToColumns(const chart::ChartSeries& chart, chart::PointRun run,
                                     const ViewMapping& mapping, double devicePixelRatio = 1.0,
                                     double deviceOffset = 0.0);

// Device rows that the line through a reduced run passes in a device column:
// the column's own extent and the lines to its neighbours (also through
// columns without points). top > bottom where nothing passes.
struct ColumnExtent {
    double top = 1.0;
    double bottom = 0.0;
    bool Empty() const { return top > bottom; }
};

// Extents of the device columns [firstColumn, firstColumn + count), before
// any pen width; device y = logical y * yScale + yOffset.
std::vector<ColumnExtent> ColumnExtents(std::span<const ColumnSpan> spans, long long firstColumn,
                                        int count, double yScale = 1.0, double yOffset = 0.0);

}  // namespace chart::ui
