#pragma once
// How a controller's status reads to the operator, wherever it is listed:
// in the device selection and in calveroctl's discover output.

#include <cstdint>
#include <string>

#include "discovery/device_record.h"

namespace discovery {

// "Wait IP" for a controller without an address, else "Online".
std::string DeviceStatusText(const DeviceStatus& status);
// "<unknown>" for a controller whose ID is not set, else the decimal ID.
std::string DeviceNameText(uint32_t deviceId);
// "Unknown" for 0 (no address yet), else the dotted address. The address is
// in network order: first octet in the lowest-addressed byte.
std::string DeviceIPText(uint32_t ipAddress);

}  // namespace discovery
