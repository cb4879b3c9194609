// How long a chart control takes to paint ten long recordings, full view,
// anti-aliased, into a 1600 x 900 offscreen image: at 10,000 and 1,000,000
// points per chart, against drawing every visible point, after a one-point
// append, and at a device pixel ratio of 2. Prints median milliseconds and
// the ratios the paint must keep.
//
// Usage: chart_paint [repeats] [figure]   (run under QT_QPA_PLATFORM=offscreen)
// With a figure's name (dpr2, moved1m, ...), only that one is run, `repeats`
// times, for a profiler.

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "chart/ui/chart_widget.h"
#include "chart/ui/curve_painter.h"

namespace {

constexpr int kCharts = 10;
constexpr int kWidth = 1600;
constexpr int kHeight = 900;

const uint32_t kColors[kCharts] = {0xFF1F77B4, 0xFFFF7F0E, 0xFF2CA02C, 0xFFD62728, 0xFF9467BD,
                                   0xFF8C564B, 0xFFE377C2, 0xFF7F7F7F, 0xFFBCBD22, 0xFF17BECF};

// A bake recording over the same 10,000 s whatever the point count: a slow
// ramp and soak, sensor noise of a few tenths of a degree and a rare spike,
// so that both scenes show the same picture and differ only in points.
std::vector<chart::ChartPoint> Recording(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 0.3);
    std::uniform_int_distribution<size_t> spike(0, n / 4);
    std::vector<chart::ChartPoint> p(n);
    const double duration = 10'000.0, base = 20.0 + 12.0 * seed;
    for (size_t i = 0; i < n; ++i) {
        const double t = duration * static_cast<double>(i) / static_cast<double>(n);
        const double ramp = std::min(t / 3000.0, 1.0) * 100.0 + 5.0 * std::sin(t / 700.0 + seed);
        p[i] = {t, base + ramp + noise(rng) + (spike(rng) == 0 ? 40.0 : 0.0)};
    }
    return p;
}

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Median CPU time of the painting thread: on a machine shared with builds,
// wall time measures the neighbours as much as the paint.
double MedianMs(int repeats, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < repeats; ++i) {
        const double start = ThreadCpuMs();
        work();
        ms.push_back(ThreadCpuMs() - start);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

struct Scene {
    chart::ui::ChartWidget container;
    explicit Scene(size_t points) {
        container.resize(kWidth, kHeight);
        for (int c = 0; c < kCharts; ++c) {
            container.Set().AddChart(Recording(points, static_cast<unsigned>(c + 1)), L"", L"", 0,
                                     2.0f, 0.0f, kColors[c]);
        }
        container.ZoomToFit();
    }
    // A whole frame with the background drawn afresh, as after new data.
    QImage Frame(qreal dpr) {
        container.Set().RedrawAll();
        return container.RenderFrame(dpr);
    }
};

// Only the curves, through the painter that the container uses, reduced afresh.
void PaintCurves(chart::ui::ChartWidget& c, QImage& image, bool everyPoint) {
    const chart::ui::ChartWidget::Layout l = c.CurrentLayout();
    QPainter p(&image);
    p.setClipRect(QRectF(l.plot.x, l.plot.y, l.plot.width, l.plot.height));
    p.setRenderHint(QPainter::Antialiasing, true);
    for (const auto& [id, s] : c.Set().Charts()) {
        if (!everyPoint) {
            s->drawCache.reset();  // reduce afresh, as in a new view
            chart::ui::DrawChartCurve(p, *s, c.Mapping(), l.visible);
            continue;
        }
        // The plain way: every visible point in one polyline, with the
        // cheapest pen Qt has (cosmetic, 1 pixel), so that the figure is a
        // lower bound for drawing every point with the chart's own pen.
        const auto run = s->GetPointRange(l.visible.left, l.visible.right);
        const std::vector<QPointF> px = chart::ui::ToPixelPoints(run, c.Mapping());
        p.setPen(QPen(QColor::fromRgba(s->color), 0));
        p.drawPolyline(px.data(), static_cast<int>(px.size()));
    }
}

QImage Blank(qreal dpr) {
    QImage image(QSize(kWidth, kHeight) * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::white);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::string only = argc > 2 ? argv[2] : "";

    Scene small(10'000);
    Scene large(1'000'000);
    QImage image = Blank(1);
    QImage image2 = Blank(2);
    // A view moved by a pixel each time: nothing of the last paint's
    // reduction can be reused, as after a pan or a zoom.
    auto moved = [](Scene& scene) {
        chart::ui::ViewMapping m = scene.container.Mapping();
        static double step = 1.0;
        m.originX += step;
        step = -step;
        scene.container.SetMapping(m);
        return scene.Frame(1);
    };
    double x = 10'000.0;
    auto append = [&] {
        const chart::ChartPoint p{x, 40.0};
        x += 0.01;  // the recording's own rate
        large.container.Set().AppendChartPoints(0, {&p, 1});
        large.container.RenderFrame(1);
    };
    auto reduce = [&] {
        const chart::ui::ChartWidget::Layout l = large.container.CurrentLayout();
        size_t spans = 0;
        for (const auto& [id, s] : large.container.Set().Charts()) {
            const auto run = s->GetPointRange(l.visible.left, l.visible.right);
            spans += chart::ui::ReduceColumns(*s, run, large.container.Mapping()).size();
        }
        if (spans == 0)
            std::printf("no columns?\n");
    };

    struct Figure {
        const char* name;
        const char* label;
        std::function<void()> work;
        int repeats;
        double ms = 0;
    };
    std::vector<Figure> figures = {
        {"curves10k", "curves only,   10k points/chart: ",
         [&] { PaintCurves(small.container, image, false); }, repeats},
        {"curves1m", "curves only,   1M points/chart:  ",
         [&] { PaintCurves(large.container, image, false); }, repeats},
        {"reduce1m", "reduction only, 1M points/chart: ", reduce, repeats},
        {"naive1m", "every point,   1M points/chart:  ",
         [&] { PaintCurves(large.container, image, true); }, std::min(repeats, 3)},
        {"frame10k", "whole frame,   10k points/chart: ", [&] { small.Frame(1); }, repeats},
        {"frame1m", "whole frame,   1M points/chart:  ", [&] { large.Frame(1); }, repeats},
        {"moved10k", "frame, view moved, 10k:          ", [&] { moved(small); }, repeats},
        {"moved1m", "frame, view moved, 1M:           ", [&] { moved(large); }, repeats},
        {"dpr2", "whole frame,   1M, pixel ratio 2:", [&] { large.Frame(2); }, repeats},
        {"curves1mdpr2", "curves only,   1M, pixel ratio 2:",
         [&] { PaintCurves(large.container, image2, false); }, repeats},
        {"append1m", "append 1 point + frame, 1M:      ", append, repeats},
    };
    if (!only.empty()) {
        for (Figure& f : figures) {
            if (f.name == only) {
                std::printf("%s %8.2f ms\n", f.label, MedianMs(repeats, f.work));
                return 0;
            }
        }
        std::fprintf(stderr, "no figure named %s\n", only.c_str());
        return 2;
    }
    for (Figure& f : figures) f.ms = MedianMs(f.repeats, f.work);
    auto ms = [&](const char* name) {
        for (const Figure& f : figures)
            if (f.name == std::string(name))
                return f.ms;
        return 0.0;
    };

    std::printf("10 charts, %dx%d, full view, anti-aliased; median thread CPU time of %d runs\n",
                kWidth, kHeight, repeats);
    for (const Figure& f : figures) std::printf("%s %8.2f ms\n", f.label, f.ms);
    std::printf("ratio: frame 1M / 10k = %.2f (goal <= 2)\n", ms("frame1m") / ms("frame10k"));
    std::printf("ratio: frame with the view moved, 1M / 10k = %.2f (goal <= 2)\n",
                ms("moved1m") / ms("moved10k"));
    std::printf("ratio: curves 1M / 10k = %.2f\n", ms("curves1m") / ms("curves10k"));
    std::printf("ratio: every point / reduced, curves at 1M = %.1f (goal >= 20)\n",
                ms("naive1m") / ms("curves1m"));
    std::printf("ratio: frame at pixel ratio 2 / 1 = %.2f (goal <= 2.5)\n",
                ms("dpr2") / ms("frame1m"));
    return 0;
}
