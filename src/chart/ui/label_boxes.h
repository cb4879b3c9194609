#pragma once
// The chart control's four label boxes (tracking, selection, statistics,
// legend): when each is rebuilt, how it is filled from the model, where it
// goes along the right edge, and what a press, a double click or hovering
// over it means. The container owns one LabelBoxes and
//  - forwards the model's redraw flags (and its own: tracking moved, the
//    selection changed) to MarkDirty;
//  - calls Paint with the frame painter as the last overlay step;
//  - asks OnLeftPress / BlocksDoubleClick / OnHover from its mouse handlers
//    and applies what they return (select a chart, repaint, hand cursor).
// The filling functions are free so that tests can check them without a window.
//
// Window thread only.

#include <QFont>
#include <QPoint>
#include <QSize>

#include <vector>

#include "chart/chart_set.h"
#include "chart/ui/legend.h"
#include "chart/ui/view_mapping.h"

class QPainter;

namespace chart::ui {

// What the boxes need to know of the container for one paint.
struct LabelBoxContext {
    const chart::ChartSet* model = nullptr;
    QSize client;               // client area, logical pixels
    float xLabelRowHeight = 0;  // the legend keeps 25 pixels above the x tick labels
    bool selectionExists = false;
    double selectionStart = 0;  // data x, in the order dragged
    double selectionEnd = 0;
    bool tracking = false;
    double trackX = 0;  // data coordinates of the last mouse position
    double trackY = 0;
};

// The charts a statistics or tracking box lists: the selected charts if any
// chart is selected, else every visible chart with points; in id order.
std::vector<const chart::ChartSeries*> LabelRowCharts(const chart::ChartSet& model);

// The colour a chart's name is written in on the pale boxes: the chart's
// colour where it reads well enough (contrast 4.5 : 1), else the same hue
// darkened until it does, opaque.
uint32_t ReadableTextColor(uint32_t argb);

// At most `maxRows` rows (header included); when the charts need more, the
// last row says "+N more" instead of a chart.
constexpr int kAllRows = 1 << 30;

void FillSelectionBox(Legend& box, const chart::ValueFormatter& x, double start, double end);
void FillStatisticsBox(Legend& box, const chart::ChartSet& model, double start, double end,
                       int maxRows = kAllRows);
void FillTrackingBox(Legend& box, const chart::ChartSet& model, double x, double y,
                     int maxRows = kAllRows);
// hoveredChart: id of the chart whose row is underlined, or -1.
void FillLegend(Legend& box, const chart::ChartSet& model, int hoveredChart);

enum class LabelBox { kNone, kTracking, kSelection, kStatistics, kLegend };

struct LabelBoxHit {
    LabelBox box = LabelBox::kNone;
    int row = -1;  // a cell, when both are >= 0
    int column = -1;
    int chartId = -1;  // legend cells: the row's chart
};

// A left press on the boxes. When consumed the container does nothing else
// with the press; a chartId >= 0 asks it to SetChartSelected(chartId, select).
struct LabelPress {
    bool consumed = false;
    int chartId = -1;
    bool select = false;
};

// Hovering: repaint when the hovered legend chart changed (the legend is
// then dirty already); the hand cursor while a legend chart is hovered.
struct LabelHover {
    bool repaint = false;
    bool handCursor = false;
};

class LabelBoxes {
public:
    LabelBoxes();

    // The model's RedrawFlags: the boxes named are rebuilt at their next drawing.
    void MarkDirty(unsigned redrawFlags);

    // Places and draws the boxes that are due; the legend only when the model's
    // legend switch is on, there are charts, and it fits below the other boxes.
    void Paint(QPainter& frame, const LabelBoxContext& context);
    // A frame without boxes: none of them is shown, so none is hit.
    void Hide();

    LabelBoxHit HitTest(QPoint client) const;
    LabelPress OnLeftPress(QPoint client, const chart::ChartSet& model) const;
    // True when a double click there must not "Zoom to fit".
    bool BlocksDoubleClick(QPoint client) const;
    // A mouse move with no drag in progress.
    LabelHover OnHover(QPoint client, const chart::ChartSet& model);

    int HoveredLegendChart() const { return hoveredChart_; }
    void SetFont(const QFont& font);

    const Legend& Tracking() const { return tracking_; }
    const Legend& Selection() const { return selection_; }
    const Legend& Statistics() const { return statistics_; }
    const Legend& LegendBox() const { return legend_; }

private:
    void Place(QPainter& frame, Legend& box, QPoint position);
    void RenderIfDirty(QPainter& frame, Legend& box);
    void FitRows(QPainter& frame, const LabelBoxContext& context);

    Legend tracking_;
    Legend selection_;
    Legend statistics_;
    Legend legend_;
    int hoveredChart_ = -1;
    // Rows the tracking and statistics boxes were last filled with at most.
    int trackingRows_ = kAllRows;
    int statisticsRows_ = kAllRows;
    bool selectionFits_ = true;
    // What the dirty boxes are filled from at the next paint.
    LabelBoxContext last_;
};

}  // namespace chart::ui
