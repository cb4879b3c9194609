// The whole loop of a designed profile: the lead-free template written by
// calveroctl, uploaded to calvero-sim, baked there (sped up) and recorded by
// the program (a child process, offscreen), and the record judged by the
// bake report against the lead-free window.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "chart/chart_set.h"
#include "profile/profile_model.h"
#include "profile/profile_templates.h"
#include "tests/support/process.h"
#include "tests/support/record_files.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(ProfileLoop, TheLeadFreeTemplateBakedByTheSimulatorPassesTheLeadFreeWindow) {
    test_support::TempDir dir;
    const std::string file = dir.Path("pbfree.xml");
    auto r = test_support::Run({CALVEROCTL, "profile", "template", "pbfree", file});
    ASSERT_EQ(0, r.code) << r.err;

    // calveroctl is the first client, so it arms the start key: 6 real
    // seconds later (144 simulated), time for the program to connect. At
    // speed 24 the 380-s bake takes 16 s; 10 packets a second give a point
    // every 2.4 simulated seconds.
    test_support::SimProcess sim(
        {"--port", "5565", "--rate", "10", "--speed", "24", "--autostart", "6"}, false);
    if (sim.Port().empty())
        GTEST_SKIP() << "port 5565 is taken";
    r = test_support::Run({CALVEROCTL, "profile", "upload", "127.0.0.1", file, "--port", "5565"});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_EQ("Temperature profile set, you can bake now!\n", r.out);

    std::filesystem::create_directories(dir.Path("records"));
    test_support::Process program({"/usr/bin/env", "QT_QPA_PLATFORM=offscreen",
                                   "XDG_CONFIG_HOME=" + dir.Path("config"),
                                   "XDG_DATA_HOME=" + dir.Path("data"), CALVERO_PATH, "--connect",
                                   "127.0.0.1", "--records", dir.Path("records")});
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(sim.WaitForLine("autostart: bake started", 30000));
    const std::string record = test_support::WaitForRecord(dir.Path("records"), 90000);
    ASSERT_FALSE(record.empty()) << program.Err();

    // The record holds the uploaded profile as the controller reported it
    // and a main temperature from the very start of the bake.
    chart::ChartSet model;
    std::set<int> ids;
    std::wstring error;
    ASSERT_TRUE(model.LoadChartsXml(std::wstring(record.begin(), record.end()), ids, error));
    const chart::ChartSeries* main = model.FindChartByName(L"Temp Main");
    ASSERT_NE(nullptr, main);
    ASSERT_GE(main->Points().size(), 100u);
    EXPECT_LT(main->Points().front().x, 5.0) << "the program missed the start of the bake";
    EXPECT_GE(main->Points().back().x, 370.0);

    r = test_support::Run({CALVEROCTL, "chart", "report", record, "--window", "pbfree"});
    std::printf("%s", r.out.c_str());
    EXPECT_EQ(0, r.code) << r.out << r.err;
}

TEST(ProfileLoop, TheSimulatorStatesTheRatesItsPlateCanFollow) {
    const auto help = test_support::Run({CALVERO_SIM_PATH, "--help"});
    ASSERT_EQ(0, help.code);
    EXPECT_NE(std::string::npos, help.out.find("heats by at most 3.0 \u00b0C/s at 25 degrees"))
        << help.out;
    EXPECT_NE(std::string::npos, help.out.find("cools by at most 4.5 \u00b0C/s at 250 degrees"))
        << help.out;
}

}  // namespace
