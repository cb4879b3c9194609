// Arbitrary file bytes into LoadChartsXml, checked against a plain walk over
// the parsed tree (the loader reads through an element sink instead), then
// the statistics over the loaded charts and a save and reload.

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "chart/chart_set.h"
#include "chart/chart_statistics.h"
#include "memory_file.h"
#include "xml/xml_node.h"

namespace {

using fuzz_chart::Check;
using fuzz_chart::MemoryFile;

struct Expected {
    std::wstring name, yLabel;
    size_t points = 0;
};

const wchar_t* Text(const wchar_t* s) {
    return s ? s : L"";
}

// The charts a walk over the tree finds: the first Charts child of the
// returned node, its Chart children and their Data children.
bool ExpectedCharts(const uint8_t* data, size_t size, std::vector<Expected>& out) {
    xml::XmlResult r;
    const xml::XmlNode doc = xml::XmlNode::ParseBytes(data, size, &r);
    if (r.error != xml::XmlError::kNone)
        return false;
    int cursor = 0;
    const xml::XmlNode charts = doc.GetChildFrom(L"Charts", &cursor);
    if (charts.IsEmpty())
        return false;
    int chartCursor = 0;
    for (;;) {
        const xml::XmlNode c = charts.GetChildFrom(L"Chart", &chartCursor);
        if (c.IsEmpty())
            break;
        Expected e{Text(c.GetAttribute(L"Name")), Text(c.GetAttribute(L"Y_Label")), 0};
        int dataCursor = 0;
        while (!c.GetChildFrom(L"Data", &dataCursor).IsEmpty()) ++e.points;
        out.push_back(e);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const MemoryFile input, output;
    input.Fill(data, size);

    chart::ChartSet model;
    std::set<int> ids;
    std::wstring error;
    const bool loaded = model.LoadChartsXml(input.Path(), ids, error);

    std::vector<Expected> expected;
    Check(loaded == ExpectedCharts(data, size, expected));
    if (!loaded) {
        Check(!error.empty() && ids.empty() && model.Charts().empty());
        return 0;
    }
    Check(ids.size() == expected.size() && model.Charts().size() == expected.size());
    size_t i = 0;
    for (const auto& [id, series] : model.Charts()) {
        Check(series->name == expected[i].name && series->yLabel == expected[i].yLabel);
        Check(series->Points().size() == expected[i].points);
        Check(series->color != 0);
        const auto& points = series->Points();
        for (size_t k = 1; k < points.size(); ++k)
            Check(!chart::PointLess(points[k], points[k - 1]));
        if (!points.empty()) {
            const double a = series->MinX(), b = series->MaxX();
            for (double x : {a, b, (a + b) / 2, a - 1, b + 1}) {
                chart::ComputeChartStatistics(*series, a, x);
                chart::ComputeChartStatistics(*series, x, b);
                chart::ChartValueAt(*series, x);
            }
        }
        ++i;
    }

    // What was loaded saves, and loads again with the same charts that have points.
    if (!ids.empty()) {
        Check(model.SaveChartsXml(output.Path(), ids, error));
        chart::ChartSet again;
        std::set<int> againIds;
        Check(again.LoadChartsXml(output.Path(), againIds, error));
        size_t withPoints = 0;
        for (const auto& [id, series] : model.Charts()) withPoints += series->HasPoints();
        Check(againIds.size() == withPoints);
    }
    return 0;
}
