#include "chart/chart_csv.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/replacing_file.h"
#include "platform/system_error_text.h"
#include "platform/text_conversion.h"

namespace chart {

namespace {

// Quoted when it holds a separator, a quote or a line break.
std::string CsvField(const std::wstring& text) {
    std::string s = platform::WideToUtf8(text);
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string quoted = "\"";
    for (char c : s) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string Number(double v) {
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    return buf;
}

}  // namespace

std::string ChartsCsv(const ChartSet& model, const std::set<int>& ids) {
    std::vector<const ChartSeries*> charts;
    for (int id : ids) {
        const ChartSeries* s = model.FindChart(id);
        if (s && s->HasPoints())
            charts.push_back(s);
    }
    std::string out;
    size_t rows = 0;
    for (size_t i = 0; i < charts.size(); ++i) {
        if (i)
            out += ',';
        out += CsvField(charts[i]->name + L" x") + ',' +
               CsvField(charts[i]->name + L" " + charts[i]->yLabel);
        rows = std::max(rows, charts[i]->Points().size());
    }
    out += "\n";
    for (size_t r = 0; r < rows; ++r) {
        for (size_t i = 0; i < charts.size(); ++i) {
            if (i)
                out += ',';
            const auto& pts = charts[i]->Points();
            if (r < pts.size())
                out += Number(pts[r].x) + ',' + Number(pts[r].y);
            else
                out += ',';
        }
        out += "\n";
    }
    return out;
}

bool SaveChartsCsv(const ChartSet& model, const std::set<int>& ids, const std::wstring& path,
                   std::wstring& error) {
    // Made like a chart file: the old file stays whole until the new one is.
    platform::ReplacingFile file;
    if (file.Open(platform::WideToUtf8(path))) {
        const std::string text = ChartsCsv(model, ids);
        file.Write(text.data(), text.size());
        if (file.Commit())
            return true;
    }
    std::wstring reason;
    platform::Utf8ToWide(platform::SystemErrorText(file.Error()), reason);
    error = L"Unable to write " + path + L": " + reason;
    return false;
}

}  // namespace chart
