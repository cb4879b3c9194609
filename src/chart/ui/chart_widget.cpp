#include "chart/ui/chart_widget.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "chart/ui/chart_font.h"
#include "chart/ui/chart_overlay.h"
#include "chart/ui/curve_painter.h"
#include "chart/ui/label_boxes.h"

namespace chart::ui {

using chart::ChartSeries;
using chart::ui::ViewMapping;

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

QString DefaultSaveDialog(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("Save Charts"), QString(),
                       QStringLiteral("XML Files (*.xml)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    dialog.selectFile(QStringLiteral("*.xml"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

void AddItems(QMenu& menu, const std::vector<chart::ui::MenuItem>& items) {
    for (const auto& item : items) {
        if (item.IsSeparator()) {
            menu.addSeparator();
        } else if (!item.submenu.empty() || item.id == 0) {
            AddItems(*menu.addMenu(item.text), item.submenu);
        } else {
            QAction* a = menu.addAction(item.text);
            a->setData(item.id);
            a->setCheckable(item.checkable);
            a->setChecked(item.checked);
            a->setEnabled(item.enabled);
        }
    }
}

int DefaultMenuRunner(QMenu& menu, const QPoint& globalPos) {
    QAction* chosen = menu.exec(globalPos);
    return chosen ? chosen->data().toInt() : 0;
}

}  // namespace

ChartWidget::ChartWidget(QWidget* parent, platform::MessageBox* messages)
    : QWidget(parent),
      messages_(messages),
      saveDialog_(DefaultSaveDialog),
      menuRunner_(DefaultMenuRunner),
      autoScroll_(this),
      boxes_(std::make_unique<chart::ui::LabelBoxes>()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setFont(chart::ui::ChartFont());
    boxes_->SetFont(chart::ui::ChartFont());
    autoScroll_.setInterval(100);
    connect(&autoScroll_, &QTimer::timeout, this, &ChartWidget::AutoScrollTick);
    frameTimer_.setSingleShot(true);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { update(); });
    SetRedrawListener([this](unsigned flags) { OnModelRedraw(flags); });
}

ChartWidget::~ChartWidget() = default;

// ---- model and view state -------------------------------------------------

// Every change of data may move a curve, so the background goes stale
// whatever the flags name; the flags tell the label boxes what to refill.
void ChartWidget::OnModelRedraw(unsigned flags) {
    boxes_->MarkDirty(flags & ~unsigned(chart::kRedrawPointsAppended));
    if (flags & chart::kRedrawPointsAppended) {
        backgroundStale_ = true;
        ScheduleFrame();
        return;
    }
    ViewChanged();
}

void ChartWidget::ViewChanged() {
    backgroundStale_ = true;
    // A frame on its way paints this change too, as soon as a screen shows it.
    if (!frameTimer_.isActive())
        update();
}

void ChartWidget::ScheduleFrame() {
    if (frameTimer_.isActive() || !isVisible() || window()->isMinimized())
        return;
    const QScreen* s = screen();
    const double hz = s && s->refreshRate() >= 1.0 ? s->refreshRate() : 60.0;
    frameTimer_.start(std::max(1, int(1000.0 / hz)));
}

void ChartWidget::ApplyMapping(const ViewMapping& m) {
    if (!chart::ui::IsUsableMapping(m))
        return;
    mapping_ = m;
    // Box values (tracking position, nothing else) follow the mapping.
    boxes_->MarkDirty(chart::kRedrawTrackingBox);
    ViewChanged();
}

void ChartWidget::SetMapping(const ViewMapping& mapping) {
    ApplyMapping(mapping);
}

ChartWidget::Layout ChartWidget::ComputeLayout(const QSize& size) const {
    Layout l;
    const QFontMetricsF fm(font());
    l.ticksX = chart::ui::ComputeTicks(kMinSpacingX, mapping_.scaleX);
    l.ticksY = chart::ui::ComputeTicks(kMinSpacingY, mapping_.scaleY);
    l.xLabelRowHeight = std::ceil(fm.height()) + 6;
    const double top = mapping_.DataY(0), bottom = mapping_.DataY(size.height());
    l.yLabelColumnWidth =
        LabelColumnWidth(fm, YTickLabel(top, l.ticksY.step), YTickLabel(bottom, l.ticksY.step));
    l.plot = {l.yLabelColumnWidth, 0.0, size.width() - l.yLabelColumnWidth,
              size.height() - l.xLabelRowHeight};
    l.visible = chart::ui::VisibleRangeOf(mapping_, l.plot);
    return l;
}

ChartWidget::Layout ChartWidget::CurrentLayout() const {
    return ComputeLayout(size());
}

bool ChartWidget::FitToRange(double maxY, double minY, double minX, double maxX) {
    const QFontMetricsF fm(font());
    const double rowHeight = std::ceil(fm.height()) + 6;
    // The grid step of the fitted view does not depend on the column's width.
    const double stepY =
        chart::ui::ComputeTicks(kMinSpacingY, (height() - rowHeight) / (maxY - minY)).step;
    const double columnWidth =
        LabelColumnWidth(fm, YTickLabel(maxY, stepY), YTickLabel(minY, stepY));
    const auto m =
        chart::ui::FitMapping({minX, maxX, minY, maxY}, width(), height(), columnWidth, rowHeight);
    if (!m)
        return false;
    ApplyMapping(*m);
    return true;
}

bool ChartWidget::ZoomToRange(double x1, double x2, double y1, double y2) {
    // A range the view cannot show (a zoom box drawn without moving, one of
    // zero width or height) changes nothing, the home range included, so that
    // "Reset container" keeps returning to the last range that was shown.
    const chart::ui::DataRange range{std::min(x1, x2), std::max(x1, x2), std::min(y1, y2),
                                     std::max(y1, y2)};
    if (!FitToRange(range.maxY, range.minY, range.minX, range.maxX))
        return false;
    home_ = range;
    return true;
}

void ChartWidget::ZoomToFit() {
    if (drag_)
        return;
    if (const auto r = chart::ui::FitAllRange(*this))
        FitToRange(r->maxY, r->minY, r->minX, r->maxX);
}

void ChartWidget::ResetContainer() {
    FitToRange(home_.maxY, home_.minY, home_.minX, home_.maxX);
    // Toggling keeps the selected set right: hiding a chart whose points
    // were cleared while it was selected also deselects it.
    for (const auto& [id, s] : Charts()) {
        if (!s->visible || !s->HasPoints())
            ToggleChartVisibility(id);
    }
    RedrawAll();
}

void ChartWidget::EnsurePointVisible(int id, double x, double y) {
    if (drag_)
        return;
    if (id != -1 && !FindChart(id))
        return;
    // The layout of the current view, not of the last paint: live data may
    // call this many times between two paints.
    const Layout l = CurrentLayout();
    const ViewMapping m =
        chart::ui::EnsureVisibleInWholePixels(mapping_, l.visible, x, y, devicePixelRatioF());
    if (m.originX != mapping_.originX || m.originY != mapping_.originY)
        ApplyMapping(m);
}

void ChartWidget::SetSelection(double start, double end) {
    selectionExists_ = true;
    selectionStart_ = start;
    selectionEnd_ = end;
    boxes_->MarkDirty(chart::kRedrawSelectionBox | chart::kRedrawStatisticsBox);
    update();
}

void ChartWidget::ClearSelection() {
    selectionExists_ = false;
    boxes_->MarkDirty(chart::kRedrawSelectionBox | chart::kRedrawStatisticsBox);
    update();
}

void ChartWidget::SetTracking(bool on) {
    tracking_ = on;
    boxes_->MarkDirty(chart::kRedrawTrackingBox);
    UpdateCursor();
    update();
}

void ChartWidget::SetLastMousePos(const QPoint& pos) {
    lastMouse_ = pos;
    if (tracking_)
        boxes_->MarkDirty(chart::kRedrawTrackingBox);
    update();
}

int ChartWidget::ChartAt(const QPointF& pos) const {
    return chart::ui::HitTestChart(*this, mapping_, pos.x(), pos.y());
}

// ---- painting --------------------------------------------------------------

void ChartWidget::resizeEvent(QResizeEvent* event) {
    background_ = QImage();
    backgroundStale_ = true;
    QWidget::resizeEvent(event);
}

const QImage& ChartWidget::Background(qreal dpr) {
    const QSize device = (QSizeF(size()) * dpr).toSize();
    if (background_.size() != device || background_.devicePixelRatio() != dpr) {
        background_ = QImage(device, QImage::Format_ARGB32_Premultiplied);
        background_.setDevicePixelRatio(dpr);
        // Text in the image takes the size it has on the window's screen.
        background_.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
        background_.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
        backgroundStale_ = true;
    }
    if (backgroundStale_)
        DrawBackground(background_);
    return background_;
}

// The frame buffer lives on between paints: a fresh image per paint would
// cost an allocation and its page faults every time the mouse moves.
QImage ChartWidget::RenderFrame(qreal dpr) {
    const QImage& background = Background(dpr);
    // Nothing to lay over the background: it is the frame, and the copy
    // (a quarter of a frame's cost at a pixel ratio of 2) is saved.
    if (!selectionExists_ && !tracking_ && !IsZoomBoxing() && !decoration_ &&
        !(IsLegendVisible() && !Charts().empty())) {
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
        DrawOverlay(p, layout_);
    }
    return frame_;
}

void ChartWidget::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0)
        return;
    const QImage frame = RenderFrame(devicePixelRatioF());
    QPainter window(this);
    window.drawImage(QPoint(0, 0), frame);
}

void ChartWidget::DrawBackground(QImage& image) {
    ++backgroundDraws_;
    backgroundStale_ = false;
    const QSize client = size();
    layout_ = ComputeLayout(client);
    const Layout& l = layout_;
    const double w = client.width(), h = client.height();
    const double plotBottom = h - l.xLabelRowHeight;
    const bool panning = IsPanning();

    image.fill(kBackgroundFill);
    QPainter p(&image);
    p.setFont(font());
    p.setRenderHint(QPainter::TextAntialiasing, !panning);
    const QFontMetricsF fm(font(), &image);
    tickLabels_.clear();

    // Rows, their labels right-aligned left of the plot, and the X axis line.
    const auto rows = chart::ui::GridRows(mapping_.originY, l.ticksY, 0, h);
    std::vector<QRectF> dashes;
    p.setClipRect(QRectF(0, 0, w, plotBottom));
    for (const auto& row : rows) AddDashes(dashes, l.yLabelColumnWidth, w, Snap(row.pixel), true);
    FillRects(p, dashes, kGrid);
    p.setClipping(false);
    p.setPen(kTickText);
    for (const auto& row : rows) {
        const QString label = QString::fromStdWString(YTickLabel(row.value, l.ticksY.step));
        const auto top =
            chart::ui::PlaceTickLabel(row.pixel, fm.height(), {0, plotBottom, 0, plotBottom});
        if (top) {
            const double left =
                std::max(0.0, l.yLabelColumnWidth - 3 - fm.horizontalAdvance(label));
            p.drawText(QPointF(left, *top + fm.ascent()), label);
            tickLabels_.emplace_back(left, *top, fm.horizontalAdvance(label), fm.height());
        }
    }
    p.fillRect(QRectF(l.yLabelColumnWidth, Snap(plotBottom), w - l.yLabelColumnWidth, 1), kGrid);

    // Columns, their labels centred below the plot, and the Y axis line.
    const auto cols = chart::ui::GridColumns(mapping_.originX, l.ticksX, 0, w);
    dashes.clear();
    p.setClipRect(QRectF(l.yLabelColumnWidth, 0, w, h));
    for (const auto& col : cols) AddDashes(dashes, 0, plotBottom, Snap(col.pixel), false);
    FillRects(p, dashes, kGrid);
    p.setClipping(false);
    p.setPen(kTickText);
    for (const auto& col : cols) {
        const QString label = QString::fromStdWString(XTickLabel(col.value, l.ticksX.step));
        const auto left = chart::ui::PlaceTickLabel(col.pixel, fm.horizontalAdvance(label),
                                                    {l.yLabelColumnWidth, w, 0, w});
        if (left) {
            p.drawText(QPointF(*left, plotBottom + 3 + fm.ascent()), label);
            tickLabels_.emplace_back(*left, plotBottom + 3, fm.horizontalAdvance(label),
                                     fm.height());
        }
    }
    p.fillRect(QRectF(Snap(l.yLabelColumnWidth), 0, 1, plotBottom), kGrid);

    // Zero lines, 2 pixels centred on the origin, and curves inside the plot only.
    p.setClipRect(QRectF(l.plot.x, l.plot.y, l.plot.width, l.plot.height));
    if (0 <= mapping_.originY && mapping_.originY < h)
        p.fillRect(QRectF(0, Snap(mapping_.originY) - 1, w, 2), kTickText);
    if (0 <= mapping_.originX && mapping_.originX < w)
        p.fillRect(QRectF(Snap(mapping_.originX) - 1, 0, 2, h), kTickText);
    p.setRenderHint(QPainter::Antialiasing, !panning);
    for (const auto& [id, s] : Charts()) {
        if (s->visible && s->HasPoints())
            chart::ui::DrawChartCurve(p, *s, mapping_, l.visible);
    }
    p.setClipping(false);
}

void ChartWidget::SetDecoration(Decoration decoration) {
    decoration_ = std::move(decoration);
    update();
}

void ChartWidget::DrawOverlay(QPainter& p, const Layout& l) {
    const chart::ui::OverlayText text{font(), l.xLabelRowHeight};
    std::vector<QRect> labels;
    if (selectionExists_) {
        labels = chart::ui::SelectionLabelRects(
            l.plot, mapping_.PixelX(selectionStart_), mapping_.PixelX(selectionEnd_),
            Text(XValueFormatter(), selectionStart_), Text(XValueFormatter(), selectionEnd_), text,
            p.device());
    }
    if (tracking_) {
        for (const QRect& r : chart::ui::TrackingLabelRects(
                 l.plot, lastMouse_.x(), lastMouse_.y(),
                 Text(XValueFormatter(), mapping_.DataX(lastMouse_.x())),
                 Text(YValueFormatter(), mapping_.DataY(lastMouse_.y())), text, p.device()))
            labels.push_back(r);
    }
    for (const QRectF& r : chart::ui::TouchedTickLabels(tickLabels_, labels))
        p.fillRect(r.toAlignedRect().adjusted(-1, -1, 1, 1), kBackgroundFill);
    if (decoration_) {
        const QRectF plot(l.plot.x, l.plot.y, l.plot.width, l.plot.height);
        p.save();
        p.setClipRect(plot);
        decoration_(p, mapping_, plot);
        p.restore();
    }
    if (selectionExists_) {
        chart::ui::DrawSelection(
            p, l.plot, mapping_.PixelX(selectionStart_), mapping_.PixelX(selectionEnd_),
            Text(XValueFormatter(), selectionStart_), Text(XValueFormatter(), selectionEnd_), text);
    }
    if (tracking_) {
        chart::ui::DrawTracking(p, l.plot, lastMouse_.x(), lastMouse_.y(),
                                Text(XValueFormatter(), mapping_.DataX(lastMouse_.x())),
                                Text(YValueFormatter(), mapping_.DataY(lastMouse_.y())), text);
    }
    if (IsZoomBoxing()) {
        chart::ui::DrawZoomRect(
            p, QPointF(mapping_.PixelX(zoomAnchorX_), mapping_.PixelY(zoomAnchorY_)),
            QPointF(lastMouse_));
    }
    chart::ui::LabelBoxContext box;
    box.model = this;
    box.client = size();
    box.xLabelRowHeight = static_cast<float>(l.xLabelRowHeight);
    box.selectionExists = selectionExists_;
    box.selectionStart = selectionStart_;
    box.selectionEnd = selectionEnd_;
    box.tracking = tracking_;
    box.trackX = mapping_.DataX(lastMouse_.x());
    box.trackY = mapping_.DataY(lastMouse_.y());
    boxes_->Paint(p, box);
}

// ---- interaction -----------------------------------------------------------

void ChartWidget::BeginDrag(DragFlag flag) {
    drag_ |= flag;
    if (++captureCount_ == 1)
        autoScroll_.start();
}

void ChartWidget::EndDrag(DragFlag flag) {
    if (!(drag_ & flag))
        return;
    drag_ &= ~flag;
    if (--captureCount_ <= 0) {
        captureCount_ = 0;
        autoScroll_.stop();
    }
    UpdateCursor();
}

void ChartWidget::AutoScrollTick() {
    if (captureCount_ == 0) {
        autoScroll_.stop();
        return;
    }
    // A pan moves the view with the mouse already; scrolling as well would
    // pull the view away from under it.
    if (!(drag_ & (kDragSelect | kDragZoomBox)))
        return;
    const auto [dx, dy] =
        chart::ui::AutoScrollDelta(CurrentLayout().plot, lastMouse_.x(), lastMouse_.y());
    if (dx != 0 || dy != 0)
        MoveBy(dx, dy);
}

void ChartWidget::MoveBy(double dx, double dy) {
    ViewMapping m = mapping_;
    m.originX += dx;
    m.originY += dy;
    ApplyMapping(m);
}

void ChartWidget::UpdateCursor() {
    if (IsPanning() || legendHand_) {
        setCursor(Qt::PointingHandCursor);
    } else if (tracking_) {
        setCursor(Qt::BlankCursor);
    } else {
        setCursor(ChartAt(lastMouse_) >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
}

void ChartWidget::LeftPress(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const chart::ui::LabelPress press = boxes_->OnLeftPress(pos, *this);
    if (press.consumed) {
        if (press.chartId >= 0)
            SetChartSelected(press.chartId, press.select);
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        zoomAnchorX_ = mapping_.DataX(pos.x());
        zoomAnchorY_ = mapping_.DataY(pos.y());
        BeginDrag(kDragZoomBox);
        update();
        return;
    }
    if (const int hit = ChartAt(pos); hit >= 0) {
        const ChartSeries* s = FindChart(hit);
        SetChartSelected(hit, !s->selected);
        return;
    }
    selectionExists_ = false;
    selectionStart_ = selectionEnd_ = mapping_.DataX(pos.x());
    BeginDrag(kDragSelect);
    boxes_->MarkDirty(chart::kRedrawSelectionBox | chart::kRedrawStatisticsBox);
    update();
}

void ChartWidget::mousePressEvent(QMouseEvent* event) {
    lastMouse_ = event->position().toPoint();
    switch (event->button()) {
        case Qt::LeftButton:
            LeftPress(event);
            break;
        case Qt::RightButton:
            panPressGlobal_ = event->globalPosition().toPoint();
            panStart_ = mapping_;
            BeginDrag(kDragPan);
            UpdateCursor();
            break;
        case Qt::MiddleButton:
            setFocus(Qt::MouseFocusReason);
            SetTracking(!tracking_);
            break;
        default:
            break;
    }
}

void ChartWidget::mouseMoveEvent(QMouseEvent* event) {
    lastMouse_ = event->position().toPoint();
    bool repaint = tracking_;
    if (tracking_)
        boxes_->MarkDirty(chart::kRedrawTrackingBox);
    if (IsPanning()) {
        const QPoint moved = event->globalPosition().toPoint() - panPressGlobal_;
        ViewMapping m = panStart_;
        m.originX += moved.x();
        m.originY += moved.y();
        ApplyMapping(m);
    }
    if (IsSelecting()) {
        selectionExists_ = true;
        selectionEnd_ = mapping_.DataX(lastMouse_.x());
        boxes_->MarkDirty(chart::kRedrawSelectionBox | chart::kRedrawStatisticsBox);
        repaint = true;
    }
    if (IsZoomBoxing())
        repaint = true;
    if (!drag_) {
        const chart::ui::LabelHover hover = boxes_->OnHover(lastMouse_, *this);
        legendHand_ = hover.handCursor;
        repaint = repaint || hover.repaint;
    }
    if (repaint)
        update();
    UpdateCursor();
}

void ChartWidget::mouseReleaseEvent(QMouseEvent* event) {
    lastMouse_ = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (IsSelecting())
            EndDrag(kDragSelect);
        if (IsZoomBoxing()) {
            EndDrag(kDragZoomBox);
            ZoomToRange(zoomAnchorX_, mapping_.DataX(lastMouse_.x()), zoomAnchorY_,
                        mapping_.DataY(lastMouse_.y()));
        }
        update();
    } else if (event->button() == Qt::RightButton) {
        RightRelease(event);
    }
}

void ChartWidget::RightRelease(QMouseEvent* event) {
    if (!IsPanning())
        return;
    EndDrag(kDragPan);
    ViewChanged();  // anti-aliasing returns
    const QPoint global = event->globalPosition().toPoint();
    if (global != panPressGlobal_)
        return;
    if (const int hit = ChartAt(lastMouse_); hit >= 0)
        OpenChartMenu(hit, global);
    else
        OpenContainerMenu(global);
}

// The window system delivers the second press of a double click before the
// double click itself, so every button has had its press already.
void ChartWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    lastMouse_ = event->position().toPoint();
    // That second press began a selecting drag that has not moved; it must
    // not hold off the fit.
    if (IsSelecting() && !selectionExists_)
        EndDrag(kDragSelect);
    if (!boxes_->BlocksDoubleClick(lastMouse_))
        ZoomToFit();
}

void ChartWidget::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    const QPointF pos = event->position();
    ApplyMapping(chart::ui::ZoomAbout(mapping_, pos.x(), pos.y(), delta));
    event->accept();
}

void ChartWidget::keyPressEvent(QKeyEvent* event) {
    const auto spacing = [](double s) { return s > 0 ? s : 100.0; };
    const Layout l = CurrentLayout();
    switch (event->key()) {
        case Qt::Key_Left:
            MoveBy(spacing(l.ticksX.spacing), 0);
            break;
        case Qt::Key_Right:
            MoveBy(-spacing(l.ticksX.spacing), 0);
            break;
        case Qt::Key_Up:
            MoveBy(0, spacing(l.ticksY.spacing));
            break;
        case Qt::Key_Down:
            MoveBy(0, -spacing(l.ticksY.spacing));
            break;
        case Qt::Key_Escape:
            if (IsZoomBoxing()) {
                EndDrag(kDragZoomBox);
            } else if (IsSelecting()) {
                EndDrag(kDragSelect);
                ClearSelection();
            } else if (selectionExists_) {
                ClearSelection();
            }
            ViewChanged();
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
}

void ChartWidget::contextMenuEvent(QContextMenuEvent* event) {
    // Mouse requests are answered on right-button release, after a pan.
    if (event->reason() == QContextMenuEvent::Keyboard)
        OpenContainerMenu(mapToGlobal(QPoint(0, 0)));
}

void ChartWidget::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void ChartWidget::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

// Arrow keys move the view rather than the focus.
bool ChartWidget::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up ||
            key == Qt::Key_Down) {
            if (event->type() == QEvent::ShortcutOverride) {
                event->accept();
                return true;
            }
        }
    }
    return QWidget::event(event);
}

// ---- commands ----------------------------------------------------------------

std::vector<chart::ui::MenuItem> ChartWidget::ChartMenu(int chartId) const {
    const ChartSeries* s = FindChart(chartId);
    return s ? chart::ui::ChartMenuItems(*s) : std::vector<chart::ui::MenuItem>{};
}

std::vector<chart::ui::MenuItem> ChartWidget::ContainerMenu() const {
    return chart::ui::ContainerMenuItems(*this, tracking_);
}

int ChartWidget::RunMenu(const std::vector<chart::ui::MenuItem>& items, const QPoint& globalPos) {
    QMenu menu(this);
    AddItems(menu, items);
    return menuRunner_ ? menuRunner_(menu, globalPos) : 0;
}

void ChartWidget::OpenChartMenu(int chartId, const QPoint& globalPos) {
    contextChartId_ = chartId;
    if (const int id = RunMenu(ChartMenu(chartId), globalPos))
        RunCommand(id);
}

void ChartWidget::OpenContainerMenu(const QPoint& globalPos) {
    contextChartId_ = -1;
    if (const int id = RunMenu(ContainerMenu(), globalPos))
        RunCommand(id);
}

void ChartWidget::RunCommand(int id) {
    using namespace chart::ui;
    const auto spacing = [](double s) { return s > 0 ? s : 100.0; };
    const Layout l = CurrentLayout();
    switch (id) {
        case kCmdSaveChart:
        case kCmdSaveCharts:
            SaveCharts();
            return;
        case kCmdHideChart:
            HideContextChart();
            return;
        case kCmdShowChartPoints:
            ToggleContextChartPoints();
            return;
        case kCmdShowLegend:
            SetLegendVisible(!IsLegendVisible());
            return;
        case kCmdMoveRight:
            MoveBy(spacing(l.ticksX.spacing), 0);
            return;
        case kCmdMoveLeft:
            MoveBy(-spacing(l.ticksX.spacing), 0);
            return;
        case kCmdMoveUp:
            MoveBy(0, -spacing(l.ticksY.spacing));
            return;
        case kCmdMoveDown:
            MoveBy(0, spacing(l.ticksY.spacing));
            return;
        case kCmdResetContainer:
            ResetContainer();
            return;
        case kCmdEnableTracking:
            SetTracking(!tracking_);
            return;
        case kCmdZoomToFit:
            ZoomToFit();
            return;
        default:
            if (id >= kCmdShowHideFirst && id <= kCmdShowHideLast)
                ShowHideChart(id - kCmdShowHideFirst);
            return;
    }
}

void ChartWidget::ShowError(const std::wstring& text) {
    if (messages_)
        messages_->ShowMessage(text, platform::MessageIcon::Error);
}

void ChartWidget::HideContextChart() {
    ChartSeries* s = FindChart(contextChartId_);
    if (!s) {
        ShowError(L"Chart was deleted!");
        return;
    }
    // Toggling a shown chart hides it, deselects it and marks the boxes.
    if (s->visible)
        ToggleChartVisibility(s->id);
}

void ChartWidget::ToggleContextChartPoints() {
    ChartSeries* s = FindChart(contextChartId_);
    if (!s) {
        ShowError(L"Chart was deleted!");
        return;
    }
    s->showPoints = !s->showPoints;
    OnModelRedraw(chart::kRedrawSelectionBox | chart::kRedrawStatisticsBox |
                  (IsLegendVisible() ? chart::kRedrawLegend : 0u));
}

void ChartWidget::SaveCharts() {
    std::set<int> ids;
    GetSelectedChartIds(ids);
    if (ids.empty()) {
        for (const auto& [id, s] : Charts())
            if (s->visible && s->HasPoints())
                ids.insert(id);
    }
    if (ids.empty()) {
        ShowError(L"No charts to save!");
        return;
    }
    const QString path = saveDialog_ ? saveDialog_(this) : QString();
    if (path.isEmpty())
        return;
    std::wstring error;
    if (!SaveChartsXml(path.toStdWString(), ids, error))
        ShowError(error);
}

void ChartWidget::ShowHideChart(int id) {
    const int shown = ToggleChartVisibility(id);
    if (shown < 0)
        return;
    const ChartSeries* s = FindChart(id);
    emit ChartVisibilityToggled(id, shown == 1 && s && s->HasPoints());
}

}  // namespace chart::ui
