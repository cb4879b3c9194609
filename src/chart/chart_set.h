#pragma once
// The chart control's data: its table of charts in id order, the selected
// set, the value formatters and the legend switch, with every operation that
// needs no window. Where a view repaints, the set reports which drawing
// layers went stale to every listener registered with it: a set may be
// owned by a document and shown by one or more chart controls.
//
// Used on the window thread only; there is no locking.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>

#include "chart/chart_series.h"
#include "chart/chart_xml_format.h"

namespace chart {

// Drawing layers and label boxes that an operation leaves stale.
enum RedrawFlags : unsigned {
    kRedrawBackground = 1u << 0,
    kRedrawSelectionBox = 1u << 1,
    kRedrawStatisticsBox = 1u << 2,
    kRedrawTrackingBox = 1u << 3,
    kRedrawLegend = 1u << 4,
    // Points were appended: a live record, whose repaints wait for the next frame.
    kRedrawPointsAppended = 1u << 5,
};

// Called once per operation that needs a repaint, with the stale layers (0
// when only a repaint is due).
using RedrawListener = std::function<void(unsigned flags)>;
// Names a registered listener for its removal; 0 is never handed out.
using RedrawListenerId = unsigned;

// General notation with three significant digits, as "%.3g" in the C locale:
// 100 -> "100", 0.5 -> "0.5", 1234 -> "1.23e+03".
std::wstring DefaultValueFormatter(double value);

// The label of a grid line at `value` on an axis whose grid lines lie `step`
// apart: as many decimals as the step has (none for whole steps), so that
// neighbouring lines never read alike, in fixed notation below 1e7, down to
// millionths and within ten digits; beyond that in scientific notation with
// as many significant digits as the step needs at that magnitude. A step that is not a positive
// number gives the default formatter's text.
std::wstring FormatTickValue(double value, double step);

class ChartSet {
public:
    using ChartTable = std::map<int, std::unique_ptr<ChartSeries>>;

    static constexpr size_t kMaxNameLength = 18;

    ChartSet();

    // Creates a chart; its id, or -1 when it cannot be entered in the table.
    int AddChart(std::span<const ChartPoint> points, const std::wstring& name,
                 const std::wstring& yLabel, int dashStyle, float penWidth, float tension,
                 uint32_t color);
    bool AppendChartPoints(int id, std::span<const ChartPoint> points);
    void ClearChartPoints(int id);

    ChartSeries* FindChart(int id);
    const ChartSeries* FindChart(int id) const;
    ChartSeries* FindChartByName(const std::wstring& name);
    // The chart if it is visible and has points; id -1: the first such chart.
    ChartSeries* GetVisibleChart(int id);
    const ChartSeries* GetVisibleChart(int id) const;

    void GetChartIds(std::set<int>& ids) const;
    void GetSelectedChartIds(std::set<int>& ids) const;
    void SetChartSelected(int id, bool selected);
    // New visibility (1 shown, 0 hidden), or -1 for an unknown id.
    int ToggleChartVisibility(int id);
    bool HasChartData() const;

    void SetXValueFormatter(ValueFormatter formatter);
    void SetYValueFormatter(ValueFormatter formatter);
    const ValueFormatter& XValueFormatter() const { return xFormatter_; }
    const ValueFormatter& YValueFormatter() const { return yFormatter_; }
    // Labels of the grid lines `step` apart. The default formatter's three
    // digits would label neighbouring lines alike ("4e+03" for 3950, 4000 and
    // 4050): FormatTickValue instead. Another formatter's text stays, but its
    // number gets the decimals the step needs where it has fewer (never
    // fewer than the formatter gives nearby), so that deep zooms and tiny
    // values do not read "110.591" three times or "0" everywhere. The label
    // boxes show the formatter's own text.
    std::wstring XTickLabel(double value, double step) const;
    std::wstring YTickLabel(double value, double step) const;

    void SetLegendVisible(bool visible);
    bool IsLegendVisible() const { return legendVisible_; }

    // The chart XML format of chart_xml_format.h, for callers that hold a model.
    bool SaveChartsXml(const std::wstring& path, const std::set<int>& ids,
                       std::wstring& error) const {
        return chart::SaveChartsXml(*this, path, ids, error);
    }
    bool LoadChartsXml(const std::wstring& path, std::set<int>& ids, std::wstring& error) {
        return chart::LoadChartsXml(*this, path, ids, error);
    }

    void RedrawAll();
    // Listeners are called in the order they were added. A listener that
    // goes before the set removes itself; none adds or removes a listener
    // from inside a call.
    RedrawListenerId AddRedrawListener(RedrawListener listener);
    void RemoveRedrawListener(RedrawListenerId id);
    // Tells every listener that these layers went stale, for a change made
    // to a chart in place (its markers shown, say).
    void Redraw(unsigned flags);

    const ChartTable& Charts() const { return charts_; }
    const std::set<int>& SelectedIds() const { return selectedIds_; }

private:
    // The reader adds charts under ids of the model's choosing.
    friend bool LoadChartsXml(ChartSet& model, const std::wstring& path, std::set<int>& ids,
                              std::wstring& error);

    // Largest id + 1, 0 for an empty table; -1 when the ids are exhausted.
    int NextId() const;
    unsigned LegendIfShown() const { return legendVisible_ ? kRedrawLegend : 0u; }

    ChartTable charts_;
    std::set<int> selectedIds_;  // exactly the ids of the charts whose selected flag is set
    ValueFormatter xFormatter_;
    ValueFormatter yFormatter_;
    bool legendVisible_ = false;
    std::map<RedrawListenerId, RedrawListener> listeners_;
    RedrawListenerId lastListenerId_ = 0;
};

}  // namespace chart
