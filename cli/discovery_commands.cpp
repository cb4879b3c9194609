// calveroctl discover / set-ip: find controllers on the local network and give
// one a new address, through the same discovery service the program uses.
#include <arpa/inet.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/command_io.h"
#include "cli/command_registry.h"
#include "discovery/device_texts.h"
#include "discovery/discovery_result.h"
#include "discovery/discovery_service.h"

namespace {

constexpr char kDiscoverUsage[] = "discover [--wait SECONDS]";
constexpr char kSetIpUsage[] = "set-ip DEVICE_ID ADDRESS MASK";
constexpr double kDefaultWaitSeconds = 3.0;
constexpr double kMaxWaitSeconds = 3600.0;
constexpr auto kSetIpReplyTimeout = std::chrono::seconds(5);

// The service reports on its own thread; stdout and stderr are shared with
// the command's thread.
std::mutex g_outputLock;

void PrintServiceLog(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_outputLock);
    std::fprintf(stderr, "%s\n", text.c_str());
}

std::string MacText(uint64_t mac) {
    char text[18];
    std::snprintf(
        text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x",
        static_cast<unsigned>((mac >> 40) & 0xFF), static_cast<unsigned>((mac >> 32) & 0xFF),
        static_cast<unsigned>((mac >> 24) & 0xFF), static_cast<unsigned>((mac >> 16) & 0xFF),
        static_cast<unsigned>((mac >> 8) & 0xFF), static_cast<unsigned>(mac & 0xFF));
    return text;
}

bool ParseAddress(const std::string& text, uint32_t* networkOrder) {
    in_addr a{};
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1)
        return false;
    *networkOrder = a.s_addr;
    return true;
}

bool ParseDeviceId(const std::string& text, uint32_t* id) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || v > 0xFFFFFFFFull)
        return false;
    *id = static_cast<uint32_t>(v);
    return true;
}

// Keeps the latest status of every controller that reported.
class DiscoverSink : public discovery::DiscoveryListener {
public:
    void OnDeviceStatus(const discovery::DeviceStatus* status) override {
        std::lock_guard<std::mutex> lock(mutex_);
        // Controllers without an ID are told apart by their MAC.
        devices_[{status->deviceId, status->deviceId == 0xFFFFFFFF ? status->macAddress : 0}] =
            *status;
    }
    void OnServiceLog(std::string text) override { PrintServiceLog(text); }

    std::vector<discovery::DeviceStatus> Devices() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<discovery::DeviceStatus> list;
        for (const auto& [key, status] : devices_) list.push_back(status);
        return list;
    }

private:
    std::mutex mutex_;
    std::map<std::pair<uint32_t, uint64_t>, discovery::DeviceStatus> devices_;  // guarded by mutex_
};

int RunDiscover(const std::vector<std::string>& args) {
    double waitSeconds = kDefaultWaitSeconds;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--wait" && i + 1 < args.size()) {
            char* end = nullptr;
            const double v = std::strtod(args[i + 1].c_str(), &end);
            if (end == args[i + 1].c_str() || *end != '\0' || !std::isfinite(v) || v <= 0 ||
                v > kMaxWaitSeconds) {
                std::fprintf(stderr,
                             "calveroctl discover: invalid wait '%s' (seconds, up to %.0f)\n",
                             args[i + 1].c_str(), kMaxWaitSeconds);
                return 1;
            }
            waitSeconds = v;
            ++i;
        } else {
            std::fprintf(stderr, "usage: calveroctl %s\n", kDiscoverUsage);
            return 1;
        }
    }

    DiscoverSink sink;
    discovery::DiscoveryService service;
    const uint32_t started = service.StartOperations(&sink);
    if (started != 0) {
        std::fprintf(stderr, "calveroctl discover: %s\n", discovery::DiscoveryResultText(started));
        return 1;
    }
    uint32_t result = service.RefreshDevices();
    if (result == 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(waitSeconds));
    }
    service.StopOperations();
    if (result != 0) {
        std::fprintf(stderr, "calveroctl discover: %s\n", discovery::DiscoveryResultText(result));
        return 1;
    }

    std::lock_guard<std::mutex> lock(g_outputLock);
    for (const discovery::DeviceStatus& s : sink.Devices()) {
        cli::Print("%-8s %-11s %-13s %-15s %s\n", discovery::DeviceStatusText(s).c_str(),
                   discovery::DeviceNameText(s.deviceId).c_str(),
                   discovery::FirmwareVersionText(s.firmwareVersion).c_str(),
                   discovery::DeviceIPText(s.ipAddress).c_str(), MacText(s.macAddress).c_str());
    }
    cli::FlushStdout();
    return 0;
}

// Waits for the outcome of one set-IP request.
class SetIpSink : public discovery::DiscoveryListener {
public:
    void OnSetIPResult(uint32_t requestId, uint32_t result) override {
        std::lock_guard<std::mutex> lock(mutex_);
        results_.emplace_back(requestId, result);
        changed_.notify_all();
    }
    void OnServiceLog(std::string text) override { PrintServiceLog(text); }

    std::optional<uint32_t> WaitForResult(uint32_t requestId, std::chrono::seconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        std::optional<uint32_t> found;
        changed_.wait_for(lock, timeout, [&] {
            for (const auto& [id, result] : results_) {
                if (id == requestId)
                    found = result;
            }
            return found.has_value();
        });
        return found;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<uint32_t, uint32_t>> results_;  // guarded by mutex_
};

int RunSetIp(const std::vector<std::string>& args) {
    uint32_t deviceId = 0, address = 0, mask = 0;
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: calveroctl %s\n", kSetIpUsage);
        return 1;
    }
    if (!ParseDeviceId(args[0], &deviceId)) {
        std::fprintf(stderr, "calveroctl set-ip: invalid device ID '%s'\n", args[0].c_str());
        return 1;
    }
    if (!ParseAddress(args[1], &address)) {
        std::fprintf(stderr, "calveroctl set-ip: invalid address '%s'\n", args[1].c_str());
        return 1;
    }
    if (!ParseAddress(args[2], &mask)) {
        std::fprintf(stderr, "calveroctl set-ip: invalid mask '%s'\n", args[2].c_str());
        return 1;
    }

    SetIpSink sink;
    discovery::DiscoveryService service;
    const uint32_t started = service.StartOperations(&sink);
    if (started != 0) {
        std::fprintf(stderr, "calveroctl set-ip: %s\n", discovery::DiscoveryResultText(started));
        return 1;
    }
    uint32_t requestId = 0;
    std::optional<uint32_t> outcome;
    const uint32_t queued = service.SetDeviceIP(deviceId, address, mask, &requestId);
    if (queued != 0) {
        outcome = queued;
    } else {
        outcome = sink.WaitForResult(requestId, kSetIpReplyTimeout);
    }
    service.StopOperations();

    std::lock_guard<std::mutex> lock(g_outputLock);
    if (!outcome) {
        std::fprintf(stderr, "calveroctl set-ip: no reply from device %s within %lld s\n",
                     discovery::DeviceNameText(deviceId).c_str(),
                     static_cast<long long>(kSetIpReplyTimeout.count()));
        return 1;
    }
    cli::Print("%s\n", discovery::DiscoveryResultText(*outcome));
    cli::FlushStdout();
    return *outcome == 0 ? 0 : 1;
}

}  // namespace

CALVERO_CLI_COMMAND("discover", kDiscoverUsage, RunDiscover);
CALVERO_CLI_COMMAND("set-ip", kSetIpUsage, RunSetIp);
