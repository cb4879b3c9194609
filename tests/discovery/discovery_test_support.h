#pragma once
// Shared pieces of the discovery tests: a notification sink that records
// what the service raises, and a UDP peer the test scripts by hand.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "discovery/discovery_listener.h"

namespace discotest {

using namespace std::chrono_literals;

// One notification, flattened so that sequences compare easily.
struct Event {
    enum Kind { Status, Config, SetId, SetIp, Log };
    explicit Event(Kind k) : kind(k) {}
    Kind kind;
    uint32_t requestId = 0;
    uint32_t result = 0;
    std::string text;                // Log
    discovery::DeviceStatus status;  // Status
    discovery::DeviceConfig config;  // Config
};

class RecordingSink : public discovery::DiscoveryListener {
public:
    void OnDeviceStatus(const discovery::DeviceStatus* status) override;
    void OnDeviceConfig(const discovery::DeviceConfig* config, uint32_t result) override;
    void OnSetDeviceIdResult(uint32_t requestId, uint32_t result) override;
    void OnSetIPResult(uint32_t requestId, uint32_t result) override;
    void OnServiceLog(std::string text) override;

    // Waits until pred holds for the events so far; returns the events then
    // (or the events at the deadline, with pred false).
    bool WaitFor(const std::function<bool(const std::vector<Event>&)>& pred,
                 std::chrono::milliseconds timeout = 3000ms);
    // Waits for the n-th (counting from 1) event of a kind.
    std::optional<Event> WaitForKind(Event::Kind kind, size_t n = 1,
                                     std::chrono::milliseconds timeout = 3000ms);
    std::optional<Event> WaitForLog(const std::string& text,
                                    std::chrono::milliseconds timeout = 3000ms);
    std::vector<Event> Events();
    std::vector<std::string> Logs();
    void Clear();

private:
    void Add(Event e);
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;  // guarded by mutex_
};

// A UDP socket of the test. Bound to the device port (sharing it) it hears the
// host's broadcasts; it sends to the host port by broadcast.
class UdpPeer {
public:
    explicit UdpPeer(uint16_t port, bool share = true);
    ~UdpPeer();
    bool ok() const { return fd_ >= 0; }
    // One datagram within timeout, or nullopt.
    std::optional<std::vector<uint8_t>> Receive(std::chrono::milliseconds timeout = 3000ms);
    bool SendToHost(const std::vector<uint8_t>& bytes);

private:
    int fd_ = -1;
};

std::vector<uint8_t> Header(uint16_t flag, uint16_t version, uint32_t deviceId, uint32_t length,
                            uint32_t type, uint32_t requestId, uint32_t result);
std::string AddressText(uint32_t networkOrder);
uint32_t Address(const char* dotted);

}  // namespace discotest
