// calveroctl monitor: the controller's live readings as CSV, one line per
// gauge packet.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "bake/controller_packets.h"
#include "cli/command_io.h"
#include "cli/command_registry.h"
#include "cli/controller_session.h"

namespace {

constexpr char kUsage[] = "monitor HOST [--count N] [--port P]";

// Hundredths as degrees with two decimals, exact; empty for "no value".
std::string Degrees(int32_t centi) {
    if (!bake::TempHasValue(centi))
        return "";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%02d", centi / 100, centi % 100);
    return buf;
}

int RunMonitor(const std::vector<std::string>& args) {
    cli::CommandLine cl;
    if (!cli::ParseCommandLine(args, {"--count"}, kUsage, cl))
        return cli::kExitNoConnection;
    uint64_t count = 0;  // 0: until the link drops or the controller goes quiet
    if (auto it = cl.values.find("--count"); it != cl.values.end()) {
        if (!cli::ParseUnsigned(it->second, UINT64_MAX, count) || count == 0) {
            std::fprintf(stderr, "calveroctl: invalid count '%s'\nusage: calveroctl %s\n",
                         it->second.c_str(), kUsage);
            return cli::kExitNoConnection;
        }
    }

    cli::ControllerSession session;
    if (int rc = session.Connect(cl.host, cl.port))
        return rc;

    cli::Print(
        "time_ms,state,setup_temp,fan_rpm,temp_main,temp1,temp2,temp3,board_temp,heater_pct,fan_"
        "pct\n");
    // Nobody takes the lines any more (full disk, closed pipe): stop.
    if (!cli::FlushStdout())
        return cli::kExitOutputFailed;
    for (uint64_t n = 0; count == 0 || n < count; ++n) {
        int rc = cli::kExitOk;
        auto g = session.WaitForGauge(rc);
        if (!g)
            return rc;
        const std::string rpm = bake::FanRpmHasValue(g->fanRpm) ? std::to_string(g->fanRpm) : "";
        cli::Print("%" PRIu64 ",%u,%s,%s,%s,%s,%s,%s,%s,%u,%u\n", g->timestamp, g->devState,
                   Degrees(g->setupTemp).c_str(), rpm.c_str(), Degrees(g->tempMain).c_str(),
                   Degrees(g->temp1).c_str(), Degrees(g->temp2).c_str(), Degrees(g->temp3).c_str(),
                   Degrees(g->boardTemp).c_str(), unsigned(g->heaterPercent),
                   unsigned(g->fanPercent));
        if (!cli::FlushStdout())
            return cli::kExitOutputFailed;
    }
    return cli::kExitOk;
}

}  // namespace

CALVERO_CLI_COMMAND("monitor", kUsage, RunMonitor);
