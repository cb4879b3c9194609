#pragma once
// Chart XML files: a Charts element holding one Chart element per chart and
// one Data element per point, read into and written from a chart model.
// Failures come back as the text shown to the operator.

#include <set>
#include <string>

namespace chart {

class CChartContainerModel;

// Writes the charts of `ids` that have points to a chart XML file.
bool SaveChartsXml(const CChartContainerModel& model, const std::wstring& path,
                   const std::set<int>& ids, std::wstring& error);
// Adds every chart of a chart XML file to the model as a new chart; ids
// receives their ids.
bool LoadChartsXml(CChartContainerModel& model, const std::wstring& path, std::set<int>& ids,
                   std::wstring& error);

}  // namespace chart
