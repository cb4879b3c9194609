#include "chart/ui/chart_menus.h"

namespace chart::ui {

namespace {

MenuItem Item(int id, const QString& text, bool checked = false, bool enabled = true) {
    MenuItem m;
    m.id = id;
    m.text = text;
    m.checked = checked;
    m.enabled = enabled;
    return m;
}

MenuItem Check(int id, const QString& text, bool checked, bool enabled = true) {
    MenuItem m = Item(id, text, checked, enabled);
    m.checkable = true;
    return m;
}

MenuItem Separator() {
    return MenuItem{};
}

MenuItem Submenu(const QString& text, std::vector<MenuItem> items) {
    MenuItem m;
    m.text = text;
    m.submenu = std::move(items);
    return m;
}

MenuItem ShowHideItem(const ChartSeries& s) {
    const QString name = QString::fromStdWString(s.name);
    if (!s.HasPoints())
        return Check(kCmdShowHideFirst + s.id, "\"" + name + "\" has no data", false, false);
    return Check(kCmdShowHideFirst + s.id, "Show \"" + name + "\"", s.visible);
}

}  // namespace

std::vector<MenuItem> ChartMenuItems(const ChartSeries& chart) {
    return {Item(kCmdHideChart, "Hide"), Item(kCmdSaveChart, "Save chart..."),
            Check(kCmdShowChartPoints, "Show chart points", chart.showPoints)};
}

std::vector<MenuItem> ContainerMenuItems(const ChartSet& model, bool tracking) {
    std::vector<MenuItem> showHide;
    for (const auto& [id, s] : model.Charts()) showHide.push_back(ShowHideItem(*s));
    return {
        Check(kCmdShowLegend, "Show Legend", model.IsLegendVisible()),
        Separator(),
        Item(kCmdSaveCharts, "Save chart(s)..."),
        Separator(),
        Submenu("Move",
                {Item(kCmdMoveRight, "Move Right"), Item(kCmdMoveLeft, "Move Left"), Separator(),
                 Item(kCmdMoveUp, "Move Up"), Item(kCmdMoveDown, "Move Down")}),
        Separator(),
        Item(kCmdZoomToFit, "Zoom to fit", false, model.HasChartData()),
        Item(kCmdResetContainer, "Reset container"),
        Separator(),
        Check(kCmdEnableTracking, "Enable Tracking", tracking),
        Separator(),
        Submenu("Show/Hide", std::move(showHide)),
    };
}

}  // namespace chart::ui
