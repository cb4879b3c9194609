#pragma once
// The discovery datagram format: a 24-byte little-endian header followed by
// a type-dependent payload. Pure data: no sockets here.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "discovery/device_record.h"
#include "platform/byte_order.h"

namespace discovery {

class DiscoveryListener;

inline constexpr uint16_t PLIXOR_HOST_PORT = 22408;
inline constexpr uint16_t PLIXOR_DEVICE_PORT = 22409;
inline constexpr size_t PLIXOR_MAX_DATAGRAM = 5396;
inline constexpr uint16_t PLIXOR_START_FLAG = 0x5788;
inline constexpr uint16_t PLIXOR_VERSION = 2;
inline constexpr size_t PLIXOR_HEADER_SIZE = 24;
inline constexpr size_t PLIXOR_STATUS_PAYLOAD_SIZE = 30;
inline constexpr size_t PLIXOR_CONFIG_PAYLOAD_SIZE = 28;
inline constexpr size_t PLIXOR_SET_IP_PAYLOAD_SIZE = 8;
// A device ID no controller has: the controller's ID is not set.
inline constexpr uint32_t PLIXOR_NO_DEVICE_ID = 0xFFFFFFFF;

// Datagram types.
inline constexpr uint32_t PLIXOR_PKT_DEV_STATUS_REQ = 16;
inline constexpr uint32_t PLIXOR_PKT_SET_ID = 24;
inline constexpr uint32_t PLIXOR_PKT_DEV_STATUS = 32;
inline constexpr uint32_t PLIXOR_PKT_DEV_STATUS_ALT = 33;
inline constexpr uint32_t PLIXOR_PKT_DEV_CONFIG = 66;
inline constexpr uint32_t PLIXOR_PKT_SET_IP = 80;

struct PLIXOR_Header {
    uint16_t startFlag = PLIXOR_START_FLAG;
    uint16_t version = PLIXOR_VERSION;
    uint32_t deviceId = 0;
    uint32_t length = PLIXOR_HEADER_SIZE;
    uint32_t type = 0;
    uint32_t requestId = 0;
    uint32_t result = 0;
};

// Header (with its length set to 24 + payload size) followed by the payload.
std::vector<uint8_t> EncodeDatagram(PLIXOR_Header header, const uint8_t* payload,
                                    size_t payloadSize);
// The host's two requests.
std::vector<uint8_t> EncodeStatusRequest(uint32_t deviceId, uint32_t requestId);
std::vector<uint8_t> EncodeSetIPRequest(const DeviceIpConfig& request);
// A controller's status report (for the controller's side and for tests).
std::vector<uint8_t> EncodeDevStatus(const DeviceStatus& status, uint32_t requestId);

// Reads the header fields; false when fewer than 24 bytes are given.
bool DecodeHeader(const uint8_t* data, size_t size, PLIXOR_Header* header);
// Payload decoders; the payload must hold 30 and 28 bytes respectively.
DeviceStatus DecodeDevStatus(const PLIXOR_Header& header, const uint8_t* payload);
DeviceConfig DecodeDevConfig(const PLIXOR_Header& header, const uint8_t* payload);

// A rejected datagram or a device error: the source tag and the line's text.
using DatagramLogFn = std::function<void(const char* source, const std::string& text)>;

// Validates one received datagram and raises what it carries on sink; a
// rejected datagram is logged and dropped. Returns false when rejected.
bool DispatchPacket(const uint8_t* data, size_t size, DiscoveryListener& sink,
                    const DatagramLogFn& log);

// Little-endian and octet helpers shared with the controller's side.
using platform::ReadLe16;
using platform::ReadLe32;
using platform::WriteLe16;
using platform::WriteLe32;
// Six octets, the first most significant.
uint64_t ReadMac(const uint8_t* p);
void WriteMac(uint8_t* p, uint64_t mac);

}  // namespace discovery
