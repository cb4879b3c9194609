#include <gtest/gtest.h>

#include <QImage>

#include "bake/ui/segment_display.h"
#include "bake/ui/segment_geometry.h"
#include "tests/support/ui_test_support.h"

using bake::ui::DigitCells;
using bake::ui::DigitPolygons;
using bake::ui::LayoutDisplay;
using bake::ui::Point;
using bake::ui::Rect;

namespace {

// The mask each cell was drawn with, units first.
std::vector<uint8_t> CellMasks(const std::vector<bake::ui::Polygon>& polys) {
    std::vector<uint8_t> masks;
    for (size_t i = 0; i + 7 <= polys.size(); i += 7) {
        uint8_t m = 0;
        for (size_t k = 0; k < 7; ++k)
            if (polys[i + k].lit)
                m |= static_cast<uint8_t>(1u << polys[i + k].bit);
        masks.push_back(m);
    }
    return masks;
}

uint8_t Digit(int d) {
    return bake::ui::kSegmentMasks[d];
}

}  // namespace

TEST(SegLcdGeometry, CellsRunFromTheRightEdgeWithQuarterCellGaps) {
    // 3 digits in 120 x 60: inside the margins L=10 R=110 T=10 B=50, W=100,
    // gap = (100/3)/4 = 8, w = (110 - 2*8 - 10)/3 = 28.
    const std::vector<Rect> cells = DigitCells(120, 60, 3);
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[0], (Rect{82, 10, 110, 50}));
    EXPECT_EQ(cells[1], (Rect{46, 10, 74, 50}));
    EXPECT_EQ(cells[2], (Rect{10, 10, 38, 50}));
}

TEST(SegLcdGeometry, ClientAreaWithoutRoomHasNoCells) {
    for (auto [w, h] : {std::pair{20, 100}, {100, 20}, {5, 5}, {0, 0}, {21, 10}})
        EXPECT_TRUE(DigitCells(w, h, 3).empty()) << w << "x" << h;
    EXPECT_EQ(DigitCells(21, 21, 1).size(), 1u);
    // Far more digits than pixels: nothing rather than wrapped sizes.
    EXPECT_TRUE(DigitCells(40, 40, 1000).empty());
}

TEST(SegLcdGeometry, DigitPolygonsFollowTheIntegerRule) {
    // Cell 28 x 40: h = 20, t = 7, s = 3.
    const Rect c{0, 0, 28, 40};
    const auto p = DigitPolygons(c, 0x04);
    EXPECT_EQ(p[0].count, 4);
    EXPECT_EQ(p[0].points[0], (Point{0, 0}));
    EXPECT_EQ(p[0].points[2], (Point{21, 7}));
    ASSERT_EQ(p[2].count, 6);
    EXPECT_EQ(p[2].points[0], (Point{7, 17}));
    EXPECT_EQ(p[2].points[2], (Point{28, 20}));
    EXPECT_EQ(p[2].points[3], (Point{21, 23}));
    EXPECT_EQ(p[3].points[2], (Point{7, 16}));  // (L + t, T + h - s - 1)
    EXPECT_EQ(p[4].points[0], (Point{0, 21}));  // (L, B - h + 1)
    EXPECT_EQ(p[6].points[3], (Point{28, 21}));
    for (int bit = 0; bit < 7; ++bit) {
        EXPECT_EQ(p[bit].bit, bit);
        EXPECT_EQ(p[bit].lit, bit == 2) << bit;
    }
}

TEST(SegLcdGeometry, DigitsFromTheUnitsLeftwards) {
    struct Case {
        uint32_t digits;
        uint64_t value;
        bool blank;
        std::vector<uint8_t> masks;  // units first
    };
    const Case cases[] = {
        {3, 7, false, {Digit(7), Digit(0), Digit(0)}},
        {3, 1234, false, {Digit(4), Digit(3), Digit(2)}},
        {5, 123456, false, {Digit(6), Digit(5), Digit(4), Digit(3), Digit(2)}},
        {5, 0, true, {0x04, 0x04, 0x04, 0x04, 0x04}},
        {3, 0, false, {Digit(0), Digit(0), Digit(0)}},
        {1, 18446744073709551615ull, false, {Digit(5)}},
    };
    for (const Case& c : cases) {
        const auto polys = LayoutDisplay(200, 80, c.digits, c.value, c.blank);
        EXPECT_EQ(polys.size(), 7u * c.digits);
        EXPECT_EQ(CellMasks(polys), c.masks) << c.digits << " digits, value " << c.value;
    }
}

TEST(SegLcdGeometry, MasksOfTheTenDigits) {
    const uint8_t expected[10] = {0x7B, 0x60, 0x37, 0x67, 0x6C, 0x4F, 0x5F, 0x61, 0x7F, 0x6F};
    for (int d = 0; d < 10; ++d) EXPECT_EQ(bake::ui::kSegmentMasks[d], expected[d]) << d;
}

// ---- the control ------------------------------------------------------------

TEST(SegLcdCtrl, RenderedDigitLightsOnlyItsSegments) {
    bake::ui::SegmentDisplay ctrl;
    ctrl.SetDigitCount(1);
    ctrl.SetColors(QColor(0, 0, 0), QColor(200, 200, 200), QColor(10, 10, 10));
    ctrl.SetValue(1);
    // One cell (10, 10, 70, 110): h = 50, t = 15, s = 7.
    const QImage img = ctrl.Render(QSize(80, 120));
    const QRgb bg = qRgb(0, 0, 0), lit = qRgb(200, 200, 200), unlit = qRgb(10, 10, 10);
    EXPECT_EQ(img.pixel(3, 3), bg);    // margin
    EXPECT_EQ(img.pixel(40, 40), bg);  // inside the digit, between the bars
    EXPECT_EQ(img.pixel(40, 80), bg);
    EXPECT_EQ(img.pixel(64, 35), lit);     // upper right bar
    EXPECT_EQ(img.pixel(64, 85), lit);     // lower right bar
    EXPECT_EQ(img.pixel(40, 13), unlit);   // top bar
    EXPECT_EQ(img.pixel(40, 107), unlit);  // bottom bar
    EXPECT_EQ(img.pixel(40, 60), unlit);   // middle bar
    EXPECT_EQ(img.pixel(16, 35), unlit);   // upper left bar

    ctrl.SetValue(8);
    const QImage eight = ctrl.Render(QSize(80, 120));
    EXPECT_EQ(eight.pixel(40, 13), lit);
    EXPECT_EQ(eight.pixel(40, 60), lit);  // middle bar
    EXPECT_EQ(eight.pixel(16, 35), lit);
}

TEST(SegLcdCtrl, BlankShowsDashesInEveryPosition) {
    bake::ui::SegmentDisplay ctrl;
    ctrl.SetDigitCount(5);
    ctrl.SetBlank();
    const QImage img = ctrl.Render(QSize(250, 80));
    int litPixels = 0, unlitPixels = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            litPixels += img.pixel(x, y) == qRgb(200, 200, 200);
            unlitPixels += img.pixel(x, y) == qRgb(10, 10, 10);
        }
    EXPECT_GT(unlitPixels, litPixels);
    // The middle of each cell is lit, the top bar is not.
    for (const Rect& cell : DigitCells(250, 80, 5)) {
        const int cx = (cell.left + cell.right) / 2;
        const int my = cell.top + (cell.bottom - cell.top) / 2;
        EXPECT_EQ(img.pixel(cx, my), qRgb(200, 200, 200)) << cx;
        EXPECT_EQ(img.pixel(cx, cell.top + 1), qRgb(10, 10, 10)) << cx;
    }
}

TEST(SegLcdCtrl, PictureIsCachedUntilASettingOrTheSizeChanges) {
    bake::ui::SegmentDisplay ctrl;
    ctrl.SetDigitCount(3);
    ctrl.resize(90, 50);
    ctrl.grab();
    const int first = ctrl.RenderCount();
    EXPECT_FALSE(ctrl.IsDirty());
    ctrl.grab();
    EXPECT_EQ(ctrl.RenderCount(), first);  // a plain repaint copies the cache

    ctrl.resize(120, 60);  // same settings, new size
    const QImage resized = ctrl.grab().toImage();
    EXPECT_EQ(ctrl.RenderCount(), first + 1);
    EXPECT_EQ(resized, ctrl.Render(QSize(120, 60)).convertToFormat(resized.format()));

    ctrl.SetValue(0);  // after blank: zeros everywhere
    EXPECT_TRUE(ctrl.IsDirty());
    EXPECT_FALSE(ctrl.IsBlank());
    ctrl.grab();
    EXPECT_EQ(ctrl.RenderCount(), first + 2);
}
