#include "discovery/discovery_datagram.h"

#include <cstdio>
#include <cstring>

#include "discovery/discovery_listener.h"
#include "discovery/discovery_result.h"

namespace discovery {

namespace {

constexpr const char* kDispatchSource = "CProgServiceMgr::DispatchPacket";
constexpr const char* kDeviceErrorSource = "DumpPLIXOR_ERR";

void LogDeviceError(const PLIXOR_Header& header, const DatagramLogFn& log) {
    if (header.result != PLIXOR_ERR_OK && log)
        log(kDeviceErrorSource, DeviceErrorText(header.deviceId, header.result));
}

bool Reject(const DatagramLogFn& log, const std::string& text) {
    if (log)
        log(kDispatchSource, text);
    return false;
}

}  // namespace

uint64_t ReadMac(const uint8_t* p) {
    uint64_t mac = 0;
    for (int i = 0; i < 6; ++i) mac = (mac << 8) | p[i];
    return mac;
}

void WriteMac(uint8_t* p, uint64_t mac) {
    for (int i = 0; i < 6; ++i) p[i] = static_cast<uint8_t>(mac >> (8 * (5 - i)));
}

std::vector<uint8_t> EncodeDatagram(PLIXOR_Header header, const uint8_t* payload,
                                    size_t payloadSize) {
    std::vector<uint8_t> bytes(PLIXOR_HEADER_SIZE + payloadSize);
    header.length = static_cast<uint32_t>(bytes.size());
    uint8_t* p = bytes.data();
    WriteLe16(p + 0, header.startFlag);
    WriteLe16(p + 2, header.version);
    WriteLe32(p + 4, header.deviceId);
    WriteLe32(p + 8, header.length);
    WriteLe32(p + 12, header.type);
    WriteLe32(p + 16, header.requestId);
    WriteLe32(p + 20, header.result);
    if (payloadSize != 0)
        std::memcpy(p + PLIXOR_HEADER_SIZE, payload, payloadSize);
    return bytes;
}

std::vector<uint8_t> EncodeStatusRequest(uint32_t deviceId, uint32_t requestId) {
    PLIXOR_Header header;
    header.type = PLIXOR_PKT_DEV_STATUS_REQ;
    header.deviceId = deviceId;
    header.requestId = requestId;
    return EncodeDatagram(header, nullptr, 0);
}

std::vector<uint8_t> EncodeSetIPRequest(const DeviceIpConfig& request) {
    PLIXOR_Header header;
    header.type = PLIXOR_PKT_SET_IP;
    header.deviceId = request.deviceId;
    header.requestId = request.requestId;
    // Both values are held in network order: their bytes go out as they lie.
    uint8_t payload[PLIXOR_SET_IP_PAYLOAD_SIZE];
    std::memcpy(payload, &request.ipAddress, 4);
    std::memcpy(payload + 4, &request.netMask, 4);
    return EncodeDatagram(header, payload, sizeof payload);
}

std::vector<uint8_t> EncodeDevStatus(const DeviceStatus& status, uint32_t requestId) {
    PLIXOR_Header header;
    header.type = PLIXOR_PKT_DEV_STATUS;
    header.deviceId = status.deviceId;
    header.requestId = requestId;
    uint8_t payload[PLIXOR_STATUS_PAYLOAD_SIZE];
    WriteLe32(payload + 0, status.statusWord0);
    WriteLe32(payload + 4, status.firmwareVersion);
    WriteLe32(payload + 8, status.statusWord2);
    WriteLe32(payload + 12, status.statusWord3);
    WriteLe32(payload + 16, status.statusWord4);
    WriteMac(payload + 20, status.macAddress);
    std::memcpy(payload + 26, &status.ipAddress, 4);
    return EncodeDatagram(header, payload, sizeof payload);
}

bool DecodeHeader(const uint8_t* data, size_t size, PLIXOR_Header* header) {
    if (size < PLIXOR_HEADER_SIZE)
        return false;
    header->startFlag = ReadLe16(data + 0);
    header->version = ReadLe16(data + 2);
    header->deviceId = ReadLe32(data + 4);
    header->length = ReadLe32(data + 8);
    header->type = ReadLe32(data + 12);
    header->requestId = ReadLe32(data + 16);
    header->result = ReadLe32(data + 20);
    return true;
}

DeviceStatus DecodeDevStatus(const PLIXOR_Header& header, const uint8_t* payload) {
    DeviceStatus status;
    status.deviceId = header.deviceId;
    status.statusWord0 = ReadLe32(payload + 0);
    status.firmwareVersion = ReadLe32(payload + 4);
    status.statusWord2 = ReadLe32(payload + 8);
    status.statusWord3 = ReadLe32(payload + 12);
    status.statusWord4 = ReadLe32(payload + 16);
    status.macAddress = ReadMac(payload + 20);
    std::memcpy(&status.ipAddress, payload + 26, 4);
    return status;
}

DeviceConfig DecodeDevConfig(const PLIXOR_Header& header, const uint8_t* payload) {
    DeviceConfig config;
    config.requestId = header.requestId;
    config.deviceId = header.deviceId;
    if (header.result != PLIXOR_ERR_OK)
        return config;
    config.configWord0 = ReadLe32(payload + 0);
    config.configWord3 = ReadLe32(payload + 12);
    config.macAddress = ReadMac(payload + 16);
    config.value48 = ReadMac(payload + 22);
    return config;
}

bool DispatchPacket(const uint8_t* data, size_t size, DiscoveryListener& sink,
                    const DatagramLogFn& log) {
    PLIXOR_Header header;
    if (!DecodeHeader(data, size, &header))
        return Reject(log, "Bad pkt size received!");
    if (size != header.length)
        return Reject(log, "Inconsistent pkt size received!");
    if (header.startFlag != PLIXOR_START_FLAG)
        return Reject(log, "Bad pkt start flag received!");
    if (header.version != PLIXOR_VERSION)
        return Reject(log, "Bad pkt version received!");

    const uint8_t* payload = data + PLIXOR_HEADER_SIZE;
    const size_t payloadSize = size - PLIXOR_HEADER_SIZE;
    switch (header.type) {
        case 1:
        case 2:
        case PLIXOR_PKT_DEV_STATUS_REQ:
        case 48:
        case 49:
        case 64:
        case 65:
            return true;
        case PLIXOR_PKT_SET_ID:
            LogDeviceError(header, log);
            sink.OnSetDeviceIdResult(header.requestId, SetReplyResult(header.result));
            return true;
        case PLIXOR_PKT_DEV_STATUS:
        case PLIXOR_PKT_DEV_STATUS_ALT: {
            // A length that agrees with the header but leaves no room for the
            // payload would have the decoder read past what was received.
            if (payloadSize < PLIXOR_STATUS_PAYLOAD_SIZE)
                return Reject(log, "Bad pkt size received!");
            const DeviceStatus status = DecodeDevStatus(header, payload);
            sink.OnDeviceStatus(&status);
            return true;
        }
        case PLIXOR_PKT_DEV_CONFIG: {
            if (header.result == PLIXOR_ERR_OK && payloadSize < PLIXOR_CONFIG_PAYLOAD_SIZE)
                return Reject(log, "Bad pkt size received!");
            LogDeviceError(header, log);
            const DeviceConfig config = DecodeDevConfig(header, payload);
            sink.OnDeviceConfig(&config, ConfigReplyResult(header.result));
            return true;
        }
        case PLIXOR_PKT_SET_IP:
            LogDeviceError(header, log);
            sink.OnSetIPResult(header.requestId, SetReplyResult(header.result));
            return true;
        default: {
            char text[64];
            std::snprintf(text, sizeof text, "Received unknown packet type : 0x%x!", header.type);
            return Reject(log, text);
        }
    }
}

}  // namespace discovery
