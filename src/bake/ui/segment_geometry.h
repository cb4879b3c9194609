#pragma once
// The integer geometry of the seven-segment read-out, kept apart from the
// widget so that it can be checked without painting anything.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bake::ui {

// Segment bits: 0 top, 1 bottom, 2 middle, 3 upper left, 4 lower left,
// 5 upper right, 6 lower right.
inline constexpr std::array<uint8_t, 16> kSegmentMasks = {
    0x7B, 0x60, 0x37, 0x67, 0x6C, 0x4F, 0x5F, 0x61, 0x7F, 0x6F, 0x7D, 0x5E, 0x16, 0x76, 0x1F, 0x1D};
// A position without a value lights the middle bar only: a dash.
inline constexpr uint8_t kBlankMask = 0x04;
// The digits keep this distance from every edge of the control.
inline constexpr int kMargin = 10;

struct Point {
    int x;
    int y;
    bool operator==(const Point&) const = default;
};

struct Rect {
    int left;
    int top;
    int right;
    int bottom;
    bool operator==(const Rect&) const = default;
};

struct Polygon {
    int bit;    // which segment
    bool lit;   // filled with the lit colour, else the unlit one
    int count;  // points used (4 or 6)
    std::array<Point, 6> points;
};

// The seven segment polygons of one digit cell, in drawing order (bit 0 first).
std::array<Polygon, 7> DigitPolygons(const Rect& cell, uint8_t mask);

// The digit cells of a client area, rightmost (units) first. Empty when the
// client area leaves no room for them.
std::vector<Rect> DigitCells(int clientWidth, int clientHeight, uint32_t digitCount);

// Everything drawn over the background: 7 polygons per cell, cells from the
// units leftwards. Digits beyond the cell count are not shown.
std::vector<Polygon> LayoutDisplay(int clientWidth, int clientHeight, uint32_t digitCount,
                                   uint64_t value, bool blank);

}  // namespace bake::ui
