#include <gtest/gtest.h>

#include "chart/ui/chart_menus.h"

using chart::ChartPoint;
using chart::ui::MenuItem;

namespace {

std::vector<int> Ids(const std::vector<MenuItem>& items) {
    std::vector<int> ids;
    ids.reserve(items.size());
    for (const auto& i : items) ids.push_back(i.id);
    return ids;
}

}  // namespace

TEST(ChartMenus, ChartMenuHideSaveAndPoints) {
    chart::ChartSeries s;
    s.showPoints = true;
    const auto items = chart::ui::ChartMenuItems(s);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].text, "Hide");
    EXPECT_EQ(items[1].text, "Save chart...");
    EXPECT_EQ(items[2].text, "Show chart points");
    EXPECT_EQ(Ids(items), (std::vector<int>{33772, 33771, 33789}));
    EXPECT_TRUE(items[2].checked);
}

TEST(ChartMenus, ContainerMenuOrderChecksAndGreying) {
    chart::ChartSet model;
    const std::vector<ChartPoint> pts = {{0, 1}, {1, 2}};
    model.AddChart({}, L"Temp Main", L"", 0, 1, 0, 0xFF000000);
    const int b = model.AddChart(pts, L"Temp 2", L"", 0, 1, 0, 0xFF000000);
    model.AddChart(pts, L"Fan", L"", 0, 1, 0, 0xFF000000);
    model.ToggleChartVisibility(b);

    auto items = chart::ui::ContainerMenuItems(model, true);
    ASSERT_EQ(items.size(), 12u);
    EXPECT_EQ(Ids(items),
              (std::vector<int>{33781, 0, 33782, 0, 0, 0, 33790, 33787, 0, 33788, 0, 0}));
    EXPECT_EQ(items[0].text, "Show Legend");
    EXPECT_FALSE(items[0].checked);
    EXPECT_EQ(items[2].text, "Save chart(s)...");
    EXPECT_EQ(items[4].text, "Move");
    EXPECT_EQ(Ids(items[4].submenu), (std::vector<int>{33783, 33784, 0, 33785, 33786}));
    EXPECT_TRUE(items[4].submenu[2].IsSeparator());
    EXPECT_EQ(items[6].text, "Zoom to fit");
    EXPECT_TRUE(items[6].enabled);
    EXPECT_EQ(items[7].text, "Reset container");
    EXPECT_EQ(items[9].text, "Enable Tracking");
    EXPECT_TRUE(items[9].checked);

    const auto& showHide = items[11];
    EXPECT_EQ(showHide.text, "Show/Hide");
    ASSERT_EQ(showHide.submenu.size(), 3u);
    EXPECT_EQ(showHide.submenu[0].text, "\"Temp Main\" has no data");
    EXPECT_FALSE(showHide.submenu[0].enabled);
    EXPECT_EQ(showHide.submenu[1].text, "Show \"Temp 2\"");
    EXPECT_FALSE(showHide.submenu[1].checked);  // hidden
    EXPECT_EQ(showHide.submenu[2].text, "Show \"Fan\"");
    EXPECT_TRUE(showHide.submenu[2].checked);
    EXPECT_EQ(Ids(showHide.submenu), (std::vector<int>{33791, 33792, 33793}));

    model.SetLegendVisible(true);
    items = chart::ui::ContainerMenuItems(model, false);
    EXPECT_TRUE(items[0].checked);
    EXPECT_FALSE(items[9].checked);
}

TEST(ChartMenus, ZoomToFitGreyedWhileAllChartsAreEmpty) {
    chart::ChartSet model;
    model.AddChart({}, L"A", L"", 0, 1, 0, 0xFF000000);
    EXPECT_FALSE(chart::ui::ContainerMenuItems(model, false)[6].enabled);
}
