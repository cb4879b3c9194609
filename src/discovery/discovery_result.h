#pragma once
// Discovery service result codes, controller (device) error codes and the
// texts shown for them and for the reported device fields.

#include <cstdint>
#include <string>

namespace discovery {

// Service result codes: returned by the service's operations, carried by its
// notifications, shown through DiscoveryResultText.
inline constexpr uint32_t kSuccess = 0;
inline constexpr uint32_t kGeneralFailure = 1;
inline constexpr uint32_t kAlreadyStarted = 2;
inline constexpr uint32_t kInvalidHexFile = 3;
inline constexpr uint32_t kNetworkError = 4;
inline constexpr uint32_t kNoProgrammedDevices = 5;
inline constexpr uint32_t kInvalidParameters = 6;
inline constexpr uint32_t kNoMemory = 7;
inline constexpr uint32_t kUnknownAction = 8;
inline constexpr uint32_t kConfigChanged = 9;
inline constexpr uint32_t kNoSystemResources = 10;
inline constexpr uint32_t kHardwareError = 11;
inline constexpr uint32_t kIdAlreadySet = 12;
inline constexpr uint32_t kUnknownCommand = 13;
inline constexpr uint32_t kWrongVersion = 14;
inline constexpr uint32_t kUnknownMac = 15;
inline constexpr uint32_t kInvalidDeviceState = 16;

// Device error codes: the result field of a controller's reply.
inline constexpr uint32_t PLIXOR_ERR_OK = 0;
inline constexpr uint32_t PLIXOR_ERR_PROTO = 1;
inline constexpr uint32_t PLIXOR_ERR_PROTO_VER = 2;
inline constexpr uint32_t PLIXOR_ERR_UNKNOWN_CMD = 3;
inline constexpr uint32_t PLIXOR_ERR_HW = 4;
inline constexpr uint32_t PLIXOR_ERR_ID_ALR_SET = 5;
// Not named by the controllers' error list, but what a controller answers a
// set-IP request with while it is busy baking.
inline constexpr uint32_t PLIXOR_ERR_BUSY = 6;

// "<UNKNOWN_ERROR>" for codes outside the table.
const char* DiscoveryResultText(uint32_t code);
// "Invalid flash" for 0xFFFFFFFF, otherwise "major.minor.build" (1.002.003).
std::string FirmwareVersionText(uint32_t version);
// "<not set>" for 0xFFFFFFFF, "<invalid>" for 0, otherwise the decimal ID.
std::string DeviceLabel(uint32_t deviceId);

// Device error -> result code, for set-ID and set-IP replies.
uint32_t SetReplyResult(uint32_t deviceError);
// Device error -> result code, for configuration replies.
uint32_t ConfigReplyResult(uint32_t deviceError);
// The log line of a reply carrying a non-zero device error.
std::string DeviceErrorText(uint32_t deviceId, uint32_t deviceError);

}  // namespace discovery
