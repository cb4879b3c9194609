#pragma once
// The records that discovery requests are queued as and that received
// discovery datagrams are decoded into. One small polymorphic family: the
// service tells the request kinds apart by their class.

#include <cstdint>

namespace discovery {

// DeviceRecord::action
inline constexpr uint32_t PSM_ACTION_NONE = 0;
inline constexpr uint32_t PSM_ACTION_READ = 1;
inline constexpr uint32_t PSM_ACTION_WRITE = 2;

class DeviceRecord {
public:
    virtual ~DeviceRecord() = default;

    uint32_t requestId = 0;
    uint32_t deviceId = 0;
    uint32_t action = PSM_ACTION_NONE;
};

// A controller's status report; also the "status of every controller"
// request (deviceId 0, action read).
class DeviceStatus : public DeviceRecord {
public:
    uint32_t statusWord0 = 0;
    uint32_t firmwareVersion = 0xFFFFFFFF;
    uint32_t statusWord2 = 0;
    // Six MAC octets, the first in bits 40-47 and the sixth in bits 0-7.
    uint64_t macAddress = 0;
    // The four address octets in network order, as a socket address holds
    // them (first octet in the lowest-addressed byte); 0 = no address yet.
    uint32_t ipAddress = 0;
    uint32_t statusWord3 = 0;
    uint32_t statusWord4 = 0;

    // Compares the reported fields only, not requestId/deviceId/action.
    bool operator==(const DeviceStatus& other) const {
        return statusWord0 == other.statusWord0 && firmwareVersion == other.firmwareVersion &&
               statusWord2 == other.statusWord2 && macAddress == other.macAddress &&
               ipAddress == other.ipAddress && statusWord3 == other.statusWord3 &&
               statusWord4 == other.statusWord4;
    }
};

// A set-IP request; address and mask in network order like ipAddress above.
class DeviceIpConfig : public DeviceRecord {
public:
    uint32_t ipAddress = 0;
    uint32_t netMask = 0;
};

// A controller's configuration reply.
class DeviceConfig : public DeviceRecord {
public:
    uint32_t configWord0 = 0;
    uint32_t configWord3 = 0;
    uint64_t macAddress = 0;  // as DeviceStatus::macAddress
    uint64_t value48 = 0;     // a second 48-bit value, stored like the MAC
};

}  // namespace discovery
