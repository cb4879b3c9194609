// calveroctl monitor: the live readings of one or several controllers as
// CSV, one line per gauge packet. With several hosts every line starts with
// a device column naming its host; one host's output stays as it always was.
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bake/controller_packets.h"
#include "cli/command_io.h"
#include "cli/command_registry.h"
#include "cli/controller_session.h"

namespace {

constexpr char kUsage[] = "monitor HOST [HOST...] [--count N] [--port P]";
constexpr char kColumns[] =
    "time_ms,state,setup_temp,fan_rpm,temp_main,temp1,temp2,temp3,board_temp,heater_pct,fan_pct";

// Hundredths as degrees with two decimals, exact; empty for "no value".
std::string Degrees(int32_t centi) {
    if (!bake::TempHasValue(centi))
        return "";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%02d", centi / 100, centi % 100);
    return buf;
}

std::string GaugeLine(const bake::CONCC_GaugeData& g) {
    const std::string rpm = bake::FanRpmHasValue(g.fanRpm) ? std::to_string(g.fanRpm) : "";
    char buf[256];
    std::snprintf(buf, sizeof buf, "%" PRIu64 ",%u,%s,%s,%s,%s,%s,%s,%s,%u,%u\n", g.timestamp,
                  g.devState, Degrees(g.setupTemp).c_str(), rpm.c_str(),
                  Degrees(g.tempMain).c_str(), Degrees(g.temp1).c_str(), Degrees(g.temp2).c_str(),
                  Degrees(g.temp3).c_str(), Degrees(g.boardTemp).c_str(), unsigned(g.heaterPercent),
                  unsigned(g.fanPercent));
    return buf;
}

int MonitorOne(const cli::CommandLine& cl, uint64_t count) {
    cli::ControllerSession session;
    if (int rc = session.Connect(cl.host, cl.port))
        return rc;
    cli::Print("%s\n", kColumns);
    // Nobody takes the lines any more (full disk, closed pipe): stop.
    if (!cli::FlushStdout())
        return cli::kExitOutputFailed;
    for (uint64_t n = 0; count == 0 || n < count; ++n) {
        int rc = cli::kExitOk;
        auto g = session.WaitForGauge(rc);
        if (!g)
            return rc;
        cli::Write(GaugeLine(*g));
        if (!cli::FlushStdout())
            return cli::kExitOutputFailed;
    }
    return cli::kExitOk;
}

// Every host on its own thread, lines in the order they come. A controller
// that drops or goes quiet ends its own lines only; the others go on, and
// the command's code is the first host's failure in the order given. All
// hosts must connect first: a watch that silently lacks a plate would be
// read as a quiet plate.
int MonitorSeveral(const cli::CommandLine& cl, uint64_t count) {
    std::vector<std::unique_ptr<cli::ControllerSession>> sessions;
    for (const std::string& host : cl.hosts) {
        sessions.push_back(std::make_unique<cli::ControllerSession>());
        sessions.back()->SetMessagePrefix(host + ": ");
        if (int rc = sessions.back()->Connect(host, cl.port))
            return rc;
    }
    cli::Print("device,%s\n", kColumns);
    if (!cli::FlushStdout())
        return cli::kExitOutputFailed;

    std::mutex output;
    std::atomic<bool> outputFailed{false};
    std::vector<int> codes(sessions.size(), cli::kExitOk);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < sessions.size(); ++i) {
        threads.emplace_back([&, i] {
            for (uint64_t n = 0; (count == 0 || n < count) && !outputFailed; ++n) {
                auto g = sessions[i]->WaitForGauge(codes[i]);
                if (!g)
                    return;
                std::lock_guard<std::mutex> lock(output);
                cli::Write(cl.hosts[i] + "," + GaugeLine(*g));
                if (!cli::FlushStdout()) {
                    outputFailed = true;
                    return;
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    if (outputFailed)
        return cli::kExitOutputFailed;
    for (int code : codes) {
        if (code != cli::kExitOk)
            return code;
    }
    return cli::kExitOk;
}

int RunMonitor(const std::vector<std::string>& args) {
    cli::CommandLine cl;
    if (!cli::ParseCommandLine(args, {"--count"}, kUsage, cl, true))
        return cli::kExitNoConnection;
    uint64_t count = 0;  // 0: until the link drops or the controller goes quiet
    if (auto it = cl.values.find("--count"); it != cl.values.end()) {
        if (!cli::ParseUnsigned(it->second, UINT64_MAX, count) || count == 0) {
            std::fprintf(stderr, "calveroctl: invalid count '%s'\nusage: calveroctl %s\n",
                         it->second.c_str(), kUsage);
            return cli::kExitNoConnection;
        }
    }
    return cl.hosts.size() == 1 ? MonitorOne(cl, count) : MonitorSeveral(cl, count);
}

}  // namespace

CALVERO_CLI_COMMAND("monitor", kUsage, RunMonitor);
