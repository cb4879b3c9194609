// Whatever a chart file loads must save, and load again as the same charts.
//
// "Same" has to allow for the file's six decimals: the first save rounds
// every number to them, so the second load may differ from the first by
// that rounding (and the float rounding after it), but no more. From then on
// nothing may move: saving the second load gives the bytes of the first
// save, and loading those gives the second load bit for bit.

#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "chart/chart_set.h"
#include "memory_file.h"

namespace {

using fuzz_chart::Check;
using fuzz_chart::MemoryFile;

// The charts that a save writes: those with points, in id order.
std::vector<const chart::ChartSeries*> Saved(const chart::ChartSet& model) {
    std::vector<const chart::ChartSeries*> out;
    for (const auto& [id, series] : model.Charts()) {
        if (series->HasPoints())
            out.push_back(series.get());
    }
    return out;
}

std::set<int> AllIds(const chart::ChartSet& model) {
    std::set<int> ids;
    model.GetChartIds(ids);
    return ids;
}

// b is a through six decimals and back into a float: off by at most half a
// unit of the sixth decimal plus half a float step, and as special as a.
bool Rounded(double a, double b) {
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    if (std::isinf(a) || std::isinf(b))
        return a == b;
    if (a != 0 && b != 0 && std::signbit(a) != std::signbit(b))
        return false;
    return std::fabs(a - b) <= 5e-7 + std::ldexp(std::fabs(a), -24);
}

bool SameBits(double a, double b) {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

// Fields the file carries exactly, and the point count.
bool SameExact(const chart::ChartSeries& a, const chart::ChartSeries& b) {
    return a.name == b.name && a.yLabel == b.yLabel && a.color == b.color &&
           a.dashStyle == b.dashStyle && a.Points().size() == b.Points().size() && b.visible &&
           !b.selected && !b.showPoints;
}

bool SameRounded(const chart::ChartSeries& a, const chart::ChartSeries& b) {
    if (!SameExact(a, b) || !Rounded(a.penWidth, b.penWidth) || !Rounded(a.tension, b.tension))
        return false;
    for (size_t i = 0; i < a.Points().size(); ++i) {
        const chart::ChartPoint& p = a.Points()[i];
        const chart::ChartPoint& q = b.Points()[i];
        if (!Rounded(p.x, q.x) || !Rounded(p.y, q.y))
            return false;
    }
    return true;
}

bool SameBits(const chart::ChartSeries& a, const chart::ChartSeries& b) {
    if (!SameExact(a, b) || !SameBits(a.penWidth, b.penWidth) || !SameBits(a.tension, b.tension))
        return false;
    for (size_t i = 0; i < a.Points().size(); ++i) {
        const chart::ChartPoint& p = a.Points()[i];
        const chart::ChartPoint& q = b.Points()[i];
        if (!SameBits(p.x, q.x) || !SameBits(p.y, q.y))
            return false;
    }
    return true;
}

template <typename Same>
bool SameCharts(const chart::ChartSet& a, const chart::ChartSet& b, Same same) {
    const auto left = Saved(a);
    const auto right = Saved(b);
    // A reload drops only charts without points, and the first save wrote none.
    if (left.size() != right.size() || right.size() != b.Charts().size())
        return false;
    for (size_t i = 0; i < left.size(); ++i) {
        if (!same(*left[i], *right[i]))
            return false;
    }
    return true;
}

// Saves every chart of the model to the file and loads it into a fresh model.
void SaveAndLoad(const chart::ChartSet& from, const MemoryFile& file, chart::ChartSet& to) {
    std::wstring error;
    Check(from.SaveChartsXml(file.Path(), AllIds(from), error));
    std::set<int> ids;
    Check(to.LoadChartsXml(file.Path(), ids, error));
    Check(ids == AllIds(to));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const MemoryFile input, first, second;
    input.Fill(data, size);

    chart::ChartSet loaded;
    std::set<int> ids;
    std::wstring error;
    if (!loaded.LoadChartsXml(input.Path(), ids, error) || ids.empty())
        return 0;

    chart::ChartSet reloaded;
    SaveAndLoad(loaded, first, reloaded);
    Check(SameCharts(loaded, reloaded,
                     [](const auto& a, const auto& b) { return SameRounded(a, b); }));
    if (reloaded.Charts().empty())
        return 0;

    chart::ChartSet again;
    SaveAndLoad(reloaded, second, again);
    Check(second.Bytes() == first.Bytes());
    Check(SameCharts(reloaded, again, [](const auto& a, const auto& b) { return SameBits(a, b); }));
    return 0;
}
