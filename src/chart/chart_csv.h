#pragma once
// Charts as CSV for spreadsheets: two columns per chart, its x and its y,
// side by side in id order, with a header row naming them. A chart's pair of
// columns can be selected and plotted as it is, and the channel charts of a
// bake record, which share their x values, line up row by row. Charts of
// different lengths leave the cells below their last point empty; charts
// without points are left out.

#include <set>
#include <string>

#include "chart/chart_set.h"

namespace chart {

// The CSV text (UTF-8, one line per row) of the
// charts of `ids` that have points.
std::string ChartsCsv(const ChartSet& model, const std::set<int>& ids);

// The same written to a file, replaced only once it is completely written.
// False with `error` set when it cannot be written.
bool SaveChartsCsv(const ChartSet& model, const std::set<int>& ids, const std::wstring& path,
                   std::wstring& error);

}  // namespace chart
