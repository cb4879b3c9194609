#include "discovery/device_texts.h"

#include <cstdio>

namespace discovery {

std::string DeviceStatusText(const DeviceStatus& status) {
    return status.ipAddress == 0 ? "Wait IP" : "Online";
}

std::string DeviceNameText(uint32_t deviceId) {
    if (deviceId == 0xFFFFFFFF)
        return "<unknown>";
    return std::to_string(deviceId);
}

std::string DeviceIPText(uint32_t ipAddress) {
    if (ipAddress == 0)
        return "Unknown";
    // Network order: the first octet is the lowest-addressed byte.
    const auto* octet = reinterpret_cast<const uint8_t*>(&ipAddress);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", octet[0], octet[1], octet[2], octet[3]);
    return text;
}

}  // namespace discovery
