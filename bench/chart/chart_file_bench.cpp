// Times saving and loading a chart file of 10 charts x 100,000 points with
// our reader and writer against pugixml on the same file, and the cost of
// single-point appends as a chart grows to a million points.
//
// The last line is "ratio: X.XX", our load time over pugixml's.

#include <malloc.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <vector>

#include "chart/chart_set.h"

// Live and peak heap bytes of everything that goes through operator new: the
// peak memory of our load. (pugixml allocates with malloc and is not counted.)
namespace {
size_t g_live = 0;
size_t g_peak = 0;
}  // namespace

void* operator new(size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    g_live += malloc_usable_size(p);
    g_peak = std::max(g_peak, g_live);
    return p;
}
void operator delete(void* p) noexcept {
    if (!p)
        return;
    g_live -= malloc_usable_size(p);
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    operator delete(p);
}
void* operator new[](size_t n) {
    return operator new(n);
}
void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete[](void* p, size_t) noexcept {
    operator delete(p);
}

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCharts = 10;
constexpr int kPoints = 100000;
constexpr int kRepeats = 5;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

std::wstring Wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

void Fill(chart::ChartSet& model) {
    std::vector<chart::ChartPoint> points(kPoints);
    for (int c = 0; c < kCharts; ++c) {
        for (int i = 0; i < kPoints; ++i) {
            // Seconds since the bake started and plate temperatures, as a bake records them.
            points[static_cast<size_t>(i)] = {i * 0.5, 25.0 + 150.0 * std::sin(i * 1e-4 + c) + c};
        }
        model.AddChart(points, L"Channel " + std::to_wstring(c), L"Temperature", c % 5, 1.0f, 0.0f,
                       0xFF000000u | static_cast<uint32_t>(c * 0x101010));
    }
}

double PointSum(const chart::ChartSet& model) {
    double sum = 0;
    for (const auto& [id, series] : model.Charts()) {
        for (const auto& p : series->Points()) sum += p.x + p.y;
    }
    return sum;
}

double Single(double v) {
    return static_cast<double>(static_cast<float>(v));
}

}  // namespace

int main() {
    // A page fault costs microseconds on a virtual machine, and how many
    // each parser meets depends on the heap state others left behind (glibc
    // returns freed memory to the system). Freed memory stays in the process
    // here, so that the best of several runs compares the readers and
    // writers themselves; the first run of each is printed as well.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    char dirTemplate[] = "/tmp/chart_file_bench.XXXXXX";
    if (!mkdtemp(dirTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = dirTemplate;
    const std::string ourFile = dir + "/ours.xml";
    const std::string pugiFile = dir + "/pugi.xml";

    chart::ChartSet source;
    Fill(source);
    std::set<int> ids;
    source.GetChartIds(ids);

    // Each operation runs in a child forked from this same state, kRepeats
    // times in a row, keeping its best time: none of them inherits the heap
    // another one left behind.
    struct Figures {
        double seconds = 1e9;  // best run
        double first = 0;      // first run, with a heap that has no pages to reuse yet
        size_t peak = 0;
        double checksum = 0;
    };
    auto measure = [](auto&& operation) {
        int fds[2];
        Figures f;
        if (pipe(fds) != 0)
            return f;
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            Figures best;
            for (int r = 0; r < kRepeats; ++r) {
                const Figures one = operation();
                if (one.seconds < 0)
                    _exit(1);
                if (r == 0)
                    best.first = one.seconds;
                best.seconds = std::min(best.seconds, one.seconds);
                best.peak = std::max(best.peak, one.peak);
                best.checksum = one.checksum;
            }
            const ssize_t n = write(fds[1], &best, sizeof best);
            _exit(n == sizeof best ? 0 : 1);
        }
        close(fds[1]);
        if (read(fds[0], &f, sizeof f) != sizeof f)
            f.seconds = -1;
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        return f;
    };

    const Figures ourSave = measure([&] {
        Figures f;
        std::wstring error;
        const auto t0 = Clock::now();
        if (!source.SaveChartsXml(Wide(ourFile), ids, error)) {
            std::fprintf(stderr, "save failed: %ls\n", error.c_str());
            f.seconds = -1;
            return f;
        }
        f.seconds = Seconds(t0, Clock::now());
        return f;
    });
    const Figures ourLoad = measure([&] {
        Figures f;
        std::wstring error;
        chart::ChartSet loaded;
        std::set<int> loadedIds;
        const size_t before = g_live;
        g_peak = g_live;
        const auto t0 = Clock::now();
        if (!loaded.LoadChartsXml(Wide(ourFile), loadedIds, error)) {
            std::fprintf(stderr, "load failed: %ls\n", error.c_str());
            f.seconds = -1;
            return f;
        }
        f.seconds = Seconds(t0, Clock::now());
        f.peak = g_peak - before;
        f.checksum = PointSum(loaded);
        return f;
    });
    auto pugiLoadInto = [&](pugi::xml_document& doc,
                            std::vector<std::vector<chart::ChartPoint>>& charts) {
        if (!doc.load_file(ourFile.c_str()))
            return false;
        for (pugi::xml_node c : doc.child("Charts").children("Chart")) {
            std::vector<chart::ChartPoint>& points = charts.emplace_back();
            for (pugi::xml_node d : c.children("Data")) {
                points.push_back(
                    {Single(d.attribute("X").as_double()), Single(d.attribute("Y").as_double())});
            }
        }
        return true;
    };
    const Figures pugiLoad = measure([&] {
        Figures f;
        pugi::xml_document doc;
        std::vector<std::vector<chart::ChartPoint>> charts;
        const auto t0 = Clock::now();
        if (!pugiLoadInto(doc, charts)) {
            std::fprintf(stderr, "pugixml could not load the file\n");
            f.seconds = -1;
            return f;
        }
        f.seconds = Seconds(t0, Clock::now());
        for (const auto& points : charts) {
            for (const auto& p : points) f.checksum += p.x + p.y;
        }
        return f;
    });
    const Figures pugiSave = measure([&] {
        Figures f;
        static pugi::xml_document doc;  // loaded once per child, saved each time
        static bool loaded = false;
        if (!loaded) {
            std::vector<std::vector<chart::ChartPoint>> charts;
            loaded = pugiLoadInto(doc, charts);
        }
        const auto t0 = Clock::now();
        if (!loaded ||
            !doc.save_file(pugiFile.c_str(), "\t", pugi::format_default, pugi::encoding_utf16_le)) {
            std::fprintf(stderr, "pugixml could not save the file\n");
            f.seconds = -1;
            return f;
        }
        f.seconds = Seconds(t0, Clock::now());
        return f;
    });
    if (ourSave.seconds < 0 || ourLoad.seconds < 0 || pugiLoad.seconds < 0 ||
        pugiSave.seconds < 0) {
        return 1;
    }
    const double ourSum = ourLoad.checksum, pugiSum = pugiLoad.checksum;
    const size_t loadPeak = ourLoad.peak;

    std::error_code ec;
    const auto fileSize = std::filesystem::file_size(ourFile, ec);
    std::printf("chart file: %d charts x %d points, %.1f MB (UTF-16LE); best of %d runs\n", kCharts,
                kPoints, static_cast<double>(fileSize) / 1e6, kRepeats);
    std::printf("points equal: %s\n",
                std::fabs(ourSum - pugiSum) <= 1e-6 * std::fabs(ourSum) ? "yes" : "NO");
    std::printf("                best      first run\n");
    std::printf("our save:     %8.1f ms %8.1f ms\n", ourSave.seconds * 1e3, ourSave.first * 1e3);
    std::printf("pugixml save: %8.1f ms %8.1f ms   save ratio %.2f (first runs %.2f)\n",
                pugiSave.seconds * 1e3, pugiSave.first * 1e3, ourSave.seconds / pugiSave.seconds,
                ourSave.first / pugiSave.first);
    std::printf("our load:     %8.1f ms %8.1f ms   peak heap during load %.1f MB\n",
                ourLoad.seconds * 1e3, ourLoad.first * 1e3, static_cast<double>(loadPeak) / 1e6);
    std::printf("pugixml load: %8.1f ms %8.1f ms   load ratio %.2f (first runs %.2f)\n",
                pugiLoad.seconds * 1e3, pugiLoad.first * 1e3, ourLoad.seconds / pugiLoad.seconds,
                ourLoad.first / pugiLoad.first);

    // Appends: one point per call, as the chart view does per gauge reading.
    {
        constexpr int kAppends = 1000000;
        constexpr int kWindow = 10000;
        chart::ChartSet model;
        const int id = model.AddChart({}, L"Plate", L"Temperature", 0, 2.0f, 0.0f, 0xFF0000FF);
        double first = 0, last = 0;
        auto windowStart = Clock::now();
        for (int i = 0; i < kAppends; ++i) {
            const chart::ChartPoint p{i * 0.25, 20.0 + (i % 1000) * 0.1};
            model.AppendChartPoints(id, {&p, 1});
            if ((i + 1) % kWindow == 0) {
                const auto now = Clock::now();
                const double perAppend = Seconds(windowStart, now) / kWindow;
                if (i + 1 == kWindow)
                    first = perAppend;
                if (i + 1 == kAppends)
                    last = perAppend;
                windowStart = now;
            }
        }
        std::printf("append: %.1f ns per point at 10k, %.1f ns at 1M (x%.2f)\n", first * 1e9,
                    last * 1e9, last / first);
    }

    std::filesystem::remove_all(dir, ec);
    std::printf("ratio: %.2f\n", ourLoad.seconds / pugiLoad.seconds);
    return 0;
}
