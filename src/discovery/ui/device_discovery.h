#pragma once
// What the device selection asks of its discovery service. The dialog embeds
// a DiscoveryService and reaches it through this; tests put a scripted
// service in its place.

#include <cstdint>

#include "discovery/discovery_listener.h"
#include "discovery/discovery_service.h"

namespace discovery::ui {

class DeviceDiscovery {
public:
    virtual ~DeviceDiscovery() = default;
    virtual uint32_t StartOperations(DiscoveryListener* sink) = 0;
    virtual uint32_t StopOperations() = 0;
    virtual bool IsRunning() const = 0;
    virtual bool Stop(uint32_t* exitCode, uint32_t timeoutMs) = 0;
    virtual uint32_t RefreshDevices() = 0;
    virtual uint32_t SetDeviceIP(uint32_t deviceId, uint32_t ipAddress, uint32_t netMask,
                                 uint32_t* requestId) = 0;
};

// The discovery service itself.
class ServiceDiscovery : public DeviceDiscovery {
public:
    explicit ServiceDiscovery(DiscoveryService& service) : service_(service) {}
    uint32_t StartOperations(DiscoveryListener* sink) override {
        return service_.StartOperations(sink);
    }
    uint32_t StopOperations() override { return service_.StopOperations(); }
    bool IsRunning() const override { return service_.IsRunning(); }
    bool Stop(uint32_t* exitCode, uint32_t timeoutMs) override {
        return service_.Stop(exitCode, timeoutMs);
    }
    uint32_t RefreshDevices() override { return service_.RefreshDevices(); }
    uint32_t SetDeviceIP(uint32_t deviceId, uint32_t ipAddress, uint32_t netMask,
                         uint32_t* requestId) override {
        return service_.SetDeviceIP(deviceId, ipAddress, netMask, requestId);
    }

private:
    DiscoveryService& service_;
};

}  // namespace discovery::ui
