// calveroctl chart: inspect, export and prepare chart XML files.
//
//   chart info FILE          one line per chart: id, name, Y label, points, minX, maxX, minY, maxY
//   chart csv FILE           an x and a y column per chart, a header row naming them
//   chart stats FILE FROM TO name and the eight statistics of each chart with points
//   chart from-csv IN.csv OUT.xml [--name NAME] [--ylabel LABEL]
//
// Columns are tab-separated. A file that cannot be read is named with the
// reason; failures print on standard error and exit with 1, a wrong command
// line exits with 2.

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "chart/chart_csv.h"
#include "chart/chart_set.h"
#include "chart/chart_statistics.h"
#include "cli/chart_render_command.h"
#include "cli/chart_report_command.h"
#include "cli/command_io.h"
#include "cli/command_registry.h"
#include "platform/text_conversion.h"
#include "xml/xml_error.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

std::string ChartUsage() {
    return std::string(
               "usage: calveroctl chart info FILE\n"
               "       calveroctl chart csv FILE\n"
               "       calveroctl chart stats FILE FROM TO\n"
               "       calveroctl chart from-csv IN.csv OUT.xml [--name NAME] [--ylabel LABEL]\n"
               "       calveroctl ") +
           cli::kChartRenderUsage + "\n";
}

int Usage(const char* message) {
    std::fprintf(stderr, "calveroctl chart: %s\n%s", message, ChartUsage().c_str());
    return kUsage;
}

int Fail(const std::wstring& text) {
    std::fprintf(stderr, "%s\n", platform::WideToUtf8(text).c_str());
    return kFailed;
}

std::wstring Wide(const std::string& s) {
    std::wstring w;
    if (!platform::Utf8ToWide(s, w))
        w.assign(s.begin(), s.end());  // bytes as they are
    return w;
}

// Names go into tab-separated lines: a tab or line break of a name (a chart
// file may hold anything) must not split its line.
std::string Field(const std::wstring& text) {
    std::string s = platform::WideToUtf8(text);
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return s;
}

// As the chart view shows values: "0" below 0.001 in magnitude, otherwise
// three decimals.
std::string ViewValue(double v) {
    if (v > -0.001 && v < 0.001)
        return "0";
    char buf[400];
    std::snprintf(buf, sizeof buf, "%0.3lf", v);
    return buf;
}

std::string ViewValue(const std::optional<double>& v) {
    return v ? ViewValue(*v) : "-";
}

// The whole text must be a finite number (surrounding blanks allowed).
std::optional<double> ParseNumber(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);  // spreadsheets may quote numbers
    }
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

int RunInfo(const std::string& path) {
    chart::ChartSet model;
    if (!cli::LoadChartFile(path, model))
        return kFailed;
    for (const auto& [id, series] : model.Charts()) {
        const bool has = series->HasExtents();  // from finite points only
        cli::Print("%d\t%s\t%s\t%zu\t%s\t%s\t%s\t%s\n", id, Field(series->name).c_str(),
                   Field(series->yLabel).c_str(), series->Points().size(),
                   has ? ViewValue(series->MinX()).c_str() : "-",
                   has ? ViewValue(series->MaxX()).c_str() : "-",
                   has ? ViewValue(series->MinY()).c_str() : "-",
                   has ? ViewValue(series->MaxY()).c_str() : "-");
    }
    return 0;
}

int RunCsv(const std::string& path) {
    chart::ChartSet model;
    if (!cli::LoadChartFile(path, model))
        return kFailed;
    std::set<int> ids;
    model.GetChartIds(ids);
    cli::Write(chart::ChartsCsv(model, ids));
    return 0;
}

int RunStats(const std::string& path, const std::string& fromText, const std::string& toText) {
    const std::optional<double> from = ParseNumber(fromText), to = ParseNumber(toText);
    if (!from || !to)
        return Usage("FROM and TO must be numbers");
    chart::ChartSet model;
    if (!cli::LoadChartFile(path, model))
        return kFailed;
    for (const auto& [id, series] : model.Charts()) {
        if (!series->HasPoints())
            continue;
        const chart::ChartStatistics st = chart::ComputeChartStatistics(*series, *from, *to);
        cli::Print("%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", Field(series->name).c_str(),
                   ViewValue(st.start).c_str(), ViewValue(st.end).c_str(),
                   ViewValue(st.delta).c_str(), ViewValue(st.dvdt).c_str(),
                   ViewValue(st.min).c_str(), ViewValue(st.max).c_str(), ViewValue(st.avg).c_str(),
                   ViewValue(st.surface).c_str());
    }
    return 0;
}

int RunFromCsv(const std::vector<std::string>& args) {
    std::string in, out, name, yLabel;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--name" || args[i] == "--ylabel") {
            if (i + 1 >= args.size())
                return Usage("option needs a value");
            std::string& target = args[i] == "--name" ? name : yLabel;
            target = args[++i];
        } else if (in.empty()) {
            in = args[i];
        } else if (out.empty()) {
            out = args[i];
        } else {
            return Usage("too many arguments");
        }
    }
    if (in.empty() || out.empty())
        return Usage("from-csv needs IN.csv and OUT.xml");

    // A device or pipe would be read without end, and a pipe without a writer
    // would not even open; only regular files of a sane size are taken.
    std::error_code ec;
    const auto status = std::filesystem::status(in, ec);
    auto fileProblem = [&](const std::wstring& text) {
        cli::ReportFileProblem(in, platform::WideToUtf8(text));
        return kFailed;
    };
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return fileProblem(xml::XmlErrorText(xml::XmlError::kNotARegularFile));
    if (!ec && std::filesystem::is_regular_file(status) &&
        std::filesystem::file_size(in, ec) > xml::kMaxXmlFileBytes && !ec) {
        return fileProblem(xml::XmlErrorText(xml::XmlError::kFileTooLarge));
    }
    if (!cli::CheckReadable(in))
        return kFailed;
    std::ifstream file(in, std::ios::binary);
    if (!file)
        return fileProblem(xml::XmlErrorText(xml::XmlError::kFileNotFound));
    std::vector<chart::ChartPoint> points;
    std::string line;
    size_t lineNumber = 0;
    while (std::getline(file, line)) {
        ++lineNumber;
        if (lineNumber == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;  // blank line
        const size_t comma = line.find(',');
        std::optional<double> x, y;
        if (comma != std::string::npos) {
            x = ParseNumber(std::string_view(line).substr(0, comma));
            y = ParseNumber(std::string_view(line).substr(comma + 1));
        }
        if (x && y) {
            points.push_back({*x, *y});
            continue;
        }
        if (lineNumber == 1)
            continue;  // a header line
        std::fprintf(stderr, "%s:%zu: malformed line (expected two numbers x,y): %s\n", in.c_str(),
                     lineNumber, line.c_str());
        return kFailed;
    }
    if (file.bad()) {
        cli::ReportFileProblem(in, "cannot read");
        return kFailed;
    }
    if (points.empty()) {
        std::fprintf(stderr, "%s: no points\n", in.c_str());
        return kFailed;
    }

    chart::ChartSet model;
    const int id = model.AddChart(points, Wide(name), Wide(yLabel), 0,
                                  chart::ChartSeries().penWidth, 0.0f, 0xFF000000u);
    std::wstring error;
    if (id < 0 || !model.SaveChartsXml(Wide(out), {id}, error))
        return Fail(error);
    return 0;
}

int RunChart(const std::vector<std::string>& args) {
    if (args.empty())
        return Usage("missing subcommand");
    const std::string& sub = args[0];
    if (args.size() == 1 && (sub == "--help" || sub == "-h" || sub == "help")) {
        cli::Write(ChartUsage());
        return 0;
    }
    if (sub == "info" && args.size() == 2)
        return RunInfo(args[1]);
    if (sub == "csv" && args.size() == 2)
        return RunCsv(args[1]);
    if (sub == "stats" && args.size() == 4)
        return RunStats(args[1], args[2], args[3]);
    if (sub == "from-csv")
        return RunFromCsv(args);
    if (sub == "render")
        return cli::RunChartRender(args);
    if (sub == "report")
        return cli::RunChartReport(args);
    return Usage("unknown subcommand or wrong number of arguments");
}

}  // namespace

CALVERO_CLI_COMMAND("chart",
                    "chart info FILE\n"
                    "  calveroctl chart csv FILE\n"
                    "  calveroctl chart stats FILE FROM TO\n"
                    "  calveroctl chart from-csv IN.csv OUT.xml [--name NAME] [--ylabel LABEL]",
                    RunChart);
