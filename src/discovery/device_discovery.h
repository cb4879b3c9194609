#pragma once
// What the device selection asks of its discovery service. DiscoveryService
// is the one the program uses; tests put a scripted service in its place.

#include <cstdint>

#include "discovery/discovery_listener.h"

namespace discovery {

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

}  // namespace discovery
