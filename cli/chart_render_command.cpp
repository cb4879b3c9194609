// calveroctl chart render FILE OUT.png [--size WxH] [--range X1 X2 Y1 Y2]
//     [--legend] [--points] [--select X1 X2] [--track X Y]
//
// OUT's extension names the image format (any Qt can write: png, jpg, ...;
// none is PNG); "-" writes PNG to standard output. Without --range the view
// is "Zoom to fit"; --range sets the home range as a zoom box would, and a
// range the view cannot show (no width or height, or a span beyond the
// numbers) is a wrong command line. --select makes that selection (selection
// and statistics boxes), --track turns tracking on with the mouse at that data
// point, --legend shows the legend, --points markers on every chart. An
// unreadable file is named with the reason and exits 1, as does a failed
// write; a wrong command line exits 2 and writes nothing.

#include "cli/chart_render_command.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_io.h"
#include "cli/command_registry.h"

#ifdef CALVERO_CHART_RENDER
#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>

#include "chart/chart_set.h"
#include "chart/ui/chart_canvas.h"
#include "chart/ui/chart_view_math.h"
#endif

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Usage(const std::string& message) {
    std::fprintf(stderr, "calveroctl chart render: %s\nusage: calveroctl %s\n", message.c_str(),
                 cli::kChartRenderUsage);
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
    if (o.range) {
        // The view's own fit test, on the whole image: its label column and
        // row take a few pixels, which tells only at the very edge of the
        // numbers.
        const auto& r = *o.range;
        const chart::ui::DataRange range{std::min(r[0], r[1]), std::max(r[0], r[1]),
                                         std::min(r[2], r[3]), std::max(r[2], r[3])};
        if (!chart::ui::FitMapping(range, o.width, o.height, 0, 0))
            return "the view cannot show that --range (it needs a width and a height that "
                   "the numbers can span)";
    }
    return {};
}

// The image format OUT names: its extension in lower case, PNG without one
// and for standard output.
std::string FormatOf(const std::string& out) {
    if (out == "-")
        return "png";
    const size_t slash = out.find_last_of('/');
    const size_t dot = out.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot + 1 == out.size() || dot == (slash == std::string::npos ? 0 : slash + 1))
        return "png";
    std::string format = out.substr(dot + 1);
    for (char& c : format) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return format;
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
    QGuiApplication app(argc, argv);

    // Refused before anything is read or written.
    const std::string format = FormatOf(o.out);
    if (!QImageWriter::supportedImageFormats().contains(QByteArray::fromStdString(format))) {
        std::string known;
        for (const QByteArray& f : QImageWriter::supportedImageFormats())
            known += (known.empty() ? "" : ", ") + f.toStdString();
        return Usage("cannot write images of type '" + format + "' (known: " + known + ")");
    }

    chart::ChartSet set;
    if (!cli::LoadChartFile(o.file, set))
        return kFailed;
    if (o.points) {
        for (const auto& [id, s] : set.Charts()) s->showPoints = true;
    }
    set.SetLegendVisible(o.legend);
    // Drawn as the chart control draws itself on this screen, at this size.
    const QSize size(o.width, o.height);
    chart::ui::ChartCanvas canvas(set);
    canvas.UsePrimaryScreenDpi();
    chart::ui::ChartViewState view;
    std::optional<chart::ui::ViewMapping> mapping;
    if (o.range) {
        const auto& r = *o.range;
        mapping = canvas.FitRange({std::min(r[0], r[1]), std::max(r[0], r[1]), std::min(r[2], r[3]),
                                   std::max(r[2], r[3])},
                                  size);
    } else {
        mapping = canvas.FitAll(size);
    }
    if (mapping)
        view.mapping = *mapping;
    if (o.select) {
        view.selectionExists = true;
        view.selectionStart = (*o.select)[0];
        view.selectionEnd = (*o.select)[1];
    }
    if (o.track) {
        const auto& m = view.mapping;
        view.mouse = QPointF(m.PixelX((*o.track)[0]), m.PixelY((*o.track)[1])).toPoint();
        view.tracking = true;
    }
    const QImage frame = canvas.RenderFrame(size, 1.0, view);
    // Encoded in memory, so that the file's own writes and close are checked.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, QByteArray::fromStdString(format));
    if (!writer.write(frame)) {
        std::fprintf(stderr, "calveroctl: %s: %s\n", o.out.c_str(),
                     writer.errorString().toLocal8Bit().constData());
        return kFailed;
    }
    if (!cli::WriteWholeFile(o.out, std::string_view(bytes.constData(), bytes.size())))
        return kFailed;
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
        return Usage(problem);
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
CALVERO_CLI_COMMAND("chart render",
                    "chart render FILE OUT.png [--size WxH] [--range X1 X2 Y1 Y2] [--legend]"
                    " [--points] [--select X1 X2] [--track X Y]\n"
                    "  OUT's extension names the image format (png, jpg, ...); - writes PNG to"
                    " standard output",
                    RunAsCommand);
#else
CALVERO_CLI_COMMAND("chart render",
                    "chart render FILE OUT.png [--size WxH] [--range X1 X2 Y1 Y2] [--legend]"
                    " [--points] [--select X1 X2] [--track X Y]  (not in this build: needs Qt)",
                    RunAsCommand);
#endif
