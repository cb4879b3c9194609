// calveroctl chart report FILE [--chart NAME] [--window pbfree|snpb|FILE]
//     [--json] [--pdf OUT.pdf] [--reference FILE]
//
// The metrics of one chart ("Temp Main" unless --chart names another) and,
// with --window, the verdict. --reference compares with the same chart of
// another record. Window files and the exit codes are described in the README.

#include "cli/chart_report_command.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "chart/chart_set.h"
#include "cli/command_io.h"
#include "cli/command_registry.h"
#include "platform/text_conversion.h"
#include "report/process_window.h"
#include "report/report_format.h"
#include "xml/xml_error.h"

#ifdef CALVERO_REPORT_PDF
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>

#include "chart/ui/chart_canvas.h"
#include "report/ui/report_guides.h"
#include "report/ui/report_pdf.h"
#endif

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kVerdictFail = 3;

#define CHART_REPORT_USAGE                                                                  \
    "chart report FILE [--chart NAME] [--window pbfree|snpb|FILE] [--json] [--pdf OUT.pdf]" \
    " [--reference FILE]\n"                                                                 \
    "             (exit 0: pass or no window, 3: fail, 1: unreadable file or no such chart)"

int Usage(const std::string& message) {
    std::fprintf(stderr, "calveroctl chart report: %s\nusage: calveroctl %s\n", message.c_str(),
                 CHART_REPORT_USAGE);
    return kUsage;
}

struct Options {
    std::string file;
    std::string chart = "Temp Main";
    std::string window;
    std::string pdf;
    std::string reference;
    bool json = false;
};

std::string Parse(const std::vector<std::string>& args, Options& o) {
    std::vector<std::string> positional;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return false;
            into = args[++i];
            return true;
        };
        if (a == "--chart") {
            if (!value(o.chart))
                return "--chart needs a chart name";
        } else if (a == "--window") {
            if (!value(o.window))
                return "--window needs pbfree, snpb or a window file";
        } else if (a == "--pdf") {
            if (!value(o.pdf))
                return "--pdf needs a file name";
        } else if (a == "--reference") {
            if (!value(o.reference))
                return "--reference needs a record file";
        } else if (a == "--json") {
            o.json = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return "unknown option " + a;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 1)
        return positional.empty() ? "needs FILE" : "takes one FILE";
    o.file = positional[0];
    return {};
}

std::wstring Wide(const std::string& s) {
    std::wstring w;
    if (!platform::Utf8ToWide(s, w))
        w.assign(s.begin(), s.end());
    return w;
}

// A window file is small; anything that is not a regular file of sane size
// is refused rather than read without end.
bool ReadWindowFile(const std::string& path, std::string& text, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = path + ": no such window file (nor pbfree or snpb)";
        return false;
    }
    if (std::filesystem::file_size(path, ec) > 65536 || ec) {
        error = path + ": too large for a window file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    text = s.str();
    return true;
}

#ifdef CALVERO_REPORT_PDF

void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// The bake's start from a record name (bake-YYYYMMDD-HHMMSS), else the
// file's last change.
QString RecordDate(const QString& path) {
    static const QRegularExpression name(QStringLiteral("bake-(\\d{8}-\\d{6})"));
    const auto m = name.match(QFileInfo(path).fileName());
    if (m.hasMatch()) {
        const QDateTime t = QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMdd-HHmmss"));
        if (t.isValid())
            return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    return QFileInfo(path).lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           QStringLiteral(" (file saved)");
}

int WritePdf(const Options& o, const report::Report& r, const chart::ChartSeries& series) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietQtMessages);
    int argc = 1;
    char name[] = "calveroctl";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    chart::ChartSet set;
    std::set<int> ids;
    std::wstring error;
    if (!set.LoadChartsXml(Wide(o.file), ids, error)) {
        std::fprintf(stderr, "%s\n", platform::WideToUtf8(error).c_str());
        return kFailed;
    }
    set.SetLegendVisible(true);
    // Drawn as the report pane's chart control draws it on this screen.
    const QSize size(780, 380);
    chart::ui::ChartCanvas canvas(set);
    canvas.UsePrimaryScreenDpi();
    chart::ui::ChartViewState view;
    std::optional<chart::ui::ViewMapping> mapping;
    // The judged chart fills the picture: a fan's RPM on the same axis would
    // squash the temperatures to a line.
    const std::vector<chart::ChartPoint> curve = report::ValuedPoints(series.Points().ToVector());
    if (curve.size() >= 2 && curve.back().x > curve.front().x) {
        double top = 0;
        for (const auto& p : curve) top = std::max(top, p.y);
        if (const chart::ChartSeries* profile = set.FindChartByName(L"Profile")) {
            for (const auto& p : report::ValuedPoints(profile->Points().ToVector()))
                top = std::max(top, p.y);
        }
        const double maxY = top > 0 ? top * 1.1 : 1;
        mapping = canvas.FitRange(
            {curve.front().x, curve.back().x, std::min(0.0, maxY), std::max(0.0, maxY)}, size);
    } else {
        mapping = canvas.FitAll(size);
    }
    if (mapping)
        view.mapping = *mapping;
    report::ui::Guides guides;
    guides.temperatures = r.window ? r.window->temperatures : report::LeadFreeWindow().temperatures;
    guides.curve = curve;
    canvas.SetDecoration(report::ui::MakeGuides(std::move(guides)));

    report::ui::ReportPdfPage page;
    const QString file = QString::fromStdString(o.file);
    page.record = QFileInfo(file).fileName();
    page.controller = QStringLiteral("not recorded in the file");
    page.date = RecordDate(file);
    page.chart = canvas.RenderFrame(size, 1.0, view);
    const std::vector<chart::ChartPoint> allPoints = series.Points().ToVector();
    page.curve = allPoints;
    page.report = &r;
    QString problem;
    if (!report::ui::WriteReportPdf(QString::fromStdString(o.pdf), page, problem)) {
        std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
        return kFailed;
    }
    return 0;
}

#endif

}  // namespace

namespace cli {

int RunChartReport(const std::vector<std::string>& args) {
    Options o;
    const std::string problem = Parse(args, o);
    if (!problem.empty())
        return Usage(problem);
#ifndef CALVERO_REPORT_PDF
    if (!o.pdf.empty())
        return Usage("--pdf is not in this build (it needs Qt)");
#endif

    std::optional<report::ProcessWindow> window;
    if (!o.window.empty()) {
        window = report::BuiltInWindow(o.window);
        if (!window) {
            std::string text, error;
            if (!ReadWindowFile(o.window, text, error) ||
                !(window = report::ParseWindow(text, o.window, error))) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return kFailed;
            }
        }
    }

    chart::ChartSet model;
    if (!cli::LoadChartFile(o.file, model))
        return kFailed;
    const chart::ChartSeries* series = model.FindChartByName(Wide(o.chart));
    if (!series) {
        std::fprintf(stderr, "%s: no chart named \"%s\"\n", o.file.c_str(), o.chart.c_str());
        return kFailed;
    }
    const chart::ChartSeries* profile = model.FindChartByName(L"Profile");

    chart::ChartSet referenceModel;
    const chart::ChartSeries* reference = nullptr;
    if (!o.reference.empty()) {
        if (!cli::LoadChartFile(o.reference, referenceModel))
            return kFailed;
        reference = referenceModel.FindChartByName(Wide(o.chart));
        if (!reference) {
            std::fprintf(stderr, "%s: no chart named \"%s\"\n", o.reference.c_str(),
                         o.chart.c_str());
            return kFailed;
        }
    }

    const report::Report r = report::MakeReport(
        o.chart, series->Points().ToVector(), window,
        profile ? profile->Points().ToVector() : std::vector<chart::ChartPoint>{},
        reference ? reference->Points().ToVector() : std::vector<chart::ChartPoint>{});
    const std::string out = o.json ? report::ReportJson(r) : report::ReportText(r);
    cli::Write(out);

#ifdef CALVERO_REPORT_PDF
    if (!o.pdf.empty()) {
        if (int rc = WritePdf(o, r, *series))
            return rc;
    }
#endif
    return r.verdict && !r.verdict->pass ? kVerdictFail : 0;
}

}  // namespace cli

namespace {

// Listed in --help beside the other chart subcommands; "chart" dispatches it.
int RunAsCommand(const std::vector<std::string>& args) {
    std::vector<std::string> all{"report"};
    all.insert(all.end(), args.begin(), args.end());
    return cli::RunChartReport(all);
}

}  // namespace

CALVERO_CLI_COMMAND("chart report", CHART_REPORT_USAGE, RunAsCommand);
