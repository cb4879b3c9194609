// calveroctl profile upload / show against a real calvero-sim.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"

namespace {

using Points = std::vector<std::pair<double, double>>;

test_support::RunResult Ctl(std::vector<std::string> args) {
    args.insert(args.begin(), CALVEROCTL_PATH);
    return test_support::Run(args);
}

// A chart XML file with one chart per (name, points).
std::string ChartFile(const test_support::TempDir& dir, const std::string& file,
                      const std::vector<std::pair<std::string, Points>>& charts) {
    std::ostringstream xml;
    xml << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Charts>\n";
    for (const auto& [name, points] : charts) {
        xml << "<Chart Name=\"" << name
            << "\" DashStyle=\"0\" Color=\"-16777216\" PenWidth=\"2.0\" Tension=\"0.0\" "
               "Y_Label=\"Y\">\n";
        for (const auto& [x, y] : points) xml << "<Data X=\"" << x << "\" Y=\"" << y << "\"/>\n";
        xml << "</Chart>\n";
    }
    xml << "</Charts>\n";
    return dir.Write(file, xml.str());
}

Points Ramp(int n) {
    Points out;
    for (int i = 0; i < n; ++i) out.push_back({10.0 * i, 30.0 + i});
    return out;
}

}  // namespace

TEST(CalveroctlProfile, UploadedProfileIsReportedAndBaked) {
    test_support::TempDir dir;
    test_support::SimProcess sim({"--speed", "20"}, false);
    ASSERT_FALSE(sim.Port().empty());
    const std::string file =
        ChartFile(dir, "two.xml", {{"Other", Ramp(5)}, {"Short", {{0, 25}, {2.5, 60.5}}}});

    auto r =
        Ctl({"profile", "upload", "127.0.0.1", file, "--chart", "Short", "--port", sim.Port()});
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ("Temperature profile set, you can bake now!\n", r.out);

    r = Ctl({"profile", "show", "127.0.0.1", "--port", sim.Port()});
    EXPECT_EQ(0, r.code) << r.err;
    EXPECT_EQ("time_s,temp_c\n0.000,25.00\n2.500,60.50\n", r.out);

    // The next bake follows the new profile: it ends after 2.5 simulated seconds.
    ASSERT_EQ(0, Ctl({"start", "127.0.0.1", "--port", sim.Port()}).code);
    EXPECT_TRUE(sim.WaitForLine("bake ended: Success! after 2 s", 5000)) << sim.Proc().Out();
}

TEST(CalveroctlProfile, ChartChoiceAndLimits) {
    test_support::TempDir dir;
    test_support::SimProcess sim;
    ASSERT_FALSE(sim.Port().empty());
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, Points>> charts;
        std::vector<std::string> extra;
        int code;
        std::string out, err;
    };
    const Case cases[] = {
        {"only chart, 2 points",
         {{"A", Ramp(2)}},
         {},
         0,
         "Temperature profile set, you can bake now!\n",
         ""},
        {"only chart, 31 points",
         {{"A", Ramp(31)}},
         {},
         0,
         "Temperature profile set, you can bake now!\n",
         ""},
        {"32 points",
         {{"A", Ramp(32)}},
         {},
         1,
         "",
         "Chart has too much points for temp profile!\n"},
        {"1 point", {{"A", Ramp(1)}}, {}, 1, "", "Chart has to have more than 2 points!\n"},
        {"several, none named",
         {{"A", Ramp(3)}, {"B", Ramp(3)}},
         {},
         1,
         "",
         "Select one chart to upload!\n"},
        {"no charts",
         {},
         {},
         1,
         "",
         "No charts! Open a window with charts and select one to upload as bake profile!\n"},
        {"named chart missing",
         {{"A", Ramp(3)}},
         {"--chart", "Z"},
         2,
         "",
         "calveroctl profile: no chart named 'Z'"},
        // The controller refuses falling times.
        {"refused by the controller",
         {{"A", {{10, 30}, {10, 40}}}},
         {},
         1,
         "Invalid temperature profile packet!\n",
         ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string file = ChartFile(dir, "c" + std::to_string(n++) + ".xml", c.charts);
        std::vector<std::string> args = {"profile", "upload", "127.0.0.1",
                                         file,      "--port", sim.Port()};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const auto r = Ctl(args);
        EXPECT_EQ(c.code, r.code) << c.what << ": " << r.err;
        EXPECT_EQ(c.out, r.out) << c.what;
        EXPECT_EQ(0u, r.err.find(c.err)) << c.what << ": " << r.err;
    }
}

TEST(CalveroctlProfile, UsageAndConnectionErrors) {
    test_support::TempDir dir;
    const std::string file = ChartFile(dir, "a.xml", {{"A", Ramp(3)}});
    const std::string port = std::to_string(test_support::UnusedPort());
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;
    };
    const Case cases[] = {
        {{"profile"}, 2, "calveroctl profile: missing subcommand"},
        {{"profile", "send", "h"}, 2, "calveroctl profile: unknown subcommand 'send'"},
        {{"profile", "upload", "127.0.0.1"}, 2, "calveroctl profile: HOST and FILE are needed"},
        {{"profile", "upload", "127.0.0.1", file, "--speed", "1"},
         2,
         "calveroctl: unknown option '--speed'"},
        // A file it cannot read is named with the reason; the code stays 2.
        {{"profile", "upload", "127.0.0.1", dir.Path("none.xml")},
         2,
         "calveroctl: " + dir.Path("none.xml") + ": No such file or directory\n"},
        {{"profile", "upload", "127.0.0.1", dir.Write("bad.xml", "not xml")},
         2,
         "calveroctl: " + dir.Path("bad.xml") + ": "},
        {{"profile", "show"}, 2, "calveroctl: HOST is missing"},
        {{"profile", "upload", "127.0.0.1", file, "--port", port}, 2, "Unable to connect : "},
        {{"profile", "show", "127.0.0.1", "--port", port}, 2, "Unable to connect : "},
    };
    for (const Case& c : cases) {
        const auto r = Ctl(c.args);
        EXPECT_EQ(c.code, r.code) << c.args.back() << ": " << r.err;
        EXPECT_EQ(0u, r.err.find(c.err)) << r.err;
        EXPECT_FALSE(r.err.empty());
    }
}

TEST(CalveroctlProfile, ShowWithoutAProfile) {
    test_support::SimProcess sim({"--no-profile"});
    const auto r = Ctl({"profile", "show", "127.0.0.1", "--port", sim.Port()});
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("No temperature profile loaded!\n", r.out);
}

TEST(CalveroSim, AutostartStartsABakeAfterTheHandshake) {
    test_support::SimProcess sim({"--autostart", "0.5"}, false);
    ASSERT_FALSE(sim.Port().empty());
    // Nothing happens before a client has connected.
    EXPECT_FALSE(sim.WaitForLine("autostart", 1000));
    auto r = Ctl({"profile", "show", "127.0.0.1", "--port", sim.Port()});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_TRUE(sim.WaitForLine("autostart: bake started", 5000)) << sim.Proc().Out();
    // The controller is now busy: a start request is refused.
    r = Ctl({"start", "127.0.0.1", "--port", sim.Port()});
    EXPECT_EQ("Bussy!\n", r.out);
}

// Options with a value may come anywhere, before the arguments too.
TEST(CalveroctlProfile, OptionsMayComeBeforeTheArguments) {
    test_support::TempDir dir;
    test_support::SimProcess sim;
    ASSERT_FALSE(sim.Port().empty());
    const std::string file = ChartFile(dir, "two.xml", {{"Other", Ramp(5)}, {"B", Ramp(3)}});
    const std::string& port = sim.Port();
    const std::string kSet = "Temperature profile set, you can bake now!\n";
    struct Case {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"profile", "upload", "--port", port, "127.0.0.1", file, "--chart", "B"}, kSet},
        {{"profile", "upload", "127.0.0.1", "--chart", "B", file, "--port", port}, kSet},
        {{"profile", "upload", "--chart", "B", "--port", port, "127.0.0.1", file}, kSet},
        {{"profile", "show", "--port", port, "127.0.0.1"},
         "time_s,temp_c\n0.000,30.00\n10.000,31.00\n20.000,32.00\n"},
        {{"monitor", "--count", "1", "--port", port, "127.0.0.1"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto r = Ctl(c.args);
        EXPECT_EQ(0, r.code) << r.err;
        if (!c.out.empty())
            EXPECT_EQ(c.out, r.out);
        else
            EXPECT_EQ(2u, std::count(r.out.begin(), r.out.end(), '\n')) << r.out;
    }
}

// What a controller command prints is checked too: a full output fails
// with its reason (and a stream stops).
TEST(CalveroctlProfile, FullOutputFails) {
    test_support::SimProcess sim({"--rate", "20"});
    ASSERT_FALSE(sim.Port().empty());
    const std::vector<std::vector<std::string>> cases = {
        {"profile", "show", "127.0.0.1", "--port", sim.Port()},
        {"options", "127.0.0.1", "--port", sim.Port()},
        {"monitor", "127.0.0.1", "--port", sim.Port()},  // endless unless it stops
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full",
                                         CALVEROCTL_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto r = test_support::Run(argv, 10000);
        EXPECT_EQ(1, r.code);
        EXPECT_EQ("calveroctl: cannot write to standard output: No space left on device\n", r.err);
    }
}
