#include "bake/ui/segment_geometry.h"

namespace bake::ui {

std::array<Polygon, 7> DigitPolygons(const Rect& c, uint8_t mask) {
    const int L = c.left, T = c.top, R = c.right, B = c.bottom;
    const int h = (B - T) / 2;
    const int t = (R - L) / 4;
    const int s = t / 2;
    auto quad = [&](int bit, Point a, Point b, Point d, Point e) {
        return Polygon{bit, (mask >> bit & 1) != 0, 4, {a, b, d, e, Point{}, Point{}}};
    };
    std::array<Polygon, 7> p{};
    p[0] = quad(0, {L, T}, {R, T}, {R - t, T + t}, {L + t, T + t});
    p[1] = quad(1, {L + t, B - t}, {R - t, B - t}, {R, B}, {L, B});
    p[2] = Polygon{2,
                   (mask >> 2 & 1) != 0,
                   6,
                   {Point{L + t, T + h - s}, Point{R - t, T + h - s}, Point{R, T + h},
                    Point{R - t, T + h + s}, Point{L + t, T + h + s}, Point{L, T + h}}};
    p[3] = quad(3, {L, T + 1}, {L, T + h - 1}, {L + t, T + h - s - 1}, {L + t, T + t + 1});
    p[4] = quad(4, {L, B - h + 1}, {L, B - 1}, {L + t, B - t - 1}, {L + t, T + h + s + 1});
    p[5] = quad(5, {R - t, T + t + 1}, {R - t, T + h - s - 1}, {R, T + h - 1}, {R, T + 1});
    p[6] = quad(6, {R - t, T + h + s + 1}, {R - t, B - t - 1}, {R, B - 1}, {R, B - h + 1});
    return p;
}

std::vector<Rect> DigitCells(int clientWidth, int clientHeight, uint32_t digitCount) {
    std::vector<Rect> cells;
    const int64_t L = kMargin, T = kMargin;
    const int64_t R = int64_t{clientWidth} - kMargin, B = int64_t{clientHeight} - kMargin;
    const int64_t n = digitCount == 0 ? 1 : digitCount;
    // The divisions below are unsigned in the drawing rule; a client area
    // with no room left inside the margins would wrap them, so draw nothing.
    if (R <= L || B <= T)
        return cells;
    const int64_t W = R - L;
    const int64_t gap = (W / n) / 4;
    const int64_t span = R - (n - 1) * gap - L;
    if (span < n)
        return cells;
    const int64_t w = span / n;
    int64_t right = R;
    cells.reserve(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        cells.push_back(Rect{static_cast<int>(right - w), static_cast<int>(T),
                             static_cast<int>(right), static_cast<int>(B)});
        right -= w + gap;
    }
    return cells;
}

std::vector<Polygon> LayoutDisplay(int clientWidth, int clientHeight, uint32_t digitCount,
                                   uint64_t value, bool blank) {
    std::vector<Polygon> out;
    const std::vector<Rect> cells = DigitCells(clientWidth, clientHeight, digitCount);
    out.reserve(cells.size() * 7);
    uint64_t v = value;
    for (const Rect& cell : cells) {
        const uint8_t mask = blank ? kBlankMask : kSegmentMasks[v % 10];
        for (const Polygon& p : DigitPolygons(cell, mask)) out.push_back(p);
        v /= 10;
    }
    return out;
}

}  // namespace bake::ui
