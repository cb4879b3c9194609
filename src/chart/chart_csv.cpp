#include "chart/chart_csv.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/text_conversion.h"

namespace chart {

namespace {

// Quoted when it holds a separator, a quote or a line break.
std::string CsvField(const std::wstring& text) {
    const std::string s = platform::WideToUtf8(text);
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

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string ChartsCsv(const CChartContainerModel& model, const std::set<int>& ids) {
    std::vector<const CChartSeries*> charts;
    for (int id : ids) {
        const CChartSeries* s = model.FindChart(id);
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

bool SaveChartsCsv(const CChartContainerModel& model, const std::set<int>& ids,
                   const std::wstring& path, std::wstring& error) {
    const std::string target = platform::WideToUtf8(path);
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    bool ok = fd >= 0;
    if (ok) {
        ok = WriteAll(fd, ChartsCsv(model, ids));
        ok = ::fsync(fd) == 0 && ok;
        ok = ::close(fd) == 0 && ok;
        ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    }
    if (ok)
        return true;
    const int e = errno;
    if (fd >= 0)
        ::unlink(temp.c_str());
    error = L"Unable to write " + path + L": ";
    std::wstring reason;
    platform::Utf8ToWide(std::strerror(e), reason);
    error += reason;
    return false;
}

}  // namespace chart
