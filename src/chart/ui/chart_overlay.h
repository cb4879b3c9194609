#pragma once
// What the chart control draws over its background on every frame: the
// selection band with its edge lines and value labels, the tracking
// cross-hair with its labels, and the dashed zoom rectangle. The geometry is
// in pure functions; the drawing functions only paint what they return.

#include <QFont>
#include <QPointF>
#include <QRect>
#include <QString>

#include <optional>
#include <vector>

#include "chart/ui/chart_view_math.h"

class QPainter;
class QPaintDevice;

namespace chart::ui {

// The selection band's horizontal span, clipped to the plot; empty when
// nothing of it lies inside.
std::optional<std::pair<double, double>> SelectionBandSpan(double x1, double x2,
                                                           const PlotRect& plot);

// A value label box: the measured text width wide, `height` high, centred
// horizontally on `centerX` with its top at `top`, truncated to whole pixels.
QRect CenteredLabelBox(double centerX, double top, double textWidth, double height);

// A label box right-aligned 3 pixels left of the plot, centred on row `y`.
QRect LeftLabelBox(double plotLeft, double y, double textWidth, double height);

struct OverlayText {
    QFont font;
    double xLabelRowHeight = 0.0;  // label boxes are 3 pixels lower than the tick-label row
};

// Band, edge lines and " start" / " end" labels for pixel positions x1, x2.
void DrawSelection(QPainter& p, const PlotRect& plot, double x1, double x2,
                   const QString& startText, const QString& endText, const OverlayText& text);

// Cross-hair at (mx, my) with the mouse's data x below the plot and data y
// left of it.
void DrawTracking(QPainter& p, const PlotRect& plot, double mx, double my, const QString& xText,
                  const QString& yText, const OverlayText& text);

// The value-label boxes DrawSelection and DrawTracking draw, measured on
// `device` (the frame).
std::vector<QRect> SelectionLabelRects(const PlotRect& plot, double x1, double x2,
                                       const QString& startText, const QString& endText,
                                       const OverlayText& text, QPaintDevice* device);
std::vector<QRect> TrackingLabelRects(const PlotRect& plot, double mx, double my,
                                      const QString& xText, const QString& yText,
                                      const OverlayText& text, QPaintDevice* device);

// The tick labels that a label box (with its border) touches: they are not
// shown, rather than left in fragments around the box.
std::vector<QRectF> TouchedTickLabels(const std::vector<QRectF>& tickLabels,
                                      const std::vector<QRect>& boxes);

// The dashed zoom rectangle between two client points.
void DrawZoomRect(QPainter& p, const QPointF& a, const QPointF& b);

}  // namespace chart::ui
