// calveroctl against a real calvero-sim over loopback.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/sim_process.h"

namespace {

using Sim = test_support::SimProcess;

test_support::RunResult Ctl(std::vector<std::string> args) {
    args.insert(args.begin(), CALVEROCTL_PATH);
    return test_support::Run(args);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == ',') {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

bool IsNumber(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// Degrees with exactly two decimals: "245.00".
bool IsDegrees(const std::string& s) {
    auto dot = s.find('.');
    return dot != std::string::npos && IsNumber(s.substr(0, dot)) && s.size() == dot + 3 &&
           IsNumber(s.substr(dot + 1));
}

const char kHeader[] =
    "time_ms,state,setup_temp,fan_rpm,temp_main,temp1,temp2,temp3,board_temp,heater_pct,fan_pct";

}  // namespace

TEST(Calveroctl, MonitorPrintsTheHeaderAndOneLinePerGaugePacket) {
    Sim sim({"--rate", "20"});
    ASSERT_FALSE(sim.Port().empty());
    auto r = Ctl({"monitor", "127.0.0.1", "--count", "3", "--port", sim.Port()});
    EXPECT_EQ(0, r.code) << r.err;
    auto lines = Lines(r.out);
    ASSERT_EQ(4u, lines.size()) << r.out;
    EXPECT_EQ(kHeader, lines[0]);
    // Idle: state 1, no set-up temperature, readings at ambient with two decimals.
    long long previous = -1;
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_TRUE(IsNumber(Fields(lines[i])[0])) << lines[i];
        EXPECT_EQ(",1,,0,25.00,24.60,25.60,25.00,25.00,0,0", lines[i].substr(lines[i].find(',')))
            << lines[i];
        const long long time = std::stoll(lines[i]);
        EXPECT_GT(time, previous);
        previous = time;
    }
}

TEST(Calveroctl, MonitorShowsABake) {
    Sim sim({"--rate", "20", "--speed", "10"});
    ASSERT_EQ(0, Ctl({"start", "127.0.0.1", "--port", sim.Port()}).code);
    auto r = Ctl({"monitor", "127.0.0.1", "--count", "2", "--port", sim.Port()});
    ASSERT_EQ(0, r.code) << r.err;
    auto lines = Lines(r.out);
    ASSERT_EQ(3u, lines.size());
    // Baking: state 2 and a set-up temperature.
    auto f = Fields(lines[2]);
    ASSERT_EQ(11u, f.size()) << lines[2];
    EXPECT_EQ("2", f[1]);
    EXPECT_TRUE(IsDegrees(f[2])) << lines[2];
    EXPECT_TRUE(IsNumber(f[3])) << lines[2];
    for (int i = 4; i <= 8; ++i) EXPECT_TRUE(IsDegrees(f[i])) << lines[2];
    EXPECT_TRUE(IsNumber(f[9]) && IsNumber(f[10])) << lines[2];
}

TEST(Calveroctl, CommandsPrintTheControllersText) {
    struct Step {
        std::vector<std::string> simArgs;
        std::vector<std::string> commands;  // run in order against one simulator
        std::string lastText;
        int lastCode;
    };
    const Step steps[] = {
        {{}, {"start"}, "Success!", 0},
        {{}, {"start", "start"}, "Bussy!", 1},
        {{"--no-profile"}, {"start"}, "No temperature profile loaded!", 1},
        {{"--plate-temp", "150"}, {"start"}, "Too hot to start baking!", 1},
        {{}, {"abort"}, "Not in baking process!", 1},
        {{}, {"start", "abort"}, "Success!", 0},
        {{}, {"cooldown"}, "Success!", 0},
    };
    for (const auto& s : steps) {
        Sim sim(s.simArgs);
        ASSERT_FALSE(sim.Port().empty());
        test_support::RunResult r;
        for (const auto& c : s.commands) r = Ctl({c, "127.0.0.1", "--port", sim.Port()});
        EXPECT_EQ(s.lastText + "\n", r.out) << s.commands.back();
        EXPECT_EQ(s.lastCode, r.code) << s.commands.back() << ": " << r.err;
    }
}

TEST(Calveroctl, OptionsReadAndChange) {
    Sim sim;
    auto before = Ctl({"options", "127.0.0.1", "--port", sim.Port()});
    ASSERT_EQ(0, before.code) << before.err;
    EXPECT_EQ("kp=10\nki=0.5\nkd=5\nignore_sensor_diff=0\nuse_secondary_sensor=0\n", before.out);

    auto set = Ctl(
        {"options", "127.0.0.1", "--port", sim.Port(), "--kp", "1.5", "--ignore-sensor-diff", "1"});
    EXPECT_EQ(0, set.code) << set.err;
    EXPECT_EQ(
        "kp=1.5\nki=0.5\nkd=5\nignore_sensor_diff=1\nuse_secondary_sensor=0\nBake options set "
        "successfully!\n",
        set.out);

    auto after = Ctl({"options", "127.0.0.1", "--port", sim.Port()});
    EXPECT_EQ("kp=1.5\nki=0.5\nkd=5\nignore_sensor_diff=1\nuse_secondary_sensor=0\n", after.out);

    ASSERT_EQ(0, Ctl({"start", "127.0.0.1", "--port", sim.Port()}).code);
    auto busy = Ctl({"options", "127.0.0.1", "--port", sim.Port(), "--kd", "2"});
    EXPECT_EQ(1, busy.code);
    EXPECT_EQ("Error while set bake options : Bussy!\n", busy.out);
}

TEST(Calveroctl, ConnectionFailures) {
    const std::string refused = std::to_string(test_support::UnusedPort());
    auto r = Ctl({"start", "127.0.0.1", "--port", refused});
    EXPECT_EQ(2, r.code);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(
        "Unable to connect : [EIOCPE_WSAECONNREFUSED] There is no running server on selected "
        "host!\n",
        r.err);

    Sim sim({"--refuse-init", "6"});
    auto init = Ctl({"monitor", "127.0.0.1", "--port", sim.Port()});
    EXPECT_EQ(2, init.code);
    EXPECT_EQ(
        "Unable to connect : [EIOCPE_TOO_MANY_CLIENTS_ERR] Server can't handle more clients!\n",
        init.err);
}

TEST(Calveroctl, LinkDropWhileMonitoring) {
    Sim sim({"--rate", "20"});
    test_support::Process monitor({CALVEROCTL_PATH, "monitor", "127.0.0.1", "--port", sim.Port()});
    std::string line;
    ASSERT_TRUE(monitor.ReadLine(line, 5000));
    EXPECT_EQ(kHeader, line);
    ASSERT_TRUE(monitor.ReadLine(line, 5000));
    sim.Proc().Signal(SIGTERM);  // the simulator closes its client on the way out
    EXPECT_EQ(3, monitor.Wait(10000));
    EXPECT_NE(std::string::npos,
              monitor.Err().find(
                  "Disconnected : [EIOCPE_CONN_CLOSED_BY_SERVER] Connection closed by server!\n"))
        << monitor.Err();
}

TEST(Calveroctl, SilentControllerTimesOut) {
    Sim sim({"--rate", "0.05"});  // the first gauge packet would come after 20 s
    auto r = Ctl({"monitor", "127.0.0.1", "--count", "1", "--port", sim.Port()});
    EXPECT_EQ(4, r.code);
    EXPECT_EQ("No gauge data from the controller within 5 s\n", r.err);
}

TEST(Calveroctl, UsageMistakes) {
    const std::vector<std::vector<std::string>> cases = {
        {"start"},
        {"monitor", "127.0.0.1", "--count", "x"},
        {"monitor", "127.0.0.1", "--count", "0"},
        {"abort", "127.0.0.1", "--port", "70000"},
        {"options", "127.0.0.1", "--kp", "fast"},
        {"options", "127.0.0.1", "--secondary-sensor", "2"},
        {"cooldown", "a", "b"},
    };
    for (const auto& c : cases) {
        auto r = Ctl(c);
        EXPECT_EQ(2, r.code) << c[0];
        EXPECT_NE(std::string::npos, r.err.find("usage: calveroctl " + c[0])) << r.err;
    }
}

TEST(Calveroctl, MonitorOfSeveralHostsNamesTheDeviceOfEveryLine) {
    // Two controllers on their own loopback addresses, on one port.
    const std::string port = std::to_string(test_support::UnusedPort());
    Sim a({"--rate", "20", "--bind", "127.0.0.2", "--port", port});
    Sim b({"--rate", "20", "--bind", "127.0.0.3", "--port", port, "--plate-temp", "150"});
    ASSERT_TRUE(a.Listening() && b.Listening());
    auto r = Ctl({"monitor", "127.0.0.2", "127.0.0.3", "--count", "3", "--port", port});
    EXPECT_EQ(0, r.code) << r.err;
    auto lines = Lines(r.out);
    ASSERT_EQ(7u, lines.size()) << r.out;
    EXPECT_EQ(std::string("device,") + kHeader, lines[0]);
    // Each host's own readings (the hot plate cools), three lines each, its times rising.
    const struct {
        std::string host;
        double minMain, maxMain;
    } hosts[] = {
        {"127.0.0.2", 25.0, 25.0},
        {"127.0.0.3", 140.0, 150.0},
    };
    for (const auto& h : hosts) {
        int seen = 0;
        long long previous = -1;
        for (size_t i = 1; i < lines.size(); ++i) {
            auto f = Fields(lines[i]);
            ASSERT_EQ(12u, f.size()) << lines[i];
            if (f[0] != h.host)
                continue;
            ++seen;
            ASSERT_TRUE(IsNumber(f[1])) << lines[i];
            EXPECT_EQ("1", f[2]) << lines[i];  // idle
            ASSERT_TRUE(IsDegrees(f[5])) << lines[i];
            EXPECT_GE(std::stod(f[5]), h.minMain) << lines[i];
            EXPECT_LE(std::stod(f[5]), h.maxMain) << lines[i];
            EXPECT_GT(std::stoll(f[1]), previous);
            previous = std::stoll(f[1]);
        }
        EXPECT_EQ(3, seen) << h.host;
    }
}

TEST(Calveroctl, MonitorOfSeveralHostsOutlivesOneDrop) {
    const std::string port = std::to_string(test_support::UnusedPort());
    Sim a({"--rate", "20", "--bind", "127.0.0.2", "--port", port});
    Sim b({"--rate", "20", "--bind", "127.0.0.3", "--port", port});
    test_support::Process monitor(
        {CALVEROCTL_PATH, "monitor", "127.0.0.2", "127.0.0.3", "--count", "30", "--port", port});
    std::string line;
    ASSERT_TRUE(monitor.ReadLine(line, 5000));
    ASSERT_TRUE(monitor.ReadLine(line, 5000));
    b.Proc().Signal(SIGTERM);
    // The other controller's lines go on to their count; the drop decides the code.
    EXPECT_EQ(3, monitor.Wait(15000));
    int fromA = 0;
    for (const auto& l : Lines(monitor.Out())) fromA += l.rfind("127.0.0.2,", 0) == 0;
    EXPECT_EQ(30, fromA);
    EXPECT_NE(std::string::npos,
              monitor.Err().find("127.0.0.3: Disconnected : [EIOCPE_CONN_CLOSED_BY_SERVER] "
                                 "Connection closed by server!\n"))
        << monitor.Err();
}

TEST(Calveroctl, MonitorOfSeveralHostsNeedsThemAll) {
    const std::string port = std::to_string(test_support::UnusedPort());
    Sim a({"--bind", "127.0.0.2", "--port", port});
    ASSERT_TRUE(a.Listening());
    auto r = Ctl({"monitor", "127.0.0.2", "127.0.0.4", "--count", "1", "--port", port});
    EXPECT_EQ(2, r.code);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(
        "127.0.0.4: Unable to connect : [EIOCPE_WSAECONNREFUSED] There is no running server on "
        "selected host!\n",
        r.err);
}
