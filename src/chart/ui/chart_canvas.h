#pragma once
// The chart control's picture without a window: the grid, the tick labels
// and the curves of a chart set drawn into a cached background image, and
// over a copy of it the selection, the cross-hair, the zoom rectangle, a
// decoration and the label boxes. The chart control paints what this draws;
// `calveroctl chart render` and the report PDF draw with it alone, so that
// they need the GUI library only and never a widget.
//
// The background is redrawn whole only when it went stale (MarkStale), the
// image's size or pixel ratio changed, or the view changed otherwise than
// below. Where the view only moved sideways by whole logical pixels (a view
// that follows live data, at a whole pixel ratio) or points were appended,
// and every curve in sight is one that can be drawn in part (a dense solid
// line reduced to columns, see DrawsInPart), the plot is scrolled as a
// strip-chart recorder moves its paper and only the columns that came into
// sight or whose curves changed are drawn anew; the tick labels below the
// plot are drawn again. The picture equals a whole drawing of the same view
// pixel for pixel.
//
// One thread at a time, like its chart set.

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QSize>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "chart/chart_set.h"
#include "chart/ui/chart_grid.h"
#include "chart/ui/chart_view_math.h"
#include "chart/ui/view_mapping.h"

class QPainter;

namespace chart::ui {

class LabelBoxes;

// What a frame shows of the view besides the data.
struct ChartViewState {
    ViewMapping mapping;
    bool selectionExists = false;
    double selectionStart = 0.0;  // data x, in the order dragged
    double selectionEnd = 0.0;
    bool tracking = false;
    QPoint mouse;  // client pixels: the cross-hair and the zoom rectangle's corner
    bool zoomBoxing = false;
    double zoomAnchorX = 0.0;  // data point where the zoom rectangle began
    double zoomAnchorY = 0.0;
    // While the view is dragged the background is drawn without
    // anti-aliasing, which keeps the drag smooth.
    bool panning = false;
};

class ChartCanvas {
public:
    // Where the plot and the tick labels lie for a view and a size.
    struct Layout {
        TickStep ticksX;
        TickStep ticksY;
        double xLabelRowHeight = 0.0;
        double yLabelColumnWidth = 0.0;
        PlotRect plot;
        VisibleRange visible;
    };

    // Drawn over the curves and under the label boxes, clipped to the plot,
    // at every frame: guides and reference curves that are no charts of the
    // set, so they are never saved, listed or selected.
    using Decoration =
        std::function<void(QPainter& painter, const ViewMapping& mapping, const QRectF& plot)>;

    explicit ChartCanvas(const chart::ChartSet& set);
    ~ChartCanvas();
    ChartCanvas(const ChartCanvas&) = delete;
    ChartCanvas& operator=(const ChartCanvas&) = delete;

    // Draws another set from now on; the background goes stale.
    void SetSet(const chart::ChartSet& set);
    const chart::ChartSet& Set() const { return *set_; }

    // The font of the tick labels (and of the label boxes).
    void SetFont(const QFont& font);
    const QFont& Font() const { return font_; }
    // Text in the images takes the size it has on a screen of this many dots
    // per inch.
    void SetLogicalDpi(int x, int y);
    // The primary screen's, so that a picture drawn without a widget looks as
    // the chart control draws itself there; unchanged without a screen.
    void UsePrimaryScreenDpi();

    Layout ComputeLayout(const ViewMapping& mapping, QSize client) const;
    // The view that shows `range` whole in a picture of `client` pixels; none
    // when it cannot (no extent, no room, spans beyond the numbers).
    std::optional<ViewMapping> FitRange(const DataRange& range, QSize client) const;
    // "Zoom to fit": the view of every finite point of the set; none when
    // there is none or it cannot be shown.
    std::optional<ViewMapping> FitAll(QSize client) const;

    void MarkStale() { stale_ = true; }
    // Drops the cached images (their memory too); the next frame draws anew.
    void Discard();

    // Brings the background up to date for `state` without composing a
    // frame, and tells which part of the picture that changed (client
    // pixels): all of it after a whole drawing, the columns drawn anew after
    // a partial one (the whole plot and its labels where it scrolled), none
    // where nothing changed.
    QRect UpdatePicture(QSize client, qreal devicePixelRatio, const ChartViewState& state);

    // The whole frame for `state` at a device pixel ratio. The image is
    // reused between calls: copy it to keep it.
    QImage RenderFrame(QSize client, qreal devicePixelRatio, const ChartViewState& state);

    void SetDecoration(Decoration decoration) { decoration_ = std::move(decoration); }
    bool HasDecoration() const { return static_cast<bool>(decoration_); }

    LabelBoxes& Boxes() { return *boxes_; }
    const LabelBoxes& Boxes() const { return *boxes_; }
    // Layout and tick labels (client pixels) of the last background drawing.
    const Layout& LastLayout() const { return layout_; }
    const std::vector<QRectF>& TickLabelRects() const { return tickLabels_; }
    // How often the background was drawn whole (the cache's hit rate).
    int BackgroundDrawCount() const { return backgroundDraws_; }
    // How often it was brought up to date in part, and how many device
    // columns of the plot the last of those drew (the rest was kept).
    int PartialDrawCount() const { return partialDraws_; }
    int LastPartialColumns() const { return lastPartialColumns_; }

private:
    // What the background shows of a chart, to tell later which part of it
    // an append or a scroll changed.
    struct DrawnChart {
        int id = 0;
        bool visible = false;
        size_t points = 0;
        int drawing = 0;  // CurveDrawing
    };

    const QImage& Background(QSize client, qreal dpr, const ChartViewState& state);
    void DrawBackground(QImage& image, QSize client, const ChartViewState& state);
    bool UpdateBackground(QImage& image, QSize client, const ChartViewState& state);
    // The plot's contents inside `area` (client pixels, within the plot):
    // grid, axis, zero lines and curves; fills the area first if asked.
    std::vector<DrawnChart> DrawPlot(QPainter& p, const QRectF& area, const ViewMapping& mapping,
                                     bool fill, bool panning);
    void DrawXLabels(QPainter& p, const QFontMetricsF& fm, const ViewMapping& mapping, double w);
    void DrawOverlay(QPainter& p, QSize client, const ChartViewState& state);

    const chart::ChartSet* set_;
    QFont font_;
    int dpiX_ = 96;
    int dpiY_ = 96;
    QImage background_;
    QImage frame_;  // background copy plus overlay, reused between frames
    bool stale_ = true;
    int backgroundDraws_ = 0;
    int partialDraws_ = 0;
    int lastPartialColumns_ = 0;
    QRect changed_;  // client pixels the last Background call changed
    Layout layout_;
    std::vector<QRectF> tickLabels_;
    size_t yTickLabels_ = 0;  // the first of tickLabels_ are the rows'
    // The view the background shows, and its charts.
    ViewMapping drawnMapping_;
    bool drawnPanning_ = false;
    std::vector<DrawnChart> drawnCharts_;
    std::unique_ptr<LabelBoxes> boxes_;
    Decoration decoration_;
};

}  // namespace chart::ui
