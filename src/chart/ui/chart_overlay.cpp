#include "chart/ui/chart_overlay.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace chart::ui {

namespace {

const QColor kSelectionLine = QColor::fromRgba(0xFF0000CD);
const QColor kSelectionBand = QColor::fromRgba(0xFFADD8E6);
const QColor kCrossHair = QColor::fromRgba(0xFF000000);
const QColor kTrackingFill = QColor::fromRgba(0xFFFFFFFF);

QColor WithAlpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

// A 1-pixel pen that stays one logical pixel at any device pixel ratio.
QPen LinePen(const QColor& color, Qt::PenStyle style = Qt::SolidLine) {
    QPen pen(color, 1.0, style);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

void DrawValueLabel(QPainter& p, const QRect& box, const QString& text, const QColor& fill,
                    const QColor& border, const QColor& ink) {
    p.fillRect(box, fill);
    p.setPen(LinePen(border));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box);
    p.setPen(ink);
    p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, text);
}

}  // namespace

std::optional<std::pair<double, double>> SelectionBandSpan(double x1, double x2,
                                                           const PlotRect& plot) {
    const double from = std::max(std::min(x1, x2), plot.x);
    const double to = std::min(std::max(x1, x2), plot.Right());
    if (!(to > from))
        return std::nullopt;
    return std::pair{from, to};
}

QRect CenteredLabelBox(double centerX, double top, double textWidth, double height) {
    return QRect(static_cast<int>(std::trunc(centerX - textWidth * 0.5)),
                 static_cast<int>(std::trunc(top)), static_cast<int>(std::trunc(textWidth)),
                 static_cast<int>(std::trunc(height)));
}

QRect LeftLabelBox(double plotLeft, double y, double textWidth, double height) {
    return QRect(static_cast<int>(std::trunc(plotLeft - textWidth - 3)),
                 static_cast<int>(std::trunc(y - height * 0.5)),
                 static_cast<int>(std::trunc(textWidth)), static_cast<int>(std::trunc(height)));
}

void DrawSelection(QPainter& p, const PlotRect& plot, double x1, double x2,
                   const QString& startText, const QString& endText, const OverlayText& text) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    if (const auto span = SelectionBandSpan(x1, x2, plot)) {
        p.fillRect(QRectF(span->first, plot.y, span->second - span->first, plot.height - 1),
                   WithAlpha(kSelectionBand, 0x80));
    }
    p.setFont(text.font);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    const QFontMetricsF fm(text.font, p.device());
    const double boxHeight = text.xLabelRowHeight - 3;
    const struct {
        double x;
        const QString& label;
    } edges[] = {{x1, startText}, {x2, endText}};
    for (const auto& e : edges) {
        if (e.x < plot.x || e.x > plot.Right())
            continue;
        const double x = std::round(e.x);
        p.setPen(LinePen(WithAlpha(kSelectionLine, 0x80)));
        p.drawLine(QPointF(x, plot.y), QPointF(x, plot.Bottom()));
        const QString label = " " + e.label;
        const QRect box =
            CenteredLabelBox(e.x, plot.Bottom() + 3, fm.horizontalAdvance(label), boxHeight);
        DrawValueLabel(p, box, label, kSelectionBand, WithAlpha(kSelectionLine, 0x80),
                       kSelectionLine);
    }
    p.restore();
}

void DrawTracking(QPainter& p, const PlotRect& plot, double mx, double my, const QString& xText,
                  const QString& yText, const OverlayText& text) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(LinePen(kCrossHair));
    p.drawLine(QPointF(plot.x, my), QPointF(plot.Right(), my));
    p.drawLine(QPointF(mx, plot.y), QPointF(mx, plot.Bottom()));
    p.setFont(text.font);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    const QFontMetricsF fm(text.font, p.device());
    const double boxHeight = text.xLabelRowHeight - 3;
    const QString xLabel = " " + xText;
    const QString yLabel = " " + yText;
    DrawValueLabel(p,
                   CenteredLabelBox(mx, plot.Bottom() + 3, fm.horizontalAdvance(xLabel), boxHeight),
                   xLabel, kTrackingFill, kCrossHair, kCrossHair);
    DrawValueLabel(p, LeftLabelBox(plot.x, my, fm.horizontalAdvance(yLabel), boxHeight), yLabel,
                   kTrackingFill, kCrossHair, kCrossHair);
    p.restore();
}

std::vector<QRect> SelectionLabelRects(const PlotRect& plot, double x1, double x2,
                                       const QString& startText, const QString& endText,
                                       const OverlayText& text, QPaintDevice* device) {
    const QFontMetricsF fm(text.font, device);
    std::vector<QRect> rects;
    for (const auto& [x, label] : {std::pair{x1, &startText}, std::pair{x2, &endText}}) {
        if (x < plot.x || x > plot.Right())
            continue;
        rects.push_back(CenteredLabelBox(x, plot.Bottom() + 3, fm.horizontalAdvance(" " + *label),
                                         text.xLabelRowHeight - 3));
    }
    return rects;
}

std::vector<QRect> TrackingLabelRects(const PlotRect& plot, double mx, double my,
                                      const QString& xText, const QString& yText,
                                      const OverlayText& text, QPaintDevice* device) {
    const QFontMetricsF fm(text.font, device);
    const double boxHeight = text.xLabelRowHeight - 3;
    return {CenteredLabelBox(mx, plot.Bottom() + 3, fm.horizontalAdvance(" " + xText), boxHeight),
            LeftLabelBox(plot.x, my, fm.horizontalAdvance(" " + yText), boxHeight)};
}

std::vector<QRectF> TouchedTickLabels(const std::vector<QRectF>& tickLabels,
                                      const std::vector<QRect>& boxes) {
    std::vector<QRectF> touched;
    for (const QRectF& label : tickLabels) {
        for (const QRect& box : boxes) {
            // The border is drawn one pixel beyond the box's right and bottom.
            if (QRectF(box.adjusted(0, 0, 1, 1)).intersects(label)) {
                touched.push_back(label);
                break;
            }
        }
    }
    return touched;
}

void DrawZoomRect(QPainter& p, const QPointF& a, const QPointF& b) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(LinePen(QColor::fromRgba(0xFF000000), Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    const QPointF c(b.x(), a.y()), d(a.x(), b.y());
    p.drawLine(a, c);
    p.drawLine(c, b);
    p.drawLine(b, d);
    p.drawLine(d, a);
    p.restore();
}

}  // namespace chart::ui
