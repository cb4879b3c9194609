#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "chart/ui/chart_grid.h"

using chart::ui::ComputeTicks;
using chart::ui::GridColumns;
using chart::ui::GridLine;
using chart::ui::GridRows;
using chart::ui::TickStep;

TEST(ChartTicks, StepIsTheSmallestOneTwoFiveStepNotBelowTheMinimumSpacing) {
    struct Case {
        double minSpacing, scale, step, spacing;
    };
    const Case cases[] = {
        {100, 1, 100, 100},    // scale 1: x steps of 100 ...
        {50, 1, 50, 50},       // ... and y steps of 50
        {50, 0.1, 500, 50},    // 10 units per pixel
        {100, 3, 50, 150},     // 100 > 60 but 100 <= 150
        {100, 0.5, 200, 100},  // 1000 units fill 500 px: a fifth is 100 px
        {50, 1000, 0.05, 50},  // tiny steps for large scales
        {100, 7, 20, 140},    {100, 1e-6, 1e8, 100},
    };
    for (const Case& c : cases) {
        const TickStep t = ComputeTicks(c.minSpacing, c.scale);
        EXPECT_NEAR(t.step, c.step, c.step * 1e-12) << c.minSpacing << " @ " << c.scale;
        EXPECT_NEAR(t.spacing, c.spacing, c.spacing * 1e-12) << c.minSpacing << " @ " << c.scale;
        EXPECT_GE(t.spacing, c.minSpacing * (1 - 1e-12));
    }
}

TEST(ChartTicks, ScalesThatCannotMapGiveNoGrid) {
    for (double scale :
         {0.0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        const TickStep t = ComputeTicks(100, scale);
        EXPECT_EQ(t.spacing, 0.0) << scale;
        EXPECT_TRUE(GridColumns(0, t, 0, 800).empty());
        EXPECT_TRUE(GridRows(0, t, 0, 600).empty());
    }
}

TEST(ChartGrid, RowsRunDownFromTheOriginThenUp) {
    // Origin 120 px down, rows 50 px apart in a 0..300 area: down 120, 170,
    // 220, 270, then up 70, 20 and the row at -30 whose label peeks in.
    const auto rows = GridRows(120, {10, 50}, 0, 300);
    const std::vector<GridLine> expected = {{120, 0}, {170, -10}, {220, -20}, {270, -30},
                                            {70, 10}, {20, 20},   {-30, 30}};
    EXPECT_EQ(rows, expected);
}

TEST(ChartGrid, OriginAboveThePlotStartsAtTheFirstRowBelowTheTop) {
    // Origin 120 px above the top: the first row is 30 px down, labelled -30.
    const auto rows = GridRows(-120, {10, 50}, 0, 200);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), (GridLine{30, -30}));
    EXPECT_EQ(rows.back(), (GridLine{180, -60}));
    EXPECT_EQ(rows.size(), 4u);
}

TEST(ChartGrid, OriginBelowThePlotCountsUpFromTheBottom) {
    const auto rows = GridRows(730, {5, 50}, 0, 600);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), (GridLine{580, 15}));
    EXPECT_EQ(rows.back(), (GridLine{-20, 75}));
    for (const auto& r : rows) EXPECT_LT(r.pixel, 600);
}

TEST(ChartGrid, ColumnsCoverTheAreaOnceEach) {
    // Origin inside: right from it, then left.
    EXPECT_EQ(GridColumns(250, {1, 100}, 0, 400),
              (std::vector<GridLine>{{250, 0}, {350, 1}, {150, -1}, {50, -2}}));
    // Origin left of the area: from the first column inside.
    EXPECT_EQ(GridColumns(-150, {1, 100}, 0, 400),
              (std::vector<GridLine>{{50, 2}, {150, 3}, {250, 4}, {350, 5}}));
    // Origin right of the area: only the leftward pass, nothing at the right edge.
    EXPECT_EQ(GridColumns(600, {1, 100}, 0, 400),
              (std::vector<GridLine>{{300, -3}, {200, -4}, {100, -5}, {0, -6}}));
}

TEST(ChartGrid, TheOriginLineIsLabelledZeroWithoutSign) {
    // An origin less than a spacing inside the area starts the count at -0.
    const GridLine row = GridRows(20, {10, 50}, 0, 200).front();
    const GridLine col = GridColumns(42, {1, 100}, 0, 400).front();
    EXPECT_EQ(row.pixel, 20);
    EXPECT_EQ(col.pixel, 42);
    EXPECT_FALSE(std::signbit(row.value));
    EXPECT_FALSE(std::signbit(col.value));
}

TEST(ChartGrid, LabelsAreExactMultiplesOfTheStep) {
    // Summing 0.1 steps would give 0.30000000000000004 for the third column.
    const auto cols = GridColumns(0, {0.1, 100}, 0, 1000);
    ASSERT_EQ(cols.size(), 10u);
    EXPECT_EQ(cols[3].value, 3 * 0.1);
    EXPECT_EQ(cols[9].pixel, 900);
}

TEST(ChartGrid, OriginFarAwayStillGivesAFewLines) {
    const auto cols = GridColumns(-1e12, {1e-3, 100}, 0, 800);
    EXPECT_EQ(cols.size(), 8u);
    const auto far = GridColumns(-1e300, {1, 100}, 0, 800);
    EXPECT_TRUE(far.empty());  // beyond counting whole steps: no grid rather than a hang
}

TEST(ChartGrid, TickLabelsStayWholeInsideTheirRoom) {
    // An x axis: lines labelled from the plot's left edge (60) to the
    // widget's right edge (800); labels may use the whole width.
    const chart::ui::LabelRoom x{60, 800, 0, 800};
    struct Case {
        const char* name;
        double tick;
        double extent;
        std::optional<double> start;
    };
    const Case cases[] = {
        {"centred where it fits", 400, 30, 385},
        {"half out on the right: shifted in", 795, 30, 770},
        {"on the right edge", 800, 30, 770},
        {"at the plot's left edge: centred over the corner", 60, 30, 45},
        {"wider than the corner: shifted in", 62, 140, 0},
        {"line left of the plot: not labelled", 59, 30, std::nullopt},
        {"half a pixel out still counts", 59.5, 30, 44.5},
        {"line right of the widget", 801, 30, std::nullopt},
        {"longer than the room", 400, 801, std::nullopt},
        {"exactly as long as the room", 400, 800, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chart::ui::PlaceTickLabel(c.tick, c.extent, x), c.start) << c.name;
    }
    // A y axis: rows from the top to the plot's bottom (577), labels within
    // the same span, so the top and bottom labels move inwards.
    const chart::ui::LabelRoom y{0, 577, 0, 577};
    EXPECT_EQ(chart::ui::PlaceTickLabel(0, 12, y), 0.0);
    EXPECT_EQ(chart::ui::PlaceTickLabel(3, 12, y), 0.0);
    EXPECT_EQ(chart::ui::PlaceTickLabel(300, 12, y), 294.0);
    EXPECT_EQ(chart::ui::PlaceTickLabel(577, 12, y), 565.0);
    EXPECT_EQ(chart::ui::PlaceTickLabel(-4, 12, y), std::nullopt);
}
