#include "chart/ui/chart_view_math.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace chart::ui {

namespace {

constexpr double kHitDistance = 5.0;

bool Usable(double scale) {
    return std::isfinite(scale) && scale != 0.0;
}

// An axis without extent gets 5 % of its value on each side (one unit around
// zero), which is enough to show the points on a readable grid.
void Widen(double& lo, double& hi) {
    if (hi > lo)
        return;
    const double half = lo != 0.0 ? std::fabs(lo) * 0.05 : 1.0;
    lo -= half;
    hi += half;
}

}  // namespace

bool IsUsableMapping(const ViewMapping& m) {
    return Usable(m.scaleX) && Usable(m.scaleY) && std::isfinite(m.originX) &&
           std::isfinite(m.originY);
}

std::optional<ViewMapping> FitMapping(const DataRange& r, double width, double height,
                                      double yLabelColumnWidth, double xLabelRowHeight) {
    const double plotW = width - yLabelColumnWidth;
    const double plotH = height - xLabelRowHeight;
    if (!(plotW > 0.0) || !(plotH > 0.0))
        return std::nullopt;
    ViewMapping m;
    m.scaleX = plotW / (r.maxX - r.minX);
    m.scaleY = plotH / (r.maxY - r.minY);
    m.originX = yLabelColumnWidth - r.minX * m.scaleX;
    m.originY = r.maxY * m.scaleY;
    if (!IsUsableMapping(m) || m.scaleX < 0.0 || m.scaleY < 0.0)
        return std::nullopt;
    return m;
}

std::optional<DataRange> FitAllRange(const ChartSet& model) {
    DataRange r{ChartSeries::kNoMin, ChartSeries::kNoMax, ChartSeries::kNoMin, ChartSeries::kNoMax};
    bool any = false;
    for (const auto& [id, s] : model.Charts()) {
        // Extents come from finite points only; a chart without one has none.
        if (!s->HasExtents())
            continue;
        any = true;
        r.minX = std::min(r.minX, s->MinX());
        r.maxX = std::max(r.maxX, s->MaxX());
        r.minY = std::min(r.minY, s->MinY());
        r.maxY = std::max(r.maxY, s->MaxY());
    }
    if (!any)
        return std::nullopt;
    Widen(r.minX, r.maxX);
    Widen(r.minY, r.maxY);
    const double mx = ((r.maxX - r.minX) * 1.03 - (r.maxX - r.minX)) * 0.5;
    const double my = ((r.maxY - r.minY) * 1.03 - (r.maxY - r.minY)) * 0.5;
    return DataRange{r.minX - mx, r.maxX + mx, r.minY - my, r.maxY + my};
}

// A notch of 120 gives 1.2; other distances scale geometrically, so that two
// notches reported at once zoom like two single notches and a fine-grained
// wheel step zooms a little in its own direction.
ViewMapping ZoomAbout(const ViewMapping& m, double px, double py, int delta) {
    if (delta == 0)
        return m;
    const double f = std::pow(1.2, std::abs(delta) / 120.0);
    const double u = (px - m.originX) / m.scaleX;
    const double v = (py - m.originY) / m.scaleY;
    ViewMapping z = m;
    if (delta > 0) {
        z.scaleX *= f;
        z.scaleY *= f;
    } else {
        z.scaleX /= f;
        z.scaleY /= f;
    }
    z.originX = px - u * z.scaleX;
    z.originY = py - v * z.scaleY;
    return IsUsableMapping(z) ? z : m;
}

std::pair<double, double> AutoScrollDelta(const PlotRect& plot, double mx, double my) {
    const double left = std::trunc(plot.x), right = std::trunc(plot.Right());
    const double top = std::trunc(plot.y), bottom = std::trunc(plot.Bottom());
    const double dx = mx < left ? left - mx : (mx > right ? right - mx : 0.0);
    const double dy = my < top ? top - my : (my > bottom ? bottom - my : 0.0);
    return {dx, dy};
}

VisibleRange VisibleRangeOf(const ViewMapping& m, const PlotRect& plot) {
    VisibleRange v;
    v.left = m.DataX(plot.x - 1);
    v.right = m.DataX(plot.x - 1 + plot.width + 2);
    v.top = m.DataY(plot.y - 1);
    v.bottom = m.DataY(plot.y - 1 + plot.height + 2);
    return v;
}

ViewMapping EnsureVisible(const ViewMapping& m, const VisibleRange& vis, double x, double y) {
    const double g = 10.0 / m.scaleX;
    const double h = 10.0 / m.scaleY;
    double dx = 0.0, dy = 0.0;
    if (x <= vis.left + g)
        dx = (vis.left + g) - x;
    else if (x >= vis.right - g)
        dx = (vis.right - g) - x;
    if (y >= vis.top - h)
        dy = (vis.top - h) - y;
    else if (y <= vis.bottom + h)
        dy = (vis.bottom + h) - y;
    ViewMapping r = m;
    r.originX += dx * m.scaleX;
    r.originY -= dy * m.scaleY;
    return IsUsableMapping(r) ? r : m;
}

ViewMapping EnsureVisibleInWholePixels(const ViewMapping& m, const VisibleRange& visible, double x,
                                       double y, double devicePixelRatio) {
    ViewMapping r = EnsureVisible(m, visible, x, y);
    const double ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const double shift = (r.originX - m.originX) * ratio;
    if (shift == 0.0 || !std::isfinite(shift))
        return r;
    // A rounding error of the move itself is not a pixel still to go.
    constexpr double kSlack = 1e-9;
    const double steps = shift > 0 ? std::ceil(shift - kSlack) : std::floor(shift + kSlack);
    r.originX = m.originX + steps / ratio;
    return IsUsableMapping(r) ? r : m;
}

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
    const double vx = bx - ax, vy = by - ay;
    const double len2 = vx * vx + vy * vy;
    double t = len2 > 0.0 ? ((px - ax) * vx + (py - ay) * vy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (ax + t * vx), py - (ay + t * vy));
}

int HitTestChart(const ChartSet& model, const ViewMapping& m, double px, double py) {
    const double a = m.DataX(px - kHitDistance);
    const double b = m.DataX(px + kHitDistance);
    int best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const auto& [id, s] : model.Charts()) {
        if (!s->visible || !s->HasPoints())
            continue;
        const auto run = s->GetPointRange(std::min(a, b), std::max(a, b));
        if (run.size() < 2)
            continue;
        double d = std::numeric_limits<double>::infinity();
        for (size_t i = 1; i < run.size(); ++i) {
            // A segment touching a point that is not finite is not drawn.
            if (!IsFinitePoint(run[i - 1]) || !IsFinitePoint(run[i]))
                continue;
            d = std::min(d, SegmentDistance(px, py, m.PixelX(run[i - 1].x), m.PixelY(run[i - 1].y),
                                            m.PixelX(run[i].x), m.PixelY(run[i].y)));
        }
        d = std::trunc(d);
        if (d < bestDistance) {
            bestDistance = d;
            best = id;
        }
    }
    return bestDistance <= kHitDistance ? best : -1;
}

}  // namespace chart::ui
