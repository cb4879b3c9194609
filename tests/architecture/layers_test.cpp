// The folders of src/ include only downward, as ARCHITECTURE.md draws them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/architecture/layer_rules.h"
#include "tests/support/temp_dir.h"

using layers::LayerTable;

namespace {

const std::string kRoot = CALVERO_SOURCE_DIR;

LayerTable ProjectLayers() {
    return layers::LayersFromDocument(test_support::TempDir::ReadFile(kRoot + "/ARCHITECTURE.md"));
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    return all;
}

}  // namespace

TEST(Layers, TheDocumentDrawsEveryLayer) {
    const LayerTable table = ProjectLayers();
    const LayerTable expected = {{"platform"},
                                 {"link", "xml"},
                                 {"bake", "chart", "discovery", "alarm"},
                                 {"report"},
                                 {"profile"},
                                 {"overview"},
                                 {"widgets"},
                                 {"bake/ui", "chart/ui", "discovery/ui", "overview/ui", "alarm/ui"},
                                 {"report/ui", "profile/ui"},
                                 {"document"},
                                 {"shell"}};
    EXPECT_EQ(table, expected);
}

TEST(Layers, EveryIncludeUnderSrcGoesDownward) {
    const LayerTable table = ProjectLayers();
    ASSERT_FALSE(table.empty()) << "ARCHITECTURE.md has no ```layers block";
    const std::vector<std::string> problems = layers::CheckTree(table, kRoot + "/src");
    EXPECT_TRUE(problems.empty()) << Joined(problems);
}

TEST(Layers, IncludeRules) {
    const LayerTable table = ProjectLayers();
    ASSERT_FALSE(table.empty());
    struct Case {
        const char* from;
        const char* included;
        bool allowed;
    };
    const Case cases[] = {
        // The cycles and reaches this check was written against.
        {"bake/ui", "shell/packet_listener.h", false},
        {"discovery/ui", "shell/status_bar_dialog.h", false},
        {"discovery/ui", "shell/app_look.h", false},
        {"discovery/ui", "bake/ui/dialog_units.h", false},
        // Their other halves, which are fine.
        {"shell", "bake/ui/control_panel.h", true},
        {"shell", "discovery/ui/device_selection_dialog.h", true},
        // Down one layer, down several, and within the folder.
        {"chart", "xml/xml_node.h", true},
        {"bake/ui", "widgets/dialog_units.h", true},
        {"document", "platform/wait.h", true},
        {"chart/ui", "chart/ui/view_mapping.h", true},
        // A model folder is below its own ui folder: longest prefix decides.
        {"chart/ui", "chart/chart_series.h", true},
        {"bake", "bake/ui/control_panel.h", false},
        // Sideways on one layer.
        {"link", "xml/xml_node.h", false},
        {"chart/ui", "discovery/ui/device_list_model.h", false},
        // Upward.
        {"platform", "link/frame.h", false},
        {"widgets", "bake/ui/control_panel.h", false},
        {"document", "shell/main_window.h", false},
        // Nothing under src/ reaches the executables or the tests.
        {"shell", "sim/sim_server.h", false},
        {"shell", "tests/support/process.h", false},
    };
    for (const Case& c : cases) {
        const std::string problem = layers::IncludeProblem(table, c.from, c.included);
        EXPECT_EQ(problem.empty(), c.allowed)
            << c.from << " including " << c.included << ": " << problem;
    }
}

TEST(Layers, ProblemsNameFileAndLine) {
    test_support::TempDir dir;
    std::filesystem::create_directories(dir.Path("src/bake/ui"));
    std::filesystem::create_directories(dir.Path("src/shell"));
    std::filesystem::create_directories(dir.Path("src/gadgets"));
    dir.Write("src/bake/ui/panel.h",
              "#pragma once\n"
              "#include <vector>\n"
              "#include \"bake/ui/panel_parts.h\"\n"
              "// #include \"shell/commented_out.h\" is text, not an include\n"
              "#  include \"shell/packet_listener.h\"\n"
              "#include \"local.h\"\n");
    dir.Write("src/shell/frame.cpp", "#include \"bake/ui/panel.h\"\n");
    dir.Write("src/gadgets/thing.cpp", "\n");

    const LayerTable table = layers::ParseLayerLine(
        "platform \xE2\x86\x92 bake \xE2\x86\x92 bake/ui \xE2\x86\x92 shell");
    ASSERT_EQ(table.size(), 4u);
    const std::vector<std::string> expected = {
        "src/bake/ui/panel.h:5: includes \"shell/packet_listener.h\": shell is above bake/ui",
        "src/gadgets/thing.cpp:1: is in a folder that is in no layer",
    };
    EXPECT_EQ(layers::CheckTree(table, dir.Path("src")), expected);
}

TEST(Layers, MalformedLayerLinesGiveNoTable) {
    for (const char* line : {"", "platform", "platform \xE2\x86\x92 ", "a, \xE2\x86\x92 b"})
        EXPECT_TRUE(layers::ParseLayerLine(line).empty()) << "\"" << line << "\"";
    EXPECT_TRUE(layers::LayersFromDocument("# Architecture\nno block here\n").empty());
}
