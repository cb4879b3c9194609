#pragma once
// Chart XML files: a Charts element holding one Chart element per chart and
// one Data element per point, read into and written from a chart model.
// Failures come back as the text shown to the operator.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "chart/point_store.h"

namespace chart {

class ChartSet;

// Writes the charts of `ids` that have points to a chart XML file.
bool SaveChartsXml(const ChartSet& model, const std::wstring& path, const std::set<int>& ids,
                   std::wstring& error);
// What a chart file keeps of one chart: its style and its points.
struct SavedChart {
    std::wstring name;
    std::wstring yLabel;
    int32_t dashStyle = 0;
    float penWidth = 1.0f;
    float tension = 0.0f;
    uint32_t color = 0;
    PointsView points;
};
// Writes the charts that have points, in the order given, to a chart XML
// file. Reads nothing but `charts`, so it may run on any thread.
bool SaveChartsXml(const std::vector<SavedChart>& charts, const std::wstring& path,
                   std::wstring& error);
// Adds every chart of a chart XML file to the model as a new chart; ids
// receives their ids.
bool LoadChartsXml(ChartSet& model, const std::wstring& path, std::set<int>& ids,
                   std::wstring& error);

}  // namespace chart
