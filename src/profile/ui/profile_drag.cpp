#include "profile/ui/profile_drag.h"

#include <cmath>

#include "profile/profile_model.h"

namespace profile::ui {

std::optional<size_t> PointAt(std::span<const chart::ChartPoint> points,
                              const chart::ui::ViewMapping& mapping, double px, double py,
                              double radius) {
    std::optional<size_t> best;
    double bestDistance = radius;
    for (size_t i = 0; i < points.size(); ++i) {
        const double d =
            std::hypot(mapping.PixelX(points[i].x) - px, mapping.PixelY(points[i].y) - py);
        if (d <= bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

chart::ChartPoint DragTarget(const chart::ui::ViewMapping& mapping, double px, double py,
                             chart::ChartPoint original, bool keepTime) {
    chart::ChartPoint p = profile::Snap({mapping.DataX(px), mapping.DataY(py)});
    if (keepTime)
        p.x = original.x;
    return p;
}

}  // namespace profile::ui
