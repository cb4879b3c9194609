#include "chart/ui/chart_grid.h"

#include <algorithm>
#include <cmath>

namespace chart::ui {

namespace {

bool Usable(const TickStep& t) {
    return std::isfinite(t.spacing) && t.spacing > 0.0 && std::isfinite(t.step);
}

// A grid line whose pixel lies so far off that double arithmetic stops
// counting whole steps cannot be placed; such views get no grid.
constexpr double kMaxLineIndex = 1e15;

}  // namespace

TickStep ComputeTicks(double minSpacing, double scale) {
    if (!std::isfinite(scale) || scale == 0.0 || !(minSpacing > 0.0))
        return {};
    const double step0 = std::pow(10.0, std::ceil(std::log10(std::fabs(minSpacing / scale))));
    const double spacing0 = scale * step0;
    if (!std::isfinite(step0) || step0 == 0.0)
        return {};
    if (minSpacing <= spacing0 / 5)
        return {step0 / 5, spacing0 / 5};
    if (minSpacing <= spacing0 / 2)
        return {step0 / 2, spacing0 / 2};
    return {step0, spacing0};
}

// Rows are counted by their index k below the origin (k > 0 lies lower on
// the screen), so that positions and labels carry no summed rounding error.
std::vector<GridLine> GridRows(double originY, const TickStep& ticks, double top, double bottom) {
    std::vector<GridLine> rows;
    if (!Usable(ticks) || !std::isfinite(originY))
        return rows;
    const double sp = ticks.spacing;
    // The upward pass stops at the first row at or above the top: a label
    // centred on a row just above the plot still shows its lower half.
    const double first = std::floor((top - originY) / sp);
    const double last = std::ceil((bottom - originY) / sp) - 1;  // last row above the bottom
    if (std::fabs(first) > kMaxLineIndex || std::fabs(last) > kMaxLineIndex)
        return rows;
    // + 0.0 turns the -0 of the origin row into 0, which prints without a sign.
    auto add = [&](double k) { rows.push_back({originY + k * sp, -k * ticks.step + 0.0}); };
    // Downward pass from the origin or the first row inside, then upward.
    const double down = std::max(std::ceil((top - originY) / sp), 0.0);
    for (double k = down; k <= last; ++k) add(k);
    for (double k = std::min(last, -1.0); k >= first; --k) add(k);
    return rows;
}

std::vector<GridLine> GridColumns(double originX, const TickStep& ticks, double left,
                                  double right) {
    std::vector<GridLine> cols;
    if (!Usable(ticks) || !std::isfinite(originX))
        return cols;
    const double sp = ticks.spacing;
    const double first = std::ceil((left - originX) / sp);
    const double last = std::ceil((right - originX) / sp) - 1;
    if (std::fabs(first) > kMaxLineIndex || std::fabs(last) > kMaxLineIndex)
        return cols;
    auto add = [&](double k) { cols.push_back({originX + k * sp, k * ticks.step + 0.0}); };
    for (double k = std::max(first, 0.0); k <= last; ++k) add(k);
    for (double k = std::min(last, -1.0); k >= first; --k) add(k);
    return cols;
}

std::optional<double> PlaceTickLabel(double tick, double extent, const LabelRoom& room) {
    if (!(tick >= room.firstTick - 0.5 && tick <= room.lastTick + 0.5))
        return std::nullopt;
    if (!(extent <= room.hi - room.lo))
        return std::nullopt;
    return std::clamp(tick - extent / 2, room.lo, room.hi - extent);
}

}  // namespace chart::ui
