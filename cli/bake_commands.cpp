// calveroctl start, abort, cooldown and options: one controller command,
// its reply printed as the controller's text.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bake/controller_packets.h"
#include "cli/command_io.h"
#include "cli/command_registry.h"
#include "cli/controller_session.h"

namespace {

constexpr char kStartUsage[] = "start HOST [--port P]";
constexpr char kAbortUsage[] = "abort HOST [--port P]";
constexpr char kCooldownUsage[] = "cooldown HOST [--port P]";
constexpr char kOptionsUsage[] =
    "options HOST [--port P] [--kp X] [--ki X] [--kd X] [--ignore-sensor-diff 0|1] "
    "[--secondary-sensor 0|1]\n"
    "             (prints the bake options; with a value given, changes them)";

int RunStartStop(const std::vector<std::string>& args, uint32_t action, const char* usage) {
    cli::CommandLine cl;
    if (!cli::ParseCommandLine(args, {}, usage, cl))
        return cli::kExitNoConnection;
    cli::ControllerSession session;
    if (int rc = session.Connect(cl.host, cl.port))
        return rc;

    const auto packet = session.Protocol().StartStop(action);
    if (int rc = session.Send(packet.data(), packet.size()))
        return rc;
    int rc = cli::kExitOk;
    auto reply = session.WaitForReply(bake::CONCC_PKT_START_STOP, rc);
    if (!reply)
        return rc;
    bake::CONCC_Header h;
    bake::DecodeHeader(reply->data(), reply->size(), h);
    cli::Print("%s\n", bake::ResultCodeText(h.result));
    return h.result == bake::kResultSuccess ? cli::kExitOk : cli::kExitRefused;
}

int RunStart(const std::vector<std::string>& args) {
    return RunStartStop(args, bake::CONCC_ACT_START, kStartUsage);
}
int RunAbort(const std::vector<std::string>& args) {
    return RunStartStop(args, bake::CONCC_ACT_ABORT, kAbortUsage);
}
int RunCooldown(const std::vector<std::string>& args) {
    return RunStartStop(args, bake::CONCC_ACT_COOLDOWN, kCooldownUsage);
}

bool ParseNumber(const std::string& text, double& out) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end)
        return false;
    out = v;
    return true;
}

void PrintOptions(const bake::CONCC_BakeOptions& o) {
    cli::Print("kp=%.15g\nki=%.15g\nkd=%.15g\nignore_sensor_diff=%u\nuse_secondary_sensor=%u\n",
               bake::CoefficientFromWire(o.kp), bake::CoefficientFromWire(o.ki),
               bake::CoefficientFromWire(o.kd),
               (o.options & bake::CONCC_OPT_IGNORE_SENSOR_DIFF) ? 1u : 0u,
               (o.options & bake::CONCC_OPT_USE_SECONDARY_SENSOR) ? 1u : 0u);
}

int RunOptions(const std::vector<std::string>& args) {
    cli::CommandLine cl;
    if (!cli::ParseCommandLine(
            args, {"--kp", "--ki", "--kd", "--ignore-sensor-diff", "--secondary-sensor"},
            kOptionsUsage, cl))
        return cli::kExitNoConnection;

    // Check every new value before talking to the controller.
    auto usageError = [](const std::string& what) {
        std::fprintf(stderr, "calveroctl: %s\nusage: calveroctl %s\n", what.c_str(), kOptionsUsage);
        return cli::kExitNoConnection;
    };
    double coefficient[3] = {0, 0, 0};
    const char* coefficientNames[3] = {"--kp", "--ki", "--kd"};
    for (int i = 0; i < 3; ++i) {
        auto it = cl.values.find(coefficientNames[i]);
        if (it != cl.values.end() && !ParseNumber(it->second, coefficient[i]))
            return usageError(std::string("invalid number for ") + coefficientNames[i] + ": '" +
                              it->second + "'");
    }
    for (const char* flag : {"--ignore-sensor-diff", "--secondary-sensor"}) {
        auto it = cl.values.find(flag);
        if (it != cl.values.end() && it->second != "0" && it->second != "1")
            return usageError(std::string(flag) + " takes 0 or 1");
    }

    cli::ControllerSession session;
    if (int rc = session.Connect(cl.host, cl.port))
        return rc;
    const auto request = session.Protocol().Request(bake::CONCC_PKT_GET_BAKE_OPTIONS);
    int rc = cli::kExitOk;
    auto reply =
        session.Request(request.data(), request.size(), bake::CONCC_PKT_GET_BAKE_OPTIONS, rc);
    if (!reply)
        return rc;
    bake::CONCC_BakeOptions o;
    if (reply->size() != bake::kBakeOptionsSize ||
        !bake::DecodeBakeOptions(reply->data(), reply->size(), o)) {
        cli::Print("Invalid packet received from device for bake options!\n");
        return cli::kExitRefused;
    }
    if (cl.values.empty()) {
        PrintOptions(o);
        return cli::kExitOk;
    }

    // Change what was asked for, keep the rest as the controller has it.
    uint32_t* fields[3] = {&o.kp, &o.ki, &o.kd};
    for (int i = 0; i < 3; ++i) {
        if (cl.values.count(coefficientNames[i]))
            *fields[i] = bake::CoefficientToWire(coefficient[i]);
    }
    auto setBit = [&](const char* flag, uint32_t bit) {
        auto it = cl.values.find(flag);
        if (it != cl.values.end())
            o.options = it->second == "1" ? (o.options | bit) : (o.options & ~bit);
    };
    setBit("--ignore-sensor-diff", bake::CONCC_OPT_IGNORE_SENSOR_DIFF);
    setBit("--secondary-sensor", bake::CONCC_OPT_USE_SECONDARY_SENSOR);
    // Only the two known bits are ever sent back.
    o.options &= bake::CONCC_OPT_IGNORE_SENSOR_DIFF | bake::CONCC_OPT_USE_SECONDARY_SENSOR;

    auto packet = bake::EncodeBakeOptions(o);
    session.Protocol().PrepareSetBakeOptions(packet.data());
    if (int rc2 = session.Send(packet.data(), packet.size()))
        return rc2;
    auto setReply = session.WaitForReply(bake::CONCC_PKT_SET_BAKE_OPTIONS, rc);
    if (!setReply)
        return rc;
    bake::CONCC_Header h;
    bake::DecodeHeader(setReply->data(), setReply->size(), h);
    if (h.result != bake::kResultSuccess) {
        cli::Print("Error while set bake options : %s\n", bake::ResultCodeText(h.result));
        return cli::kExitRefused;
    }
    PrintOptions(o);
    cli::Print("Bake options set successfully!\n");
    return cli::kExitOk;
}

}  // namespace

CALVERO_CLI_COMMAND("start", kStartUsage, RunStart);
CALVERO_CLI_COMMAND("abort", kAbortUsage, RunAbort);
CALVERO_CLI_COMMAND("cooldown", kCooldownUsage, RunCooldown);
CALVERO_CLI_COMMAND("options", kOptionsUsage, RunOptions);
