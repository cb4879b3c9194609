#pragma once
// The simulated controller's side of discovery: answers status requests,
// reports its status unasked about once a second, and takes a new address
// from set-IP requests addressed to its device ID (refused while baking).
//
// Several simulators share the device port on one host; each is known by its
// device ID, never by its address. The socket is tied to the loopback
// interface, so the simulator's broadcasts cannot leave the machine even when
// it is started outside a private network namespace.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"

namespace sim {

struct DiscoveryIdentity {
    uint32_t deviceId = 1;
    // Network order (first octet in the lowest-addressed byte); 0 = waiting
    // for an address.
    uint32_t ipAddress = 0;
    uint32_t netMask = 0;
    // First octet most significant; 0 = a locally administered address made
    // from the device ID (02:00:ID).
    uint64_t macAddress = 0;
    uint32_t firmwareVersion = 1000000;  // 1.000.000
};

// Command-line forms: "02:00:00:00:00:01"; "1.2.3" (= 1002003) or a plain
// number; a dotted IPv4 address (network order out).
bool ParseMacAddress(const char* text, uint64_t* mac);
bool ParseFirmwareVersion(const char* text, uint32_t* version);
bool ParseIPv4Address(const char* text, uint32_t* networkOrder);

class DiscoveryResponder {
public:
    using BakingFn = std::function<bool()>;
    using LogFn = std::function<void(const std::string& line)>;

    // isBaking is called on the responder's thread; it may be empty (never baking).
    DiscoveryResponder(const DiscoveryIdentity& identity, BakingFn isBaking, LogFn log = {});
    ~DiscoveryResponder();
    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

    // Binds the device port and starts answering. False with *error set when
    // the socket cannot be set up.
    bool Start(std::string* error);
    void Stop();

    // The period of unasked status reports (before Start).
    void SetReportIntervalMs(int ms) { reportIntervalMs_ = ms; }

    // What the responder currently reports (network order).
    uint32_t IpAddress() const { return ipAddress_.load(); }
    uint32_t NetMask() const { return netMask_.load(); }

private:
    void Loop();
    void Handle(const uint8_t* data, size_t size);
    void SendStatus(uint32_t requestId);
    void SendReply(uint32_t type, uint32_t requestId, uint32_t result);
    void Broadcast(const std::vector<uint8_t>& bytes);
    void Say(const std::string& line);

    const DiscoveryIdentity identity_;
    const BakingFn isBaking_;
    const LogFn log_;
    int reportIntervalMs_ = 1000;

    // Written by the responder's thread, read by anyone.
    std::atomic<uint32_t> ipAddress_;
    std::atomic<uint32_t> netMask_;

    // Set up by Start() before the thread exists; then the thread's alone.
    int socket_ = -1;
    bool sendFailing_ = false;
    std::unique_ptr<platform::Event> stop_;
    std::thread thread_;
};

}  // namespace sim
