#include "discovery/discovery_result.h"

#include <cinttypes>
#include <cstdio>

namespace discovery {

namespace {

const char* const kResultTexts[] = {
    "Success!",
    "General failure!",
    "Program operation has already started, only one at a time is allowed!",
    "The HEX file is invalid!",
    "General network error!",
    "There aren't any programmed devices!",
    "Not set or invalid request parameters!",
    "There is no memory on the server to complete operation!",
    "Unknown/Unsupported action code for this command!",
    // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one text, split at the column limit
    "Someone else changed the config during editing! Update the data from the server and try "
    "again.",
    "Unable to allocate system resourcess!",
    "Hardware error, usually can't write to flash!",
    "Device ID already set!",
    "Device return unknown cmd!",
    "Device return unsupported/wrong packet version!",
    "Unknown device MAC address! Try refresh devicess!",
    "Invalid device state to set IP address!",
};

const char* const kDeviceErrorNames[] = {
    nullptr,         "PLIXOR_ERR_PROTO",      "PLIXOR_ERR_PROTO_VER", "PLIXOR_ERR_UNKNOWN_CMD",
    "PLIXOR_ERR_HW", "PLIXOR_ERR_ID_ALR_SET",
};

}  // namespace

const char* DiscoveryResultText(uint32_t code) {
    if (code < sizeof kResultTexts / sizeof kResultTexts[0])
        return kResultTexts[code];
    return "<UNKNOWN_ERROR>";
}

std::string FirmwareVersionText(uint32_t version) {
    if (version == 0xFFFFFFFF)
        return "Invalid flash";
    char text[32];
    std::snprintf(text, sizeof text, "%u.%03u.%03u", (version / 1000000u) % 1000u,
                  (version / 1000u) % 1000u, version % 1000u);
    return text;
}

std::string DeviceLabel(uint32_t deviceId) {
    if (deviceId == 0xFFFFFFFF)
        return "<not set>";
    if (deviceId == 0)
        return "<invalid>";
    return std::to_string(deviceId);
}

uint32_t SetReplyResult(uint32_t deviceError) {
    switch (deviceError) {
        case PLIXOR_ERR_OK:
            return discovery::kSuccess;
        case PLIXOR_ERR_PROTO:
            return discovery::kNetworkError;
        case PLIXOR_ERR_PROTO_VER:
            return discovery::kWrongVersion;
        case PLIXOR_ERR_UNKNOWN_CMD:
            return discovery::kUnknownCommand;
        case PLIXOR_ERR_HW:
            return discovery::kHardwareError;
        case PLIXOR_ERR_ID_ALR_SET:
            return discovery::kIdAlreadySet;
        case PLIXOR_ERR_BUSY:
            return discovery::kInvalidDeviceState;
        default:
            return discovery::kGeneralFailure;
    }
}

uint32_t ConfigReplyResult(uint32_t deviceError) {
    if (deviceError == PLIXOR_ERR_OK)
        return discovery::kSuccess;
    if (deviceError == PLIXOR_ERR_HW)
        return discovery::kHardwareError;
    return discovery::kNetworkError;
}

std::string DeviceErrorText(uint32_t deviceId, uint32_t deviceError) {
    std::string text = DeviceLabel(deviceId) + " Received device error : ";
    if (deviceError >= 1 && deviceError <= 5)
        return text + kDeviceErrorNames[deviceError];
    char unknown[32];
    // The code is shown as the signed value the controller's field holds.
    std::snprintf(unknown, sizeof unknown, "<Unknown : %d>", static_cast<int32_t>(deviceError));
    return text + unknown;
}

}  // namespace discovery
