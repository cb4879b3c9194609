#include "chart/chart_container_model.h"

#include <charconv>
#include <climits>
#include <utility>

namespace chart {

std::wstring DefaultValueFormatter(double value) {
    char buf[64];
    // to_chars formats as printf does in the C locale, whatever locale the
    // program runs in.
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 3);
    return std::wstring(buf, r.ptr);
}

CChartContainerModel::CChartContainerModel()
    : xFormatter_(DefaultValueFormatter), yFormatter_(DefaultValueFormatter) {}

int CChartContainerModel::NextId() const {
    if (charts_.empty())
        return 0;
    const int last = charts_.rbegin()->first;
    return last == INT_MAX ? -1 : last + 1;
}

void CChartContainerModel::Redraw(unsigned flags) {
    if (listener_)
        listener_(flags);
}

void CChartContainerModel::RedrawAll() {
    Redraw(kRedrawBackground | kRedrawSelectionBox | kRedrawStatisticsBox | kRedrawTrackingBox |
           LegendIfShown());
}

int CChartContainerModel::AddChart(std::span<const ChartPoint> points, const std::wstring& name,
                                   const std::wstring& yLabel, int dashStyle, float penWidth,
                                   float tension, uint32_t color) {
    const int id = NextId();
    if (id < 0)
        return -1;
    auto series = std::make_unique<CChartSeries>();
    series->id = id;
    if (name.empty()) {
        series->name = L"Chart_" + std::to_wstring(id);
    } else {
        series->name = name.size() > kMaxNameLength ? name.substr(0, 15) + L"..." : name;
        if (FindChartByName(series->name))
            series->name += L"_" + std::to_wstring(id);
    }
    series->yLabel = yLabel.empty() ? L"Y" : yLabel;
    series->dashStyle = dashStyle;
    series->penWidth = penWidth;
    series->tension = tension;
    series->color = color;
    series->SetPoints(points);
    charts_.emplace(id, std::move(series));
    Redraw(kRedrawBackground | LegendIfShown());
    return id;
}

bool CChartContainerModel::AppendChartPoints(int id, std::span<const ChartPoint> points) {
    CChartSeries* series = FindChart(id);
    if (!series || !series->AppendPoints(points))
        return false;
    Redraw(kRedrawSelectionBox | kRedrawStatisticsBox | kRedrawBackground);
    return true;
}

void CChartContainerModel::ClearChartPoints(int id) {
    CChartSeries* series = FindChart(id);
    if (!series)
        return;
    series->ClearPoints();
    RedrawAll();
}

CChartSeries* CChartContainerModel::FindChart(int id) {
    const auto it = charts_.find(id);
    return it == charts_.end() ? nullptr : it->second.get();
}

const CChartSeries* CChartContainerModel::FindChart(int id) const {
    const auto it = charts_.find(id);
    return it == charts_.end() ? nullptr : it->second.get();
}

CChartSeries* CChartContainerModel::FindChartByName(const std::wstring& name) {
    for (auto& [id, series] : charts_) {
        if (series->name == name)
            return series.get();
    }
    return nullptr;
}

const CChartSeries* CChartContainerModel::GetVisibleChart(int id) const {
    auto usable = [](const CChartSeries& s) { return s.visible && s.HasPoints(); };
    if (id == -1) {
        for (const auto& [key, series] : charts_) {
            if (usable(*series))
                return series.get();
        }
        return nullptr;
    }
    const CChartSeries* series = FindChart(id);
    return series && usable(*series) ? series : nullptr;
}

CChartSeries* CChartContainerModel::GetVisibleChart(int id) {
    return const_cast<CChartSeries*>(std::as_const(*this).GetVisibleChart(id));
}

void CChartContainerModel::GetChartIds(std::set<int>& ids) const {
    ids.clear();
    for (const auto& [id, series] : charts_) ids.insert(id);
}

void CChartContainerModel::GetSelectedChartIds(std::set<int>& ids) const {
    ids.clear();
    for (const auto& [id, series] : charts_) {
        if (series->selected)
            ids.insert(id);
    }
}

void CChartContainerModel::SetChartSelected(int id, bool selected) {
    if (CChartSeries* series = GetVisibleChart(id)) {
        series->selected = selected;
        if (selected) {
            selectedIds_.insert(series->id);
        } else {
            selectedIds_.erase(series->id);
        }
    }
    RedrawAll();
}

int CChartContainerModel::ToggleChartVisibility(int id) {
    CChartSeries* series = FindChart(id);
    if (!series)
        return -1;
    series->visible = !series->visible;
    if (!series->visible && series->selected) {
        series->selected = false;
        selectedIds_.erase(id);
    }
    Redraw(LegendIfShown() | kRedrawSelectionBox | kRedrawStatisticsBox);
    return series->visible ? 1 : 0;
}

bool CChartContainerModel::HasChartData() const {
    for (const auto& [id, series] : charts_) {
        if (series->HasPoints())
            return true;
    }
    return false;
}

void CChartContainerModel::SetXValueFormatter(ValueFormatter formatter) {
    // An empty function would fail at the first value shown.
    xFormatter_ = formatter ? std::move(formatter) : DefaultValueFormatter;
    Redraw(kRedrawBackground | LegendIfShown());
}

void CChartContainerModel::SetYValueFormatter(ValueFormatter formatter) {
    yFormatter_ = formatter ? std::move(formatter) : DefaultValueFormatter;
    Redraw(kRedrawBackground | LegendIfShown());
}

void CChartContainerModel::SetLegendVisible(bool visible) {
    legendVisible_ = visible;
    Redraw(kRedrawLegend);
}

}  // namespace chart
