#pragma once
// The chart control's two context menus as plain descriptions, built afresh
// each time one opens, and the command ids they deliver. The widget turns a
// description into a QMenu; tests read the description directly.

#include <QString>

#include <vector>

#include "chart/chart_set.h"

namespace chart::ui {

enum ChartCommand : int {
    kCmdSaveChart = 33771,
    kCmdHideChart = 33772,
    kCmdShowLegend = 33781,
    kCmdSaveCharts = 33782,
    kCmdMoveRight = 33783,
    kCmdMoveLeft = 33784,
    kCmdMoveUp = 33785,
    kCmdMoveDown = 33786,
    kCmdResetContainer = 33787,
    kCmdEnableTracking = 33788,
    kCmdShowChartPoints = 33789,
    kCmdZoomToFit = 33790,
    kCmdShowHideFirst = 33791,  // + chart id
    kCmdShowHideLast = 34791,
};

// One menu entry: a command, a separator (id 0, empty text) or a submenu.
struct MenuItem {
    int id = 0;
    QString text;
    bool checkable = false;
    bool checked = false;
    bool enabled = true;
    std::vector<MenuItem> submenu;
    bool IsSeparator() const { return id == 0 && text.isEmpty(); }
};

// "Hide", "Save chart...", "Show chart points" for one chart.
std::vector<MenuItem> ChartMenuItems(const ChartSeries& chart);

// The container menu with its "Move" and "Show/Hide" submenus.
std::vector<MenuItem> ContainerMenuItems(const ChartSet& model, bool tracking);

}  // namespace chart::ui
