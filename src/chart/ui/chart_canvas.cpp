#include "chart/ui/chart_canvas.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstring>

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
    if (stale_)
        DrawBackground(background_, client, state);
    return background_;
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
    const bool panning = state.panning;

    image.fill(kBackgroundFill);
    QPainter p(&image);
    p.setFont(font_);
    p.setRenderHint(QPainter::TextAntialiasing, !panning);
    const QFontMetricsF fm(font_, &image);
    tickLabels_.clear();

    // Rows, their labels right-aligned left of the plot, and the X axis line.
    const auto rows = GridRows(mapping.originY, l.ticksY, 0, h);
    std::vector<QRectF> dashes;
    p.setClipRect(QRectF(0, 0, w, plotBottom));
    for (const auto& row : rows) AddDashes(dashes, l.yLabelColumnWidth, w, Snap(row.pixel), true);
    FillRects(p, dashes, kGrid);
    p.setClipping(false);
    p.setPen(kTickText);
    for (const auto& row : rows) {
        const QString label = QString::fromStdWString(set_->YTickLabel(row.value, l.ticksY.step));
        const auto top = PlaceTickLabel(row.pixel, fm.height(), {0, plotBottom, 0, plotBottom});
        if (top) {
            const double left =
                std::max(0.0, l.yLabelColumnWidth - 3 - fm.horizontalAdvance(label));
            p.drawText(QPointF(left, *top + fm.ascent()), label);
            tickLabels_.emplace_back(left, *top, fm.horizontalAdvance(label), fm.height());
        }
    }
    p.fillRect(QRectF(l.yLabelColumnWidth, Snap(plotBottom), w - l.yLabelColumnWidth, 1), kGrid);

    // Columns, their labels centred below the plot, and the Y axis line.
    const auto cols = GridColumns(mapping.originX, l.ticksX, 0, w);
    dashes.clear();
    p.setClipRect(QRectF(l.yLabelColumnWidth, 0, w, h));
    for (const auto& col : cols) AddDashes(dashes, 0, plotBottom, Snap(col.pixel), false);
    FillRects(p, dashes, kGrid);
    p.setClipping(false);
    p.setPen(kTickText);
    for (const auto& col : cols) {
        const QString label = QString::fromStdWString(set_->XTickLabel(col.value, l.ticksX.step));
        const auto left =
            PlaceTickLabel(col.pixel, fm.horizontalAdvance(label), {l.yLabelColumnWidth, w, 0, w});
        if (left) {
            p.drawText(QPointF(*left, plotBottom + 3 + fm.ascent()), label);
            tickLabels_.emplace_back(*left, plotBottom + 3, fm.horizontalAdvance(label),
                                     fm.height());
        }
    }
    p.fillRect(QRectF(Snap(l.yLabelColumnWidth), 0, 1, plotBottom), kGrid);

    // Zero lines, 2 pixels centred on the origin, and curves inside the plot only.
    p.setClipRect(QRectF(l.plot.x, l.plot.y, l.plot.width, l.plot.height));
    if (0 <= mapping.originY && mapping.originY < h)
        p.fillRect(QRectF(0, Snap(mapping.originY) - 1, w, 2), kTickText);
    if (0 <= mapping.originX && mapping.originX < w)
        p.fillRect(QRectF(Snap(mapping.originX) - 1, 0, 2, h), kTickText);
    p.setRenderHint(QPainter::Antialiasing, !panning);
    for (const auto& [id, s] : set_->Charts()) {
        if (s->visible && s->HasPoints())
            DrawChartCurve(p, *s, mapping, l.visible);
    }
    p.setClipping(false);
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
