#pragma once
// What the discovery service reports to its client. Every operation is
// called on the service's worker thread and does nothing by default; a record
// passed by pointer lives only for the duration of the call.

#include <cstdint>
#include <string>

#include "discovery/device_record.h"

namespace discovery {

class DiscoveryListener {
public:
    virtual ~DiscoveryListener() = default;

    // Every status datagram.
    virtual void OnDeviceStatus(const DeviceStatus* /*status*/) {}
    // Every configuration reply.
    virtual void OnDeviceConfig(const DeviceConfig* /*config*/, uint32_t /*result*/) {}
    // Every set-ID reply.
    virtual void OnSetDeviceIdResult(uint32_t /*requestId*/, uint32_t /*result*/) {}
    // Every set-IP reply, and a set-IP request that could not be sent.
    virtual void OnSetIPResult(uint32_t /*requestId*/, uint32_t /*result*/) {}
    // Every log line of the service; the text is the sink's to keep or move.
    // NOLINTNEXTLINE(performance-unnecessary-value-param): by value, so a sink moves it
    virtual void OnServiceLog(std::string /*text*/) {}
};

}  // namespace discovery
