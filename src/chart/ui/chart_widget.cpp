#include "chart/ui/chart_widget.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <vector>

#include "chart/ui/chart_font.h"
#include "chart/ui/label_boxes.h"

namespace chart::ui {

using chart::ChartSeries;
using chart::ui::ViewMapping;

namespace {

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
    : ChartWidget(std::make_unique<chart::ChartSet>(), nullptr, parent, messages) {}

ChartWidget::ChartWidget(chart::ChartSet& set, QWidget* parent, platform::MessageBox* messages)
    : ChartWidget(nullptr, &set, parent, messages) {}

ChartWidget::ChartWidget(std::unique_ptr<chart::ChartSet> own, chart::ChartSet* shown,
                         QWidget* parent, platform::MessageBox* messages)
    : QWidget(parent),
      ownSet_(std::move(own)),
      set_(shown ? shown : ownSet_.get()),
      canvas_(*set_),
      messages_(messages),
      saveDialog_(DefaultSaveDialog),
      menuRunner_(DefaultMenuRunner),
      autoScroll_(this) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setFont(chart::ui::ChartFont());
    canvas_.SetFont(font());
    autoScroll_.setInterval(100);
    connect(&autoScroll_, &QTimer::timeout, this, &ChartWidget::AutoScrollTick);
    frameTimer_.setSingleShot(true);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, &ChartWidget::PaintChanges);
    Observe(*set_);
}

ChartWidget::~ChartWidget() {
    set_->RemoveRedrawListener(listener_);
}

void ChartWidget::Observe(chart::ChartSet& set) {
    set_ = &set;
    listener_ = set.AddRedrawListener([this](unsigned flags) { OnModelRedraw(flags); });
}

void ChartWidget::SetSet(chart::ChartSet& set) {
    if (&set == set_)
        return;
    set_->RemoveRedrawListener(listener_);
    Observe(set);
    canvas_.SetSet(set);
    ownSet_.reset();  // after the switch: `set` is never the widget's own
    contextChartId_ = -1;
    ViewChanged();
}

chart::ui::ChartViewState ChartWidget::ViewState() const {
    chart::ui::ChartViewState state;
    state.mapping = mapping_;
    state.selectionExists = selectionExists_;
    state.selectionStart = selectionStart_;
    state.selectionEnd = selectionEnd_;
    state.tracking = tracking_;
    state.mouse = lastMouse_;
    state.zoomBoxing = IsZoomBoxing();
    state.zoomAnchorX = zoomAnchorX_;
    state.zoomAnchorY = zoomAnchorY_;
    state.panning = IsPanning();
    return state;
}

// ---- model and view state -------------------------------------------------

// Any change of data but appended points may move any curve, so the
// background goes stale; the canvas finds out itself which columns appended
// points changed. The flags tell the label boxes what to refill.
void ChartWidget::OnModelRedraw(unsigned flags) {
    canvas_.Boxes().MarkDirty(flags & ~unsigned(chart::kRedrawPointsAppended));
    if (flags & chart::kRedrawPointsAppended) {
        ScheduleFrame();
        return;
    }
    ViewChanged();
}

void ChartWidget::ViewChanged() {
    canvas_.MarkStale();
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
    // Box values (tracking position, nothing else) follow the mapping. The
    // canvas compares the view with the one it drew: a view moved sideways
    // by whole pixels keeps most of its picture.
    canvas_.Boxes().MarkDirty(chart::kRedrawTrackingBox);
    if (!frameTimer_.isActive())
        update();
}

void ChartWidget::SetMapping(const ViewMapping& mapping) {
    ApplyMapping(mapping);
}

ChartWidget::Layout ChartWidget::CurrentLayout() const {
    return canvas_.ComputeLayout(mapping_, size());
}

bool ChartWidget::FitToRange(double maxY, double minY, double minX, double maxX) {
    const auto m = canvas_.FitRange({minX, maxX, minY, maxY}, size());
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
    if (const auto m = canvas_.FitAll(size()))
        ApplyMapping(*m);
}

void ChartWidget::ResetContainer() {
    FitToRange(home_.maxY, home_.minY, home_.minX, home_.maxX);
    // Toggling keeps the selected set right: hiding a chart whose points
    // were cleared while it was selected also deselects it.
    for (const auto& [id, s] : set_->Charts()) {
        if (!s->visible || !s->HasPoints())
            set_->ToggleChartVisibility(id);
    }
    set_->RedrawAll();
}

void ChartWidget::EnsurePointVisible(int id, double x, double y) {
    if (drag_)
        return;
    if (id != -1 && !set_->FindChart(id))
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
    canvas_.Boxes().MarkDirty(chart::kRedrawSelectionBox | chart::kRedrawStatisticsBox);
    update();
}

void ChartWidget::ClearSelection() {
    selectionExists_ = false;
    canvas_.Boxes().MarkDirty(chart::kRedrawSelectionBox | chart::kRedrawStatisticsBox);
    update();
}

void ChartWidget::SetTracking(bool on) {
    tracking_ = on;
    canvas_.Boxes().MarkDirty(chart::kRedrawTrackingBox);
    UpdateCursor();
    update();
}

void ChartWidget::SetLastMousePos(const QPoint& pos) {
    lastMouse_ = pos;
    if (tracking_)
        canvas_.Boxes().MarkDirty(chart::kRedrawTrackingBox);
    update();
}

int ChartWidget::ChartAt(const QPointF& pos) const {
    return chart::ui::HitTestChart(*set_, mapping_, pos.x(), pos.y());
}

// ---- painting --------------------------------------------------------------

void ChartWidget::resizeEvent(QResizeEvent* event) {
    canvas_.Discard();
    QWidget::resizeEvent(event);
}

// A frame of a live record: the picture is brought up to date now, so that
// only the columns it drew anew go to the screen, not the whole control.
// What lies over the picture besides the legend (a selection with its
// statistics, the cross-hair) may change with every point: then all of it.
void ChartWidget::PaintChanges() {
    const ChartViewState state = ViewState();
    if (state.selectionExists || state.tracking || state.zoomBoxing || canvas_.HasDecoration() ||
        width() <= 0 || height() <= 0) {
        update();
        return;
    }
    canvas_.SetLogicalDpi(logicalDpiX(), logicalDpiY());
    const QRect changed = canvas_.UpdatePicture(size(), devicePixelRatioF(), state);
    if (!changed.isEmpty())
        update(changed);
}

QImage ChartWidget::RenderFrame(qreal dpr) {
    canvas_.SetLogicalDpi(logicalDpiX(), logicalDpiY());
    return canvas_.RenderFrame(size(), dpr, ViewState());
}

void ChartWidget::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0)
        return;
    const QImage frame = RenderFrame(devicePixelRatioF());
    QPainter window(this);
    window.drawImage(QPoint(0, 0), frame);
}

void ChartWidget::SetDecoration(Decoration decoration) {
    canvas_.SetDecoration(std::move(decoration));
    update();
}

void ChartWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        canvas_.SetFont(font());
        ViewChanged();
    }
    QWidget::changeEvent(event);
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
    const chart::ui::LabelPress press = canvas_.Boxes().OnLeftPress(pos, *set_);
    if (press.consumed) {
        if (press.chartId >= 0)
            set_->SetChartSelected(press.chartId, press.select);
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
        const ChartSeries* s = set_->FindChart(hit);
        set_->SetChartSelected(hit, !s->selected);
        return;
    }
    selectionExists_ = false;
    selectionStart_ = selectionEnd_ = mapping_.DataX(pos.x());
    BeginDrag(kDragSelect);
    canvas_.Boxes().MarkDirty(chart::kRedrawSelectionBox | chart::kRedrawStatisticsBox);
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
        canvas_.Boxes().MarkDirty(chart::kRedrawTrackingBox);
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
        canvas_.Boxes().MarkDirty(chart::kRedrawSelectionBox | chart::kRedrawStatisticsBox);
        repaint = true;
    }
    if (IsZoomBoxing())
        repaint = true;
    if (!drag_) {
        const chart::ui::LabelHover hover = canvas_.Boxes().OnHover(lastMouse_, *set_);
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
    if (!canvas_.Boxes().BlocksDoubleClick(lastMouse_))
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
    const ChartSeries* s = set_->FindChart(chartId);
    return s ? chart::ui::ChartMenuItems(*s) : std::vector<chart::ui::MenuItem>{};
}

std::vector<chart::ui::MenuItem> ChartWidget::ContainerMenu() const {
    return chart::ui::ContainerMenuItems(*set_, tracking_);
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
            set_->SetLegendVisible(!set_->IsLegendVisible());
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
    ChartSeries* s = set_->FindChart(contextChartId_);
    if (!s) {
        ShowError(L"Chart was deleted!");
        return;
    }
    // Toggling a shown chart hides it, deselects it and marks the boxes.
    if (s->visible)
        set_->ToggleChartVisibility(s->id);
}

void ChartWidget::ToggleContextChartPoints() {
    ChartSeries* s = set_->FindChart(contextChartId_);
    if (!s) {
        ShowError(L"Chart was deleted!");
        return;
    }
    s->showPoints = !s->showPoints;
    // Every view of the set draws the markers.
    set_->Redraw(chart::kRedrawSelectionBox | chart::kRedrawStatisticsBox |
                 (set_->IsLegendVisible() ? chart::kRedrawLegend : 0u));
}

void ChartWidget::SaveCharts() {
    std::set<int> ids;
    set_->GetSelectedChartIds(ids);
    if (ids.empty()) {
        for (const auto& [id, s] : set_->Charts())
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
    if (!set_->SaveChartsXml(path.toStdWString(), ids, error))
        ShowError(error);
}

void ChartWidget::ShowHideChart(int id) {
    const int shown = set_->ToggleChartVisibility(id);
    if (shown < 0)
        return;
    const ChartSeries* s = set_->FindChart(id);
    emit ChartVisibilityToggled(id, shown == 1 && s && s->HasPoints());
}

}  // namespace chart::ui
