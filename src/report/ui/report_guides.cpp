#include "report/ui/report_guides.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace report::ui {

namespace {

const QColor kGuide(0x40, 0x80, 0xC0, 0x90);
const QColor kBand(0x40, 0x80, 0xC0, 0x18);
const QColor kLiquidusShade(0xFF, 0x80, 0x00, 0x38);
const QColor kPeak(0xC0, 0x00, 0x00);
const QColor kReference(0x90, 0x90, 0x90);

// The pixel points of the visible part of a curve (one point beyond each
// edge), at most the first, lowest, highest and last point of each pixel
// column: a record of hours must not cost a path of every point at every
// mouse move.
std::vector<QPointF> VisiblePixels(const std::vector<chart::ChartPoint>& pts,
                                   const chart::ui::ViewMapping& m, const QRectF& plot) {
    std::vector<QPointF> out;
    if (pts.empty())
        return out;
    const double left = m.DataX(plot.left()), right = m.DataX(plot.right());
    auto begin = std::lower_bound(pts.begin(), pts.end(), left,
                                  [](const chart::ChartPoint& p, double x) { return p.x < x; });
    auto end = std::upper_bound(pts.begin(), pts.end(), right,
                                [](double x, const chart::ChartPoint& p) { return x < p.x; });
    if (begin != pts.begin())
        --begin;
    if (end != pts.end())
        ++end;
    auto it = begin;
    while (it != end) {
        const double column = std::floor(m.PixelX(it->x));
        auto first = it, low = it, high = it, last = it;
        for (; it != end && std::floor(m.PixelX(it->x)) == column; ++it) {
            if (it->y < low->y)
                low = it;
            if (it->y > high->y)
                high = it;
            last = it;
        }
        auto add = [&](std::vector<chart::ChartPoint>::const_iterator p) {
            const QPointF px(m.PixelX(p->x), m.PixelY(p->y));
            if (out.empty() || out.back() != px)
                out.push_back(px);
        };
        add(first);
        add(low < high ? low : high);
        add(low < high ? high : low);
        add(last);
    }
    return out;
}

QPainterPath Polyline(const std::vector<QPointF>& pts) {
    QPainterPath path;
    if (pts.empty())
        return path;
    path.moveTo(pts.front());
    for (size_t i = 1; i < pts.size(); ++i) path.lineTo(pts[i]);
    return path;
}

void DrawLevel(QPainter& p, const QRectF& plot, double py, const QString& label) {
    p.setPen(QPen(kGuide, 1, Qt::DashLine));
    p.drawLine(QPointF(plot.left(), py), QPointF(plot.right(), py));
    p.setPen(kGuide.darker(150));
    p.drawText(QPointF(plot.left() + 4, py - 3), label);
}

}  // namespace

chart::ui::ChartCanvas::Decoration MakeGuides(Guides g) {
    if (!g.show && g.reference.empty())
        return {};
    return [g = std::move(g)](QPainter& p, const chart::ui::ViewMapping& m, const QRectF& plot) {
        p.setRenderHint(QPainter::Antialiasing);
        QFont font = p.font();
        font.setPointSizeF(7);
        p.setFont(font);
        if (!g.reference.empty()) {
            p.setPen(QPen(kReference, 1.5, Qt::DashLine));
            p.setBrush(Qt::NoBrush);
            p.drawPath(Polyline(VisiblePixels(g.reference, m, plot)));
        }
        if (!g.show)
            return;
        const report::Temperatures& t = g.temperatures;
        const double yMin = m.PixelY(t.tsMin), yMax = m.PixelY(t.tsMax), yL = m.PixelY(t.tL);
        p.fillRect(QRectF(plot.left(), std::min(yMin, yMax), plot.width(), std::abs(yMin - yMax)),
                   kBand);
        DrawLevel(p, plot, yMin, QStringLiteral("Ts min %1").arg(t.tsMin));
        DrawLevel(p, plot, yMax, QStringLiteral("Ts max %1").arg(t.tsMax));
        DrawLevel(p, plot, yL, QStringLiteral("T_L %1").arg(t.tL));
        const std::vector<QPointF> curve = VisiblePixels(g.curve, m, plot);
        if (curve.size() >= 2) {
            // The area between the curve and T_L, kept only above T_L.
            QPainterPath area = Polyline(curve);
            area.lineTo(curve.back().x(), yL);
            area.lineTo(curve.front().x(), yL);
            area.closeSubpath();
            p.save();
            p.setClipRect(QRectF(plot.left(), plot.top(), plot.width(), yL - plot.top()),
                          Qt::IntersectClip);
            p.fillPath(area, kLiquidusShade);
            p.restore();
        }
        if (!g.curve.empty()) {
            const auto peak = std::max_element(
                g.curve.begin(), g.curve.end(),
                [](const chart::ChartPoint& a, const chart::ChartPoint& b) { return a.y < b.y; });
            const QPointF at(m.PixelX(peak->x), m.PixelY(peak->y));
            p.setPen(QPen(kPeak, 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(at, 5, 5);
            p.drawText(at + QPointF(8, -6), QStringLiteral("peak %1 \u00B0C at %2 s")
                                                .arg(peak->y, 0, 'f', 1)
                                                .arg(peak->x, 0, 'f', 1));
        }
    };
}

}  // namespace report::ui
