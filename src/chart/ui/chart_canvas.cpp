#include "chart/ui/chart_canvas.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "chart/ui/chart_font.h"
#include "chart/ui/chart_overlay.h"
#include "chart/ui/curve_painter.h"
#include "chart/ui/label_boxes.h"

namespace chart::ui {

namespace {

const QColor kBackgroundFill = QColor::fromRgba(0xFFFFFFFF);
const QColor kTickText = QColor::fromRgba(0xFF000000);
const QColor kGrid = QColor::fromRgba(0xFF808080);

constexpr double kMinSpacingX = 100.0;
constexpr double kMinSpacingY = 50.0;

// Whole logical pixels keep 1-pixel lines on one pixel row at any ratio.
double Snap(double v) {
    return std::round(v);
}

QString Text(const chart::ValueFormatter& f, double v) {
    return QString::fromStdWString(f(v));
}

// Width of the tick-label column that holds the labels of the plot's top
// and bottom rows, and with them those of the rows between.
double LabelColumnWidth(const QFontMetricsF& fm, const std::wstring& top,
                        const std::wstring& bottom) {
    return std::ceil(std::max(fm.horizontalAdvance(QString::fromStdWString(top)),
                              fm.horizontalAdvance(QString::fromStdWString(bottom)))) +
           6;
}

// The dashes of a 1-pixel grid line (4 pixels on, 2 off, from its start),
// as rectangles: rectangle fills stay on the raster engine's fast path at any
// device pixel ratio, where a scaled dashed pen goes through the stroker.
void AddDashes(std::vector<QRectF>& out, double from, double to, double at, bool horizontal) {
    for (double d = from; d < to; d += 6) {
        const double len = std::min(4.0, to - d);
        out.push_back(horizontal ? QRectF(d, at, len, 1) : QRectF(at, d, 1, len));
    }
}

double PositiveMod(double v, double m) {
    const double r = std::fmod(v, m);
    return r < 0 ? r + m : r;
}

void FillRects(QPainter& p, const std::vector<QRectF>& rects, const QColor& color) {
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRects(rects.data(), static_cast<int>(rects.size()));
    p.setBrush(Qt::NoBrush);
}

}  // namespace

ChartCanvas::ChartCanvas(const chart::ChartSet& set)
    : set_(&set), font_(ChartFont()), boxes_(std::make_unique<LabelBoxes>()) {
    boxes_->SetFont(ChartFont());
}

ChartCanvas::~ChartCanvas() = default;

void ChartCanvas::SetSet(const chart::ChartSet& set) {
    set_ = &set;
    stale_ = true;
    boxes_->MarkDirty(~0u);
}

void ChartCanvas::SetFont(const QFont& font) {
    font_ = font;
    stale_ = true;
}

void ChartCanvas::UsePrimaryScreenDpi() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        SetLogicalDpi(qRound(screen->logicalDotsPerInchX()), qRound(screen->logicalDotsPerInchY()));
}

void ChartCanvas::SetLogicalDpi(int x, int y) {
    if (x == dpiX_ && y == dpiY_)
        return;
    dpiX_ = x;
    dpiY_ = y;
    Discard();
}

void ChartCanvas::Discard() {
    background_ = QImage();
    frame_ = QImage();
    stale_ = true;
}

ChartCanvas::Layout ChartCanvas::ComputeLayout(const ViewMapping& mapping, QSize client) const {
    Layout l;
    const QFontMetricsF fm(font_);
    l.ticksX = ComputeTicks(kMinSpacingX, mapping.scaleX);
    l.ticksY = ComputeTicks(kMinSpacingY, mapping.scaleY);
    l.xLabelRowHeight = std::ceil(fm.height()) + 6;
    const double top = mapping.DataY(0), bottom = mapping.DataY(client.height());
    l.yLabelColumnWidth = LabelColumnWidth(fm, set_->YTickLabel(top, l.ticksY.step),
                                           set_->YTickLabel(bottom, l.ticksY.step));
    l.plot = {l.yLabelColumnWidth, 0.0, client.width() - l.yLabelColumnWidth,
              client.height() - l.xLabelRowHeight};
    l.visible = VisibleRangeOf(mapping, l.plot);
    return l;
}

std::optional<ViewMapping> ChartCanvas::FitRange(const DataRange& r, QSize client) const {
    const QFontMetricsF fm(font_);
    const double rowHeight = std::ceil(fm.height()) + 6;
    // The grid step of the fitted view does not depend on the column's width.
    const double stepY =
        ComputeTicks(kMinSpacingY, (client.height() - rowHeight) / (r.maxY - r.minY)).step;
    const double columnWidth =
        LabelColumnWidth(fm, set_->YTickLabel(r.maxY, stepY), set_->YTickLabel(r.minY, stepY));
    return FitMapping(r, client.width(), client.height(), columnWidth, rowHeight);
}

std::optional<ViewMapping> ChartCanvas::FitAll(QSize client) const {
    const auto r = FitAllRange(*set_);
    return r ? FitRange(*r, client) : std::nullopt;
}

const QImage& ChartCanvas::Background(QSize client, qreal dpr, const ChartViewState& state) {
    const QSize device = (QSizeF(client) * dpr).toSize();
    if (background_.size() != device || background_.devicePixelRatio() != dpr) {
        background_ = QImage(device, QImage::Format_ARGB32_Premultiplied);
        background_.setDevicePixelRatio(dpr);
        // Text in the image takes the size it has on the window's screen.
        background_.setDotsPerMeterX(qRound(dpiX_ / 0.0254));
        background_.setDotsPerMeterY(qRound(dpiY_ / 0.0254));
        stale_ = true;
    }
    changed_ = QRect();
    if (stale_ || !UpdateBackground(background_, client, state)) {
        DrawBackground(background_, client, state);
        changed_ = QRect(QPoint(0, 0), client);
    }
    return background_;
}

QRect ChartCanvas::UpdatePicture(QSize client, qreal dpr, const ChartViewState& state) {
    Background(client, dpr, state);
    return changed_;
}

// The frame buffer lives on between frames: a fresh image per paint would
// cost an allocation and its page faults every time the mouse moves.
QImage ChartCanvas::RenderFrame(QSize client, qreal dpr, const ChartViewState& state) {
    const QImage& background = Background(client, dpr, state);
    // Nothing to lay over the background: it is the frame, and the copy
    // (a quarter of a frame's cost at a pixel ratio of 2) is saved.
    if (!state.selectionExists && !state.tracking && !state.zoomBoxing && !decoration_ &&
        !(set_->IsLegendVisible() && !set_->Charts().empty())) {
        // No box is on this frame, so none may catch the mouse.
        boxes_->Hide();
        return background;
    }
    if (frame_.size() != background.size() || frame_.devicePixelRatio() != dpr) {
        frame_ = QImage(background.size(), background.format());
        frame_.setDevicePixelRatio(dpr);
        frame_.setDotsPerMeterX(background.dotsPerMeterX());
        frame_.setDotsPerMeterY(background.dotsPerMeterY());
    }
    std::memcpy(frame_.bits(), background.constBits(),
                static_cast<size_t>(background.sizeInBytes()));
    {
        QPainter p(&frame_);
        DrawOverlay(p, client, state);
    }
    return frame_;
}

void ChartCanvas::DrawBackground(QImage& image, QSize client, const ChartViewState& state) {
    ++backgroundDraws_;
    stale_ = false;
    const ViewMapping& mapping = state.mapping;
    layout_ = ComputeLayout(mapping, client);
    const Layout& l = layout_;
    const double w = client.width(), h = client.height();
    const double plotBottom = h - l.xLabelRowHeight;

    image.fill(kBackgroundFill);
    QPainter p(&image);
    p.setFont(font_);
    p.setRenderHint(QPainter::TextAntialiasing, !state.panning);
    const QFontMetricsF fm(font_, &image);
    tickLabels_.clear();

    // Row labels right-aligned left of the plot, and the X axis line.
    p.setPen(kTickText);
    for (const auto& row : GridRows(mapping.originY, l.ticksY, 0, h)) {
        const QString label = QString::fromStdWString(set_->YTickLabel(row.value, l.ticksY.step));
        const auto top = PlaceTickLabel(row.pixel, fm.height(), {0, plotBottom, 0, plotBottom});
        if (top) {
            const double left =
                std::max(0.0, l.yLabelColumnWidth - 3 - fm.horizontalAdvance(label));
            p.drawText(QPointF(left, *top + fm.ascent()), label);
            tickLabels_.emplace_back(left, *top, fm.horizontalAdvance(label), fm.height());
        }
    }
    yTickLabels_ = tickLabels_.size();
    p.fillRect(QRectF(l.yLabelColumnWidth, Snap(plotBottom), w - l.yLabelColumnWidth, 1), kGrid);
    DrawXLabels(p, fm, mapping, w);

    drawnCharts_ = DrawPlot(p, QRectF(l.plot.x, l.plot.y, l.plot.width, l.plot.height), mapping,
                            false, state.panning);
    drawnMapping_ = mapping;
    drawnPanning_ = state.panning;
}

void ChartCanvas::DrawXLabels(QPainter& p, const QFontMetricsF& fm, const ViewMapping& mapping,
                              double w) {
    const Layout& l = layout_;
    const double plotBottom = l.plot.Bottom();
    p.setPen(kTickText);
    for (const auto& col : GridColumns(mapping.originX, l.ticksX, 0, w)) {
        const QString label = QString::fromStdWString(set_->XTickLabel(col.value, l.ticksX.step));
        const auto left =
            PlaceTickLabel(col.pixel, fm.horizontalAdvance(label), {l.yLabelColumnWidth, w, 0, w});
        if (left) {
            p.drawText(QPointF(*left, plotBottom + 3 + fm.ascent()), label);
            tickLabels_.emplace_back(*left, plotBottom + 3, fm.horizontalAdvance(label),
                                     fm.height());
        }
    }
}

std::vector<ChartCanvas::DrawnChart> ChartCanvas::DrawPlot(QPainter& p, const QRectF& area,
                                                           const ViewMapping& mapping, bool fill,
                                                           bool panning) {
    const Layout& l = layout_;
    const double w = l.plot.Right(), plotBottom = l.plot.Bottom();
    const QRectF clip = area.intersected(QRectF(l.plot.x, l.plot.y, l.plot.width, l.plot.height));
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setClipRect(clip);
    if (fill)
        p.fillRect(clip, kBackgroundFill);

    // Row dashes keep step with the data's x, like everything else in the
    // plot, so that a view moved sideways shows them where they were.
    std::vector<QRectF> dashes;
    const double start = l.plot.x + Snap(PositiveMod(Snap(mapping.originX) - l.plot.x, 6.0)) - 6;
    const double from = start + 6 * std::floor((clip.left() - start) / 6);
    const double to = std::min(w, clip.right() + 6);
    for (const auto& row : GridRows(mapping.originY, l.ticksY, 0, plotBottom + l.xLabelRowHeight))
        AddDashes(dashes, from, to, Snap(row.pixel), true);
    FillRects(p, dashes, kGrid);

    // Column dashes and the Y axis line.
    dashes.clear();
    for (const auto& col : GridColumns(mapping.originX, l.ticksX, 0, w)) {
        if (col.pixel >= clip.left() - 2 && col.pixel <= clip.right() + 2)
            AddDashes(dashes, 0, plotBottom, Snap(col.pixel), false);
    }
    FillRects(p, dashes, kGrid);
    p.fillRect(QRectF(Snap(l.yLabelColumnWidth), 0, 1, plotBottom), kGrid);

    // Zero lines, 2 pixels centred on the origin, and the curves.
    const double h = plotBottom + l.xLabelRowHeight;
    if (0 <= mapping.originY && mapping.originY < h)
        p.fillRect(QRectF(0, Snap(mapping.originY) - 1, w, 2), kTickText);
    if (0 <= mapping.originX && mapping.originX < w)
        p.fillRect(QRectF(Snap(mapping.originX) - 1, 0, 2, h), kTickText);
    p.setRenderHint(QPainter::Antialiasing, !panning);
    std::vector<DrawnChart> drawn;
    drawn.reserve(set_->Charts().size());
    for (const auto& [id, s] : set_->Charts()) {
        DrawnChart d{id, s->visible, s->Points().size(), 0};
        if (s->visible && s->HasPoints())
            d.drawing = static_cast<int>(DrawChartCurve(p, *s, mapping, l.visible));
        drawn.push_back(d);
    }
    p.restore();
    return drawn;
}

// Brings the background from the view it shows to `state`'s without drawing
// it whole, where that gives the very same picture: see the header. False,
// with the image perhaps half done, where it does not; the caller then draws
// it whole.
bool ChartCanvas::UpdateBackground(QImage& image, QSize client, const ChartViewState& state) {
    const ViewMapping& m = state.mapping;
    const ViewMapping& o = drawnMapping_;
    if (state.panning != drawnPanning_ || m.scaleX != o.scaleX || m.scaleY != o.scaleY ||
        m.originY != o.originY)
        return false;
    const qreal dpr = image.devicePixelRatio();
    const double shift = m.originX - o.originX;
    const double k = std::round(shift);
    // Grid lines snap to whole logical pixels: a move by part of one would
    // move them by a different amount than the curves.
    if (std::abs(shift - k) > 1e-6 || (k != 0 && dpr != std::round(dpr)))
        return false;
    const Layout l = ComputeLayout(m, client);
    const Layout& was = layout_;
    if (l.plot.x != was.plot.x || l.plot.y != was.plot.y || l.plot.width != was.plot.width ||
        l.plot.height != was.plot.height || l.ticksX.step != was.ticksX.step ||
        l.ticksX.spacing != was.ticksX.spacing || l.ticksY.step != was.ticksY.step ||
        l.ticksY.spacing != was.ticksY.spacing || l.xLabelRowHeight != was.xLabelRowHeight)
        return false;
    const double left = l.plot.x, right = l.plot.Right(), bottom = l.plot.Bottom();
    if (std::abs(k) >= right - left)
        return false;

    // Which columns the charts changed: from just before each chart's first
    // new point (a line that ended there goes on) to its last, as far as a
    // stroke reaches.
    const auto& charts = set_->Charts();
    if (charts.size() != drawnCharts_.size())
        return false;
    auto wouldDraw = [&](const chart::ChartSeries& s) {
        return !(s.MinY() > l.visible.top || s.MaxY() < l.visible.bottom) &&
               !s.GetPointRange(l.visible.left, l.visible.right).empty();
    };
    double dirtyFrom = right, dirtyTo = left, reach = 2;
    size_t i = 0;
    for (const auto& [id, s] : charts) {
        const DrawnChart& d = drawnCharts_[i++];
        const size_t points = s->Points().size();
        if (d.id != id || d.visible != s->visible || points < d.points)
            return false;
        if (!s->visible)
            continue;
        const auto drawing = static_cast<CurveDrawing>(d.drawing);
        const bool inPart = DrawsInPart(*s, drawing);
        if (drawing == CurveDrawing::kNone) {
            // Nothing of it on the picture: it must stay so.
            if ((points != d.points || k != 0) && wouldDraw(*s))
                return false;
            continue;
        }
        // A chart that neither moved nor changed is drawn again in the strips
        // of the others.
        if (points == d.points && k == 0 && !RedrawsSameInPart(*s, drawing))
            return false;
        if (!inPart && (points != d.points || k != 0))
            return false;
        const double r = CurveReach(*s, dpr);
        reach = std::max(reach, r);
        if (points == d.points)
            continue;
        const chart::PointStore& pts = s->Points();
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        for (size_t j = d.points - 1; j < points; ++j) {
            const double x = pts[j].x;
            if (std::isfinite(x)) {
                lo = std::min(lo, x);
                hi = std::max(hi, x);
            }
        }
        if (lo <= hi) {
            dirtyFrom = std::min(dirtyFrom, std::clamp(m.PixelX(lo), -1e9, 1e9) - r);
            dirtyTo = std::max(dirtyTo, std::clamp(m.PixelX(hi), -1e9, 1e9) + r);
        }
    }

    // The strips to draw, in device columns of the plot.
    std::vector<std::pair<int, int>> strips;
    auto addStrip = [&](double from, double to) {
        from = std::max(from, left);
        to = std::min(to, right);
        if (from < to)
            strips.emplace_back(static_cast<int>(std::floor(from * dpr)),
                                static_cast<int>(std::ceil(to * dpr)));
    };
    if (k != 0) {
        // The Y axis stays where it is, and the curves lose there what
        // strokes of points that left the view reached in.
        addStrip(left, left + 1 + reach);
        if (k < 0)
            addStrip(right + k - reach, right);
        else
            addStrip(left, left + k + reach);
    }
    if (dirtyFrom < dirtyTo)
        addStrip(dirtyFrom, dirtyTo);
    if (strips.empty())
        return true;  // nothing moved, nothing in sight changed
    std::sort(strips.begin(), strips.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto& s : strips) {
        if (!merged.empty() && s.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, s.second);
        else
            merged.push_back(s);
    }

    if (k != 0) {
        // The plot's pixels move with the data, as paper under the pens.
        const int dx = static_cast<int>(k * dpr);
        const int x0 = static_cast<int>(left * dpr), x1 = image.width();
        const int rows = std::min(image.height(), static_cast<int>(bottom * dpr));
        const size_t bytes = static_cast<size_t>(x1 - x0 - std::abs(dx)) * sizeof(QRgb);
        uchar* bits = image.bits();
        for (int y = 0; y < rows; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(bits + y * image.bytesPerLine());
            if (dx < 0)
                std::memmove(row + x0, row + x0 - dx, bytes);
            else
                std::memmove(row + x0 + dx, row + x0, bytes);
        }
    }

    layout_ = l;  // the same but for the data range it shows
    QPainter p(&image);
    p.setFont(font_);
    p.setRenderHint(QPainter::TextAntialiasing, !state.panning);
    int columns = 0;
    std::vector<DrawnChart> drawn;
    for (const auto& [from, to] : merged) {
        const QRectF strip(from / dpr, 0, (to - from) / dpr, bottom);
        drawn = DrawPlot(p, strip, m, true, state.panning);
        changed_ |= strip.toAlignedRect();
        columns += to - from;
    }
    // A curve drawn otherwise than before (a run that became dense enough to
    // reduce, say) would not join up with what was kept.
    for (size_t j = 0; j < drawn.size(); ++j) {
        if (drawn[j].drawing != drawnCharts_[j].drawing)
            return false;
    }
    if (k != 0) {
        // The tick labels below the plot follow their columns.
        const double h = client.height();
        p.fillRect(QRectF(0, bottom + 1, client.width(), h - bottom - 1), kBackgroundFill);
        tickLabels_.resize(yTickLabels_);
        DrawXLabels(p, QFontMetricsF(font_, &image), m, client.width());
        changed_ = QRect(QPoint(0, 0), client);  // the plot scrolled
    }
    drawnCharts_ = std::move(drawn);
    drawnMapping_ = m;
    ++partialDraws_;
    lastPartialColumns_ = columns;
    return true;
}

void ChartCanvas::DrawOverlay(QPainter& p, QSize client, const ChartViewState& state) {
    const Layout& l = layout_;
    const ViewMapping& mapping = state.mapping;
    const chart::ValueFormatter& fx = set_->XValueFormatter();
    const chart::ValueFormatter& fy = set_->YValueFormatter();
    const QPoint mouse = state.mouse;
    const OverlayText text{font_, l.xLabelRowHeight};
    std::vector<QRect> labels;
    if (state.selectionExists) {
        labels = SelectionLabelRects(
            l.plot, mapping.PixelX(state.selectionStart), mapping.PixelX(state.selectionEnd),
            Text(fx, state.selectionStart), Text(fx, state.selectionEnd), text, p.device());
    }
    if (state.tracking) {
        for (const QRect& r :
             TrackingLabelRects(l.plot, mouse.x(), mouse.y(), Text(fx, mapping.DataX(mouse.x())),
                                Text(fy, mapping.DataY(mouse.y())), text, p.device()))
            labels.push_back(r);
    }
    for (const QRectF& r : TouchedTickLabels(tickLabels_, labels))
        p.fillRect(r.toAlignedRect().adjusted(-1, -1, 1, 1), kBackgroundFill);
    if (decoration_) {
        const QRectF plot(l.plot.x, l.plot.y, l.plot.width, l.plot.height);
        p.save();
        p.setClipRect(plot);
        decoration_(p, mapping, plot);
        p.restore();
    }
    if (state.selectionExists) {
        DrawSelection(p, l.plot, mapping.PixelX(state.selectionStart),
                      mapping.PixelX(state.selectionEnd), Text(fx, state.selectionStart),
                      Text(fx, state.selectionEnd), text);
    }
    if (state.tracking) {
        DrawTracking(p, l.plot, mouse.x(), mouse.y(), Text(fx, mapping.DataX(mouse.x())),
                     Text(fy, mapping.DataY(mouse.y())), text);
    }
    if (state.zoomBoxing) {
        DrawZoomRect(p,
                     QPointF(mapping.PixelX(state.zoomAnchorX), mapping.PixelY(state.zoomAnchorY)),
                     QPointF(mouse));
    }
    LabelBoxContext box;
    box.model = set_;
    box.client = client;
    box.xLabelRowHeight = static_cast<float>(l.xLabelRowHeight);
    box.selectionExists = state.selectionExists;
    box.selectionStart = state.selectionStart;
    box.selectionEnd = state.selectionEnd;
    box.tracking = state.tracking;
    box.trackX = mapping.DataX(mouse.x());
    box.trackY = mapping.DataY(mouse.y());
    boxes_->Paint(p, box);
}

}  // namespace chart::ui
