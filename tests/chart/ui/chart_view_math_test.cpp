#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "chart/ui/chart_view_math.h"

using chart::ChartPoint;
using chart::ChartSet;
using chart::ui::DataRange;
using chart::ui::ViewMapping;

namespace {

int Add(ChartSet& m, std::vector<ChartPoint> pts) {
    return m.AddChart(pts, L"", L"", 0, 2.0f, 0.0f, 0xFF000000);
}

}  // namespace

TEST(ChartFit, ZoomToFitAddsOnePointFivePercentOnEachSide) {
    ChartSet m;
    Add(m, {{0, 20}, {50, 100}});
    Add(m, {{10, 60}, {100, 220}});
    const auto r = chart::ui::FitAllRange(m);
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->minX, -1.5, 1e-9);
    EXPECT_NEAR(r->maxX, 101.5, 1e-9);
    EXPECT_NEAR(r->minY, 17, 1e-9);
    EXPECT_NEAR(r->maxY, 223, 1e-9);
}

TEST(ChartFit, HiddenAndClearedChartsCountEmptyOnesDoNot) {
    ChartSet m;
    Add(m, {});  // never had points: its extents must not win
    const int hidden = Add(m, {{-100, -50}, {0, 0}});
    m.ToggleChartVisibility(hidden);
    const int cleared = Add(m, {{0, 0}, {1000, 10}});
    m.ClearChartPoints(cleared);
    Add(m, {{0, 0}, {100, 100}});
    const auto r = chart::ui::FitAllRange(m);
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->minX, -100 - 16.5, 1e-9);
    EXPECT_NEAR(r->maxX, 1000 + 16.5, 1e-9);
    EXPECT_NEAR(r->minY, -50 - 2.25, 1e-9);
    EXPECT_NEAR(r->maxY, 100 + 2.25, 1e-9);
}

TEST(ChartFit, AnAxisWithoutExtentIsWidenedAroundItsValue) {
    struct Case {
        std::vector<ChartPoint> points;
        double lo, hi;  // x or y range before the margins
        bool onX;
    };
    const Case cases[] = {
        {{{5, 20}}, 4.75, 5.25, true},           // one point: x around 5
        {{{5, 20}}, 19, 21, false},              // and y around 20
        {{{0, 3}, {10, 3}}, 2.85, 3.15, false},  // a flat line
        {{{0, 0}, {10, 0}}, -1, 1, false},       // flat at zero
    };
    for (const Case& c : cases) {
        ChartSet m;
        Add(m, c.points);
        const auto r = chart::ui::FitAllRange(m);
        ASSERT_TRUE(r);
        const double lo = c.onX ? r->minX : r->minY, hi = c.onX ? r->maxX : r->maxY;
        const double margin = (c.hi - c.lo) * 0.015;
        EXPECT_NEAR(lo, c.lo - margin, 1e-9);
        EXPECT_NEAR(hi, c.hi + margin, 1e-9);
        // And the fit of it maps.
        EXPECT_TRUE(chart::ui::FitMapping(*r, 800, 600, 40, 20));
    }
    ChartSet empty;
    Add(empty, {});
    EXPECT_FALSE(chart::ui::FitAllRange(empty));
}

// Points that are not finite are left out of the fit; charts holding
// nothing else take no part, and with only such charts there is no fit.
TEST(ChartFit, NonFinitePointsAreLeftOut) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    ChartSet m;
    Add(m, {{nan, 1}, {0, inf}});
    EXPECT_FALSE(chart::ui::FitAllRange(m));
    Add(m, {{-inf, 5}, {0, 20}, {50, nan}, {100, 220}, {nan, 999}, {inf, 1}});
    const auto r = chart::ui::FitAllRange(m);
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->minX, -1.5, 1e-9);
    EXPECT_NEAR(r->maxX, 101.5, 1e-9);
    EXPECT_NEAR(r->minY, 17, 1e-9);
    EXPECT_NEAR(r->maxY, 223, 1e-9);
    EXPECT_TRUE(chart::ui::FitMapping(*r, 800, 600, 40, 20));
}

TEST(ChartFit, MapsTheRangeOntoThePlotEdges) {
    const auto m = chart::ui::FitMapping({0, 260, 0, 300}, 800, 620, 40, 20);
    ASSERT_TRUE(m);
    EXPECT_DOUBLE_EQ(m->PixelX(0), 40);
    EXPECT_DOUBLE_EQ(m->PixelX(260), 800);
    EXPECT_DOUBLE_EQ(m->PixelY(300), 0);
    EXPECT_DOUBLE_EQ(m->PixelY(0), 600);
}

TEST(ChartFit, DegenerateFitsAreRefused) {
    const DataRange ranges[] = {{5, 5, 0, 1}, {0, 1, 7, 7}, {1, 0, 0, 1}};
    for (const DataRange& r : ranges) EXPECT_FALSE(chart::ui::FitMapping(r, 800, 600, 40, 20));
    // No room for a plot.
    EXPECT_FALSE(chart::ui::FitMapping({0, 1, 0, 1}, 40, 600, 40, 20));
    EXPECT_FALSE(chart::ui::FitMapping({0, 1, 0, 1}, 800, 20, 40, 20));
    EXPECT_FALSE(chart::ui::FitMapping({0, 1, 0, 1}, 0, 0, 40, 20));
    // A span too small for a finite scale.
    EXPECT_FALSE(chart::ui::FitMapping({0, 1e-320, 0, 1}, 800, 600, 40, 20));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(chart::ui::FitMapping({nan, 1, 0, 1}, 800, 600, 40, 20));
}

TEST(ChartZoom, ANotchKeepsTheDataPointUnderTheMouse) {
    const ViewMapping m{37.5, 410.25, 2.5, 0.75};
    for (int delta : {120, -120, 240, -360, 15}) {
        const ViewMapping z = chart::ui::ZoomAbout(m, 333, 222, delta);
        EXPECT_NEAR(z.DataX(333), m.DataX(333), 1e-9) << delta;
        EXPECT_NEAR(z.DataY(222), m.DataY(222), 1e-9) << delta;
    }
    const ViewMapping in = chart::ui::ZoomAbout(m, 333, 222, 120);
    EXPECT_DOUBLE_EQ(in.scaleX, 2.5 * 1.2);
    EXPECT_DOUBLE_EQ(in.scaleY, 0.75 * 1.2);
    const ViewMapping out = chart::ui::ZoomAbout(m, 333, 222, -120);
    EXPECT_DOUBLE_EQ(out.scaleX, 2.5 / 1.2);
    // A fine wheel step zooms a little in its own direction.
    EXPECT_GT(chart::ui::ZoomAbout(m, 0, 0, 15).scaleX, m.scaleX);
    EXPECT_LT(chart::ui::ZoomAbout(m, 0, 0, 15).scaleX, in.scaleX);
}

TEST(ChartZoom, ZoomThatWouldOverflowKeepsTheView) {
    const ViewMapping m{0, 0, 1e307, 1};
    const ViewMapping z = chart::ui::ZoomAbout(m, 10, 10, 120 * 100);
    EXPECT_EQ(z.scaleX, m.scaleX);
    EXPECT_TRUE(chart::ui::IsUsableMapping(z));
}

TEST(ChartAutoScroll, MovesTowardsTheMouseByItsDistanceOutside) {
    const chart::ui::PlotRect plot{40.7, 0, 700, 500};  // left truncates to 40
    struct Case {
        double mx, my, dx, dy;
    };
    const Case cases[] = {
        {10, 200, 30, 0},    // 30 px left of the plot: curves move 30 px right
        {200, 200, 0, 0},    // inside: nothing
        {760, 200, -20, 0},  // right of 740
        {200, -15, 0, 15},   // above
        {200, 530, 0, -30},  // below
        {0, 600, 40, -100},  // a corner: both
        {40, 500, 0, 0},     // on the edges counts as inside
    };
    for (const Case& c : cases) {
        const auto [dx, dy] = chart::ui::AutoScrollDelta(plot, c.mx, c.my);
        EXPECT_EQ(dx, c.dx) << c.mx << "," << c.my;
        EXPECT_EQ(dy, c.dy) << c.mx << "," << c.my;
    }
}

TEST(ChartEnsureVisible, BringsThePointTenPixelsInside) {
    const ViewMapping m{50, 500, 2, 4};
    const chart::ui::PlotRect plot{50, 0, 700, 500};
    const auto vis = chart::ui::VisibleRangeOf(m, plot);
    EXPECT_DOUBLE_EQ(vis.left, m.DataX(49));
    EXPECT_DOUBLE_EQ(vis.bottom, m.DataY(501));
    // Far right and above: afterwards 10 px inside the right and top edges.
    const ViewMapping r = chart::ui::EnsureVisible(m, vis, 1000, 300);
    EXPECT_NEAR(r.PixelX(1000), m.PixelX(vis.right) - 10, 1e-9);
    EXPECT_NEAR(r.PixelY(300), m.PixelY(vis.top) + 10, 1e-9);
    // Left and below.
    const ViewMapping l = chart::ui::EnsureVisible(m, vis, -40, -20);
    EXPECT_NEAR(l.PixelX(-40), m.PixelX(vis.left) + 10, 1e-9);
    EXPECT_NEAR(l.PixelY(-20), m.PixelY(vis.bottom) - 10, 1e-9);
    // Well inside: unchanged.
    const ViewMapping same = chart::ui::EnsureVisible(m, vis, 100, 50);
    EXPECT_EQ(same.originX, m.originX);
    EXPECT_EQ(same.originY, m.originY);
}

TEST(ChartEnsureVisible, FollowingMovesByWholeDevicePixels) {
    const ViewMapping m{50.25, 500, 3, 4};
    const chart::ui::PlotRect plot{50, 0, 700, 500};
    struct Case {
        double ratio;
        double step;  // data x added per point
    };
    const Case cases[] = {{1.0, 0.01}, {1.0, 0.7}, {2.0, 0.05}, {1.25, 0.13}, {1.0, -0.3}};
    for (const Case& c : cases) {
        ViewMapping v = m;
        double x = c.step > 0 ? v.DataX(plot.Right() - 12) : v.DataX(plot.x + 12);
        int moves = 0;
        for (int i = 0; i < 400; ++i) {
            x += c.step;
            const ViewMapping n = chart::ui::EnsureVisibleInWholePixels(
                v, chart::ui::VisibleRangeOf(v, plot), x, 250, c.ratio);
            const double device = (n.originX - m.originX) * c.ratio;
            ASSERT_NEAR(device, std::round(device), 1e-6) << c.ratio << " " << c.step;
            const bool moved = n.originX != v.originX;
            moves += moved;
            v = n;
            // Always at least 10 px inside; after a move, less than a device
            // pixel more.
            const auto vis = chart::ui::VisibleRangeOf(v, plot);
            const double inside =
                c.step > 0 ? v.PixelX(vis.right) - v.PixelX(x) : v.PixelX(x) - v.PixelX(vis.left);
            ASSERT_GE(inside, 10 - 1e-6) << c.ratio << " " << c.step << " at " << i;
            if (moved) {
                ASSERT_LT(inside, 10 + 1 / c.ratio + 1e-6)
                    << c.ratio << " " << c.step << " at " << i;
            }
        }
        // Sub-pixel steps add up: a move only when a whole device pixel is due.
        const double pixels = std::abs(c.step) * 400 * m.scaleX * c.ratio;
        EXPECT_LE(moves, static_cast<int>(std::ceil(pixels)) + 1) << c.ratio << " " << c.step;
        EXPECT_GE(moves, 1);
    }
    // Well inside: unchanged, as without the steps.
    const auto vis = chart::ui::VisibleRangeOf(m, plot);
    EXPECT_EQ(chart::ui::EnsureVisibleInWholePixels(m, vis, 100, 50, 2.0).originX, m.originX);
}

TEST(ChartHitTest, SegmentDistanceToTheNearestPoint) {
    struct Case {
        double px, py, ax, ay, bx, by, d;
    };
    const Case cases[] = {
        {5, 3, 0, 0, 10, 0, 3},   // perpendicular
        {-3, 4, 0, 0, 10, 0, 5},  // before the first end
        {13, 4, 0, 0, 10, 0, 5},  // beyond the second end
        {3, 4, 0, 0, 0, 0, 5},    // zero length
        {0, 0, 0, 0, 10, 10, 0},  // on an end
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(chart::ui::SegmentDistance(c.px, c.py, c.ax, c.ay, c.bx, c.by), c.d);
}

// The segments beside a point that is not finite are not drawn, so they
// cannot be hit; the finite segments of the same chart still can.
TEST(ChartHitTest, SegmentsTouchingANonFinitePointAreNotHit) {
    const double inf = std::numeric_limits<double>::infinity();
    ChartSet model;
    const ViewMapping m{0, 100, 1, 1};  // y 0 at pixel row 100
    const int id = Add(model, {{0, 0}, {40, 0}, {50, inf}, {60, 0}, {100, 0}});
    EXPECT_EQ(chart::ui::HitTestChart(model, m, 20, 100), id);
    EXPECT_EQ(chart::ui::HitTestChart(model, m, 80, 100), id);
    // Between 40 and 60 the curve has a gap; 45 is 5 pixels from the end at 40.
    EXPECT_EQ(chart::ui::HitTestChart(model, m, 50, 100), -1);
    EXPECT_EQ(chart::ui::HitTestChart(model, m, 50, 40), -1);
}

TEST(ChartHitTest, NearestVisibleCurveWithinFivePixels) {
    ChartSet model;
    const ViewMapping m{0, 100, 1, 1};                 // y 0 at pixel row 100
    const int low = Add(model, {{0, 0}, {100, 0}});    // row 100
    const int high = Add(model, {{0, 4}, {100, 4}});   // row 96
    const int far = Add(model, {{0, 50}, {100, 50}});  // row 50
    const int single = Add(model, {{60, 70}});         // one point: never hit
    struct Case {
        double px, py;
        int expected;
    };
    const Case cases[] = {
        {50, 100, low}, {50, 96, high},   {50, 98, low},  // equal distance: lowest id
        {50, 105, low}, {50, 105.9, low},                 // 5.9 truncates to 5
        {50, 106, -1},  {50, 52, far},    {60, 30, -1},  {200, 100, -1},  // beyond the last point
    };
    for (const Case& c : cases)
        EXPECT_EQ(chart::ui::HitTestChart(model, m, c.px, c.py), c.expected) << c.px << "," << c.py;
    (void)single;
    model.ToggleChartVisibility(low);
    EXPECT_EQ(chart::ui::HitTestChart(model, m, 50, 100), high);  // hidden: never hit
    model.ToggleChartVisibility(high);
    EXPECT_EQ(chart::ui::HitTestChart(model, m, 50, 100), -1);
}
