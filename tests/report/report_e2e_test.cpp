// A bake from start to report: calvero-sim bakes its built-in profile, the
// program (a child process, offscreen) records it into the records folder,
// and `calveroctl chart report --json` on the saved record gives metrics that
// agree, within a point's spacing, with what the record's points show.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "chart/chart_set.h"
#include "tests/support/process.h"
#include "tests/support/record_files.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"

namespace {

std::optional<double> JsonNumber(const std::string& json, const std::string& key) {
    const std::string tag = "\"" + key + "\": ";
    const size_t at = json.find(tag);
    if (at == std::string::npos)
        return std::nullopt;
    const char* start = json.c_str() + at + tag.size();
    char* end = nullptr;
    const double v = std::strtod(start, &end);
    if (end == start)
        return std::nullopt;  // null
    return v;
}

}  // namespace

TEST(ReportEndToEnd, TheReportOfASavedBakeAgreesWithItsPoints) {
    test_support::TempDir dir;
    // 360 simulated seconds at speed 24: 15 s; 10 packets a second, one
    // point every 2.4 simulated seconds.
    test_support::SimProcess sim(
        {"--port", "5565", "--rate", "10", "--speed", "24", "--autostart", "0.5"});
    if (sim.Port().empty())
        GTEST_SKIP() << "port 5565 is taken";
    std::filesystem::create_directories(dir.Path("records"));
    test_support::Process program({"/usr/bin/env", "QT_QPA_PLATFORM=offscreen",
                                   "XDG_CONFIG_HOME=" + dir.Path("config"),
                                   "XDG_DATA_HOME=" + dir.Path("data"), CALVERO_PATH, "--connect",
                                   "127.0.0.1", "--records", dir.Path("records")});
    ASSERT_TRUE(program.Started());
    const std::string record = test_support::WaitForRecord(dir.Path("records"), 60000);
    ASSERT_FALSE(record.empty()) << program.Err();

    // What the record's own points show.
    chart::ChartSet model;
    std::set<int> ids;
    std::wstring error;
    ASSERT_TRUE(model.LoadChartsXml(std::wstring(record.begin(), record.end()), ids, error));
    const chart::ChartSeries* main = model.FindChartByName(L"Temp Main");
    ASSERT_NE(nullptr, main);
    const auto& pts = main->Points();
    ASSERT_GE(pts.size(), 100u);
    double spacing = 0;
    for (size_t i = 1; i < pts.size(); ++i) spacing = std::max(spacing, pts[i].x - pts[i - 1].x);
    size_t peak = 0;
    for (size_t i = 1; i < pts.size(); ++i) {
        if (pts[i].y > pts[peak].y)
            peak = i;
    }
    auto firstAt = [&](double level) -> std::optional<double> {
        for (const auto& p : pts) {
            if (p.y >= level)
                return p.x;
        }
        return std::nullopt;
    };
    // Each point at or above the level stands for half the time to each of
    // its neighbours.
    auto timeAtOrAbove = [&](double level) {
        double total = 0;
        for (size_t i = 0; i < pts.size(); ++i) {
            if (pts[i].y < level)
                continue;
            if (i > 0)
                total += (pts[i].x - pts[i - 1].x) / 2;
            if (i + 1 < pts.size())
                total += (pts[i + 1].x - pts[i].x) / 2;
        }
        return total;
    };
    ASSERT_GE(pts[peak].y, 217) << "the built-in profile goes above the liquidus";
    ASSERT_TRUE(firstAt(25) && firstAt(150) && firstAt(200));

    const auto r =
        test_support::Run({CALVEROCTL, "chart", "report", record, "--json", "--window", "pbfree"});
    ASSERT_TRUE(r.code == 0 || r.code == 3) << r.code << r.err;
    EXPECT_EQ(r.code == 0,
              r.out.find("\"verdict\": \"pass\", \"failures\": []") != std::string::npos)
        << r.out;
    std::printf("spacing %.3f s, %zu points\n%s", spacing, pts.size(), r.out.c_str());

    const struct {
        const char* key;
        double expected;
    } checks[] = {
        {"peak_c", pts[peak].y},
        {"peak_time_s", pts[peak].x},
        {"time_25_to_peak_s", pts[peak].x - *firstAt(25)},
        {"preheat_s", *firstAt(200) - *firstAt(150)},
        {"time_above_liquidus_s", timeAtOrAbove(217)},
        {"time_within_5_of_peak_s", timeAtOrAbove(pts[peak].y - 5)},
    };
    for (const auto& c : checks) {
        const std::optional<double> v = JsonNumber(r.out, c.key);
        ASSERT_TRUE(v) << c.key << "\n" << r.out;
        EXPECT_NEAR(c.expected, *v, c.key == std::string("peak_c") ? 1e-3 : spacing) << c.key;
    }
    // The controller reported its profile, so the record has one to compare with.
    EXPECT_TRUE(JsonNumber(r.out, "profile_rms_dev_c")) << r.out;
    EXPECT_TRUE(JsonNumber(r.out, "ramp_up_c_per_s")) << r.out;
    EXPECT_TRUE(JsonNumber(r.out, "ramp_down_c_per_s")) << r.out;
    EXPECT_TRUE(JsonNumber(r.out, "max_rise_c_per_s")) << r.out;
}
