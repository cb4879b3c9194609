// calveroctl chart render FILE OUT.png [--size WxH] [--range X1 X2 Y1 Y2]
//     [--legend] [--points] [--select X1 X2] [--track X Y]
//
// Without --range the view is "Zoom to fit"; --range sets the home range as a
// zoom box would. --select makes that selection (selection and statistics
// boxes), --track turns tracking on with the mouse at that data point,
// --legend shows the legend, --points markers on every chart. An unreadable
// file prints the reader's text and exits 1; a wrong command line exits 2.

#include "cli/chart_render_command.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_registry.h"

#ifdef CALVERO_CHART_RENDER
#include <QApplication>
#include <QImage>

#include "chart/ui/chart_container.h"
#include "platform/text_conversion.h"
#endif

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

#define CHART_RENDER_USAGE                                                               \
    "chart render FILE OUT.png [--size WxH] [--range X1 X2 Y1 Y2] [--legend] [--points]" \
    " [--select X1 X2] [--track X Y]"

int Usage(const char* message) {
    std::fprintf(stderr, "calveroctl chart render: %s\nusage: calveroctl %s\n", message,
                 CHART_RENDER_USAGE);
    return kUsage;
}

#ifdef CALVERO_CHART_RENDER

struct RenderOptions {
    std::string file;
    std::string out;
    int width = 800;
    int height = 600;
    std::optional<std::vector<double>> range;  // x1 x2 y1 y2
    std::optional<std::vector<double>> select;
    std::optional<std::vector<double>> track;
    bool legend = false;
    bool points = false;
};

std::optional<double> Number(const std::string& s) {
    if (s.empty())
        return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// Reads `count` numbers after args[i]; false when they are missing or bad.
bool Numbers(const std::vector<std::string>& args, size_t& i, size_t count,
             std::optional<std::vector<double>>& into) {
    if (i + count >= args.size())
        return false;
    std::vector<double> v;
    for (size_t k = 1; k <= count; ++k) {
        const auto n = Number(args[i + k]);
        if (!n)
            return false;
        v.push_back(*n);
    }
    i += count;
    into = std::move(v);
    return true;
}

bool Size(const std::string& s, int& w, int& h) {
    int consumed = 0;
    if (std::sscanf(s.c_str(), "%dx%d%n", &w, &h, &consumed) != 2)
        return false;
    return consumed == static_cast<int>(s.size()) && w > 0 && h > 0 && w <= 16384 && h <= 16384;
}

// Empty text when the command line is good, else what is wrong with it.
std::string Parse(const std::vector<std::string>& args, RenderOptions& o) {
    std::vector<std::string> positional;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--size") {
            if (i + 1 >= args.size() || !Size(args[++i], o.width, o.height))
                return "--size needs WxH, e.g. 800x600";
        } else if (a == "--range") {
            if (!Numbers(args, i, 4, o.range))
                return "--range needs four numbers";
        } else if (a == "--select") {
            if (!Numbers(args, i, 2, o.select))
                return "--select needs two numbers";
        } else if (a == "--track") {
            if (!Numbers(args, i, 2, o.track))
                return "--track needs two numbers";
        } else if (a == "--legend") {
            o.legend = true;
        } else if (a == "--points") {
            o.points = true;
        } else if (a.size() > 1 && a[0] == '-' && !Number(a)) {
            return "unknown option " + a;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2)
        return "needs FILE and OUT.png";
    o.file = positional[0];
    o.out = positional[1];
    return {};
}

std::wstring Wide(const std::string& s) {
    std::wstring w;
    if (!platform::Utf8ToWide(s, w))
        w.assign(s.begin(), s.end());
    return w;
}

// Qt's own warnings about the headless session (no runtime folder, no
// display) are noise here; the command reports its own failures.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

int Render(const RenderOptions& o) {
    // Headless whatever the session: the picture must not depend on a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietQtMessages);
    int argc = 1;
    char name[] = "calveroctl";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    CChartContainer chart;
    chart.resize(o.width, o.height);
    std::set<int> ids;
    std::wstring error;
    if (!chart.LoadChartsXml(Wide(o.file), ids, error)) {
        std::fprintf(stderr, "%s\n", platform::WideToUtf8(error).c_str());
        return kFailed;
    }
    if (o.points) {
        for (const auto& [id, s] : chart.Charts()) s->showPoints = true;
        chart.RedrawAll();
    }
    chart.SetLegendVisible(o.legend);
    if (o.range)
        chart.ZoomToRange((*o.range)[0], (*o.range)[1], (*o.range)[2], (*o.range)[3]);
    else
        chart.ZoomToFit();
    if (o.select)
        chart.SetSelection((*o.select)[0], (*o.select)[1]);
    if (o.track) {
        const auto& m = chart.Mapping();
        chart.SetLastMousePos(QPointF(m.PixelX((*o.track)[0]), m.PixelY((*o.track)[1])).toPoint());
        chart.SetTracking(true);
    }
    const QImage frame = chart.RenderFrame(1.0);
    if (!frame.save(QString::fromStdString(o.out), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", o.out.c_str());
        return kFailed;
    }
    return 0;
}

#endif

}  // namespace

namespace cli {

#ifdef CALVERO_CHART_RENDER

int RunChartRender(const std::vector<std::string>& args) {
    RenderOptions options;
    const std::string problem = Parse(args, options);
    if (!problem.empty())
        return Usage(problem.c_str());
    return Render(options);
}

#else

int RunChartRender(const std::vector<std::string>&) {
    return Usage("not in this build (it needs Qt)");
}

#endif

}  // namespace cli

namespace {

// Listed in --help beside the other chart subcommands; "chart" dispatches it.
int RunAsCommand(const std::vector<std::string>& args) {
    std::vector<std::string> all{"render"};
    all.insert(all.end(), args.begin(), args.end());
    return cli::RunChartRender(all);
}

}  // namespace

#ifdef CALVERO_CHART_RENDER
CALVERO_CLI_COMMAND("chart render", CHART_RENDER_USAGE, RunAsCommand);
#else
CALVERO_CLI_COMMAND("chart render", CHART_RENDER_USAGE "  (not in this build: needs Qt)",
                    RunAsCommand);
#endif
