// calvero-sim: a simulated heated-plate controller to run beside the
// operator program or calveroctl.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "sim/controller_model.h"
#include "sim/discovery_responder.h"
#include "sim/sim_server.h"

#ifndef CALVERO_VERSION
#define CALVERO_VERSION "0.0.0"
#endif

namespace {

sim::SimServer* g_server = nullptr;

void OnSignal(int) {
    if (g_server)
        g_server->Stop();
}

struct Settings {
    sim::ServerOptions server;
    bool noProfile = false;
    double plateTemp = -1000;  // below absolute zero: start at ambient
    double autostart = -1;     // seconds; negative: only a start request starts a bake
    double heaterFault = -1;   // seconds into a bake; negative: the heater works
    bool quiet = false;
    sim::DiscoveryIdentity discovery;
    bool discoveryIpGiven = false;
};

// One command-line option: its name, the name of its argument (nullptr for a
// flag), the help text, and what it does with the argument (false = invalid).
struct Option {
    const char* name;
    const char* arg;
    const char* help;
    std::function<bool(const char*)> apply;
};

bool ParseDouble(const char* s, double& out, double lo, double hi) {
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s || *end || !(v >= lo && v <= hi))
        return false;
    out = v;
    return true;
}

bool ParseU32(const char* s, uint32_t& out, uint32_t hi) {
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(s, &end, 10);
    if (end == s || *end || errno || *s == '-' || v > hi)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

std::vector<Option> MakeOptions(Settings& s) {
    return {
        {"--port", "PORT", "TCP port to listen on (default 5565; 0 = any free port)",
         [&s](const char* a) {
             uint32_t v;
             if (!ParseU32(a, v, 65535))
                 return false;
             s.server.port = static_cast<uint16_t>(v);
             return true;
         }},
        {"--bind", "ADDRESS", "IPv4 address to listen on (default 127.0.0.1: this machine only)",
         [&s](const char* a) {
             s.server.bind = a;
             return true;
         }},
        {"--rate", "N", "gauge packets per second (default 4, up to 1000)",
         [&s](const char* a) {
             return ParseDouble(a, s.server.rate, 0.01, 1000) && s.server.rate > 0;
         }},
        {"--speed", "FACTOR", "simulated seconds per real second (default 1, up to 1000)",
         [&s](const char* a) { return ParseDouble(a, s.server.speed, 0.01, 1000); }},
        {"--refuse-init", "N",
         "refuse every handshake with INIT result N (1-9 are the known refusals)",
         [&s](const char* a) { return ParseU32(a, s.server.refuseInit, 0xFFFFFFFFu); }},
        {"--autostart", "SECONDS",
         "start a bake by itself SECONDS after the first client connected, as the\n"
         "                         controller's own start key would (needs a profile and a cool "
         "plate)",
         [&s](const char* a) { return ParseDouble(a, s.autostart, 0, 86400); }},
        {"--heater-fault", "SECONDS",
         "the heater stops delivering SECONDS of bake time into every bake (the\n"
         "                         controller does not notice: the plate falls behind the profile)",
         [&s](const char* a) { return ParseDouble(a, s.heaterFault, 0, 86400); }},
        {"--drop-link", "SECONDS",
         "drop the client's link SECONDS of bake time after a bake started (once per\n"
         "                         bake; the bake goes on and the client may connect again)",
         [&s](const char* a) {
             double v;
             if (!ParseDouble(a, v, 0, 86400))
                 return false;
             s.server.dropLinkAfterBakeMs = static_cast<uint64_t>(v * 1000.0);
             return true;
         }},
        {"--no-profile", nullptr, "start without a temperature profile (start then answers 12)",
         [&s](const char*) {
             s.noProfile = true;
             return true;
         }},
        {"--plate-temp", "DEGREES",
         "start with the plate at this temperature (default: ambient, 25)",
         [&s](const char* a) { return ParseDouble(a, s.plateTemp, -50, 400); }},
        {"--device-id", "ID", "discovery: the controller's device ID (default 1)",
         [&s](const char* a) { return ParseU32(a, s.discovery.deviceId, 0xFFFFFFFFu); }},
        {"--ip", "ADDRESS",
         "discovery: reported IPv4 address (default: --bind; 0.0.0.0 = waiting for one)",
         [&s](const char* a) {
             return s.discoveryIpGiven = sim::ParseIPv4Address(a, &s.discovery.ipAddress);
         }},
        {"--mac", "MAC", "discovery: reported MAC address (default 02:00 and the device ID)",
         [&s](const char* a) { return sim::ParseMacAddress(a, &s.discovery.macAddress); }},
        {"--firmware", "VERSION",
         "discovery: reported firmware version, 1.2.3 or a number (default 1.000.000)",
         [&s](const char* a) {
             return sim::ParseFirmwareVersion(a, &s.discovery.firmwareVersion);
         }},
        {"--quiet", nullptr, "print nothing but errors",
         [&s](const char*) {
             s.quiet = true;
             return true;
         }},
    };
}

// The steepest rise (heater at full) and fall (fan at full, heater off) of
// the plate at `degrees`, in degrees per second.
double HeatingLimit(const sim::ModelParameters& p, double degrees) {
    return (p.heaterPower - p.naturalLoss * (degrees - p.ambient)) / p.heatCapacity;
}
double CoolingLimit(const sim::ModelParameters& p, double degrees) {
    return (p.naturalLoss + p.fanLoss) * (degrees - p.ambient) / p.heatCapacity;
}

void PrintHelp(const std::vector<Option>& options) {
    const sim::ModelParameters p;
    std::printf(
        "Usage: calvero-sim [OPTION...]\n\n"
        "A simulated heated-plate controller: serves one client at a time on its TCP\n"
        "link and answers every controller command. A client that has not completed\n"
        "the handshake %lld s after connecting is dropped.\n\noptions:\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::seconds>(sim::ServerOptions().handshakeTimeout)
                .count()));
    for (const auto& o : options) {
        std::string left = std::string(o.name) + (o.arg ? std::string(" ") + o.arg : "");
        std::printf("  %-22s %s\n", left.c_str(), o.help);
    }
    std::printf("  %-22s %s\n  %-22s %s\n", "--help", "show this text", "--version",
                "show the version");
    std::printf(
        "\nBy default the simulator serves this machine only. To offer it to the network,\n"
        "give --bind 0.0.0.0 (every interface) or the address of one interface; anyone\n"
        "who can reach it there can then start bakes and change its options.\n");
    std::printf(
        "\nthe simulated controller:\n"
        "  plate: heat capacity %.0f J/K, heater %.0f W, losses %.1f W/K plus %.1f W/K at\n"
        "  full fan, ambient %.0f degrees; sensors lag the plate (main 1 s, sensor 1 1.5 s,\n"
        "  sensor 2 2.5 s, sensor 3 on the load 12 s, board 60 s); fan up to %.0f rpm.\n"
        "  The plate heats by at most %.1f \u00b0C/s at %.0f degrees, %.1f \u00b0C/s at 250;\n"
        "  with the fan at full it cools by at most %.1f \u00b0C/s at 250 degrees and\n"
        "  %.1f \u00b0C/s at 100: a profile asking for more is followed late.\n"
        "  A PID loop on the stored coefficients follows the profile on the main sensor\n"
        "  (or sensor 1 with the secondary-sensor option); heater = output, fan = -output.\n"
        "  A lead-free reflow profile (peak 245 degrees, 360 s) is loaded at start.\n"
        "  Start needs a profile (12), an idle controller (5) and a plate at or below\n"
        "  max(%.0f, first profile point + %.0f) degrees (11). Abort when idle gives 4.\n"
        "  Cooling: after every bake (finished, failed or aborted) and on cooldown the\n"
        "  fan runs at 100 %% until the main sensor is below %.0f degrees.\n"
        "  A bake fails with Overheat (10) above %.0f degrees and, unless ignored, with\n"
        "  a sensor difference (9) above %.0f degrees; its result packet gives the bake\n"
        "  time in seconds (an aborted bake sends none).\n"
        "  A profile needs 2 to 31 points, strictly rising times and temperatures up to\n"
        "  %.0f degrees (else 13); profile and options are refused while baking (5).\n",
        p.heatCapacity, p.heaterPower, p.naturalLoss, p.fanLoss, p.ambient, p.fanMaxRpm,
        HeatingLimit(p, p.ambient), p.ambient, HeatingLimit(p, 250), CoolingLimit(p, 250),
        CoolingLimit(p, 100), p.startFloor, p.startMargin, p.coolTarget, p.overheat,
        p.sensorDiffLimit, p.maxProfileTemp);
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    const auto options = MakeOptions(settings);

    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            PrintHelp(options);
            return 0;
        }
        if (!std::strcmp(arg, "--version")) {
            std::printf("calvero-sim %s\n", CALVERO_VERSION);
            return 0;
        }
        const Option* match = nullptr;
        for (const auto& o : options) {
            if (!std::strcmp(arg, o.name))
                match = &o;
        }
        if (!match) {
            std::fprintf(stderr, "calvero-sim: unknown option '%s' (see --help)\n", arg);
            return 2;
        }
        const char* value = nullptr;
        if (match->arg) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "calvero-sim: %s needs %s\n", match->name, match->arg);
                return 2;
            }
            value = argv[++i];
        }
        if (!match->apply(value)) {
            std::fprintf(stderr, "calvero-sim: invalid value for %s: '%s'\n", match->name,
                         value ? value : "");
            return 2;
        }
    }

    sim::ControllerModel model;
    if (settings.noProfile)
        model.ClearProfile();
    if (settings.plateTemp > -1000)
        model.SetPlateTemperature(settings.plateTemp);

    const bool quiet = settings.quiet;
    // The delay is the operator's wall-clock wait; the model counts simulated time.
    if (settings.autostart >= 0)
        model.SetAutostart(
            static_cast<uint64_t>(settings.autostart * 1000.0 * settings.server.speed));
    // Counted in the bake's own (simulated) time, like the profile it breaks.
    if (settings.heaterFault >= 0)
        model.SetHeaterFault(static_cast<uint64_t>(settings.heaterFault * 1000.0));
    model.SetNoteSink([quiet](const std::string& line) {
        if (!quiet) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        }
    });
    sim::SimServer server(model, settings.server, [quiet](const std::string& line) {
        if (!quiet) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        }
    });
    std::string error;
    if (server.Open(&error) != 0) {
        std::fprintf(stderr, "calvero-sim: %s\n", error.c_str());
        return 1;
    }
    // Before the line below: whoever reads it may stop the simulator at once.
    g_server = &server;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    // Always printed: with --port 0 it is the only way to learn the port.
    std::printf("calvero-sim listening on %s:%u\n", settings.server.bind.c_str(), server.Port());
    std::fflush(stdout);

    // The controller's side of discovery; without it the link still serves.
    if (!settings.discoveryIpGiven) {
        const std::string& b = settings.server.bind;
        if (!sim::ParseIPv4Address(b == "0.0.0.0" ? "127.0.0.1" : b.c_str(),
                                   &settings.discovery.ipAddress))
            settings.discovery.ipAddress = 0;
    }
    sim::DiscoveryResponder discovery(
        settings.discovery, [&model] { return model.IsBaking(); },
        [quiet](const std::string& line) {
            if (!quiet) {
                std::printf("%s\n", line.c_str());
                std::fflush(stdout);
            }
        });
    if (!discovery.Start(&error)) {
        std::fprintf(stderr, "calvero-sim: discovery disabled: %s\n", error.c_str());
    }

    const int rc = server.Run();
    g_server = nullptr;
    if (rc != 0) {
        std::fprintf(stderr, "calvero-sim: wait failed: %s\n", std::strerror(rc));
        return 1;
    }
    return 0;
}
