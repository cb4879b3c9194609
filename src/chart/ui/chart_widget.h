#pragma once
// The chart control: a widget that shows a chart set with an automatic grid,
// pans, zooms and fits, selects an x range with statistics, tracks the mouse,
// shows the label boxes and offers the context menus.
//
// The set is data apart from the widget: the widget either owns one of its
// own or observes one that is owned elsewhere (a document's), as one of the
// set's listeners. What it shows is drawn by a ChartCanvas, which caches the
// background (grid, labels, curves) at the widget's device pixel ratio and
// redraws it only when the view or the data went stale; every paint composes
// the overlay (selection, cross-hair, zoom rectangle, label boxes) over a
// copy of it and puts the frame on the window in one copy, without erasing
// the window first.
//
// Window thread only, like its set.

#include <QImage>
#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

#include "chart/chart_set.h"
#include "chart/ui/chart_canvas.h"
#include "chart/ui/chart_grid.h"
#include "chart/ui/chart_menus.h"
#include "chart/ui/chart_view_math.h"
#include "chart/ui/view_mapping.h"
#include "platform/message_box.h"

class QMenu;
class QPainter;
class QRectF;

namespace chart::ui {

class LabelBoxes;

class ChartWidget : public QWidget {
    Q_OBJECT
public:
    // Where the plot and the tick labels lie for the current view and size.
    using Layout = ChartCanvas::Layout;

    // Asks for a file to save charts to; an empty string means cancelled.
    using SaveFileDialog = std::function<QString(QWidget* parent)>;
    // Shows a menu at a global position; returns the chosen command id or 0.
    using MenuRunner = std::function<int(QMenu& menu, const QPoint& globalPos)>;

    // Shows a set of its own.
    explicit ChartWidget(QWidget* parent = nullptr, platform::MessageBox* messages = nullptr);
    // Shows `set`, which must outlive the widget or be replaced by SetSet first.
    explicit ChartWidget(chart::ChartSet& set, QWidget* parent = nullptr,
                         platform::MessageBox* messages = nullptr);
    ~ChartWidget() override;

    // The set shown. The view (range, selection, tracking) stays as it is.
    chart::ChartSet& Set() { return *set_; }
    const chart::ChartSet& Set() const { return *set_; }
    // Shows `set` from now on, owned elsewhere; a set of the widget's own goes.
    void SetSet(chart::ChartSet& set);

    // Services; the defaults are the platform's dialogs and menus.
    void SetMessageBox(platform::MessageBox* messages) { messages_ = messages; }
    void SetSaveFileDialog(SaveFileDialog dialog) { saveDialog_ = std::move(dialog); }
    void SetMenuRunner(MenuRunner runner) { menuRunner_ = std::move(runner); }

    // View fitting. Ranges without extent, or a plot of no size, keep the view.
    // Both false, changing nothing, when the view cannot show the range.
    bool FitToRange(double maxY, double minY, double minX, double maxX);
    bool ZoomToRange(double x1, double x2, double y1, double y2);  // also the home range
    void ZoomToFit();
    void ResetContainer();
    void EnsurePointVisible(int id, double x, double y);

    // View state.
    const chart::ui::ViewMapping& Mapping() const { return mapping_; }
    void SetMapping(const chart::ui::ViewMapping& mapping);
    const chart::ui::DataRange& HomeRange() const { return home_; }
    Layout CurrentLayout() const;

    // Selection of an x range (start may be larger than end).
    bool HasSelection() const { return selectionExists_; }
    double SelectionStart() const { return selectionStart_; }
    double SelectionEnd() const { return selectionEnd_; }
    void SetSelection(double start, double end);
    void ClearSelection();

    bool IsTracking() const { return tracking_; }
    void SetTracking(bool on);
    // Puts the cross-hair where the mouse would be, in client pixels.
    void SetLastMousePos(const QPoint& pos);

    bool IsPanning() const { return drag_ & kDragPan; }
    // A paint for appended points is waiting for the next frame.
    bool FramePending() const { return frameTimer_.isActive(); }
    bool IsSelecting() const { return drag_ & kDragSelect; }
    bool IsZoomBoxing() const { return drag_ & kDragZoomBox; }
    int CaptureCount() const { return captureCount_; }

    // The visible chart whose curve passes within 5 pixels, or -1.
    int ChartAt(const QPointF& pos) const;

    // Context menus and their commands.
    std::vector<chart::ui::MenuItem> ChartMenu(int chartId) const;
    std::vector<chart::ui::MenuItem> ContainerMenu() const;
    void OpenChartMenu(int chartId, const QPoint& globalPos);
    void OpenContainerMenu(const QPoint& globalPos);
    void RunCommand(int id);
    int ContextChartId() const { return contextChartId_; }

    // One tick of the 100 ms timer that scrolls while a drag holds the mouse
    // outside the plot.
    void AutoScrollTick();
    const chart::ui::LabelBoxes& Boxes() const { return canvas_.Boxes(); }

    // Drawn over the curves and under the label boxes, clipped to the plot,
    // at every paint: guides and reference curves that are no charts of the
    // set, so they are never saved, listed or selected. Empty removes it.
    using Decoration = ChartCanvas::Decoration;
    void SetDecoration(Decoration decoration);
    bool HasDecoration() const { return canvas_.HasDecoration(); }

    // The whole frame (background and overlay) for the current state at a
    // device pixel ratio, as the window would show it.
    QImage RenderFrame(qreal devicePixelRatio);
    // Where the last background drawing put its tick labels, client pixels.
    const std::vector<QRectF>& TickLabelRects() const { return canvas_.TickLabelRects(); }
    // How often the background layer was drawn (the cache's hit rate).
    int BackgroundDrawCount() const { return canvas_.BackgroundDrawCount(); }
    // How often it was brought up to date in part, and how many device
    // columns of the plot the last of those drew.
    int PartialDrawCount() const { return canvas_.PartialDrawCount(); }
    int LastPartialColumns() const { return canvas_.LastPartialColumns(); }

signals:
    // A "Show/Hide" item toggled an existing chart; visible means shown and
    // with points.
    void ChartVisibilityToggled(int chartId, bool visible);

protected:
    void paintEvent(QPaintEvent* event) override;
    // Asks for a paint at the next frame, unless one is asked for already or
    // the control cannot be seen (showing it paints it whole anyway).
    void ScheduleFrame();
    void PaintChanges();
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    ChartWidget(std::unique_ptr<chart::ChartSet> own, chart::ChartSet* shown, QWidget* parent,
                platform::MessageBox* messages);

    enum DragFlag : unsigned { kDragPan = 1, kDragSelect = 2, kDragZoomBox = 4 };

    void Observe(chart::ChartSet& set);
    void OnModelRedraw(unsigned flags);
    void ViewChanged();
    void ApplyMapping(const chart::ui::ViewMapping& m);
    chart::ui::ChartViewState ViewState() const;

    // Interaction.
    void BeginDrag(DragFlag flag);
    void EndDrag(DragFlag flag);
    void UpdateCursor();
    void LeftPress(QMouseEvent* event);
    void RightRelease(QMouseEvent* event);
    void MoveBy(double dx, double dy);

    // Commands.
    int RunMenu(const std::vector<chart::ui::MenuItem>& items, const QPoint& globalPos);
    void HideContextChart();
    void ToggleContextChartPoints();
    void SaveCharts();
    void ShowHideChart(int id);
    void ShowError(const std::wstring& text);

    std::unique_ptr<chart::ChartSet> ownSet_;  // none while a set owned elsewhere is shown
    chart::ChartSet* set_;
    chart::RedrawListenerId listener_ = 0;
    ChartCanvas canvas_;

    platform::MessageBox* messages_ = nullptr;
    SaveFileDialog saveDialog_;
    MenuRunner menuRunner_;

    chart::ui::ViewMapping mapping_;
    chart::ui::DataRange home_;
    unsigned drag_ = 0;
    QPoint panPressGlobal_;
    chart::ui::ViewMapping panStart_;
    bool selectionExists_ = false;
    double selectionStart_ = 0.0;
    double selectionEnd_ = 0.0;
    double zoomAnchorX_ = 0.0;
    double zoomAnchorY_ = 0.0;
    int captureCount_ = 0;
    QPoint lastMouse_;
    bool tracking_ = false;
    int contextChartId_ = -1;
    QTimer autoScroll_;
    // A live record appends points many times a second; its repaints wait
    // for this, so that the control paints at most once per frame of the
    // screen, and not at all while it cannot be seen.
    QTimer frameTimer_;

    bool legendHand_ = false;  // the mouse is over a legend row
};

}  // namespace chart::ui
