// Arbitrary received datagrams through validation and dispatch, with a sink
// that touches every field it is handed.

#include <cstdint>
#include <cstring>
#include <memory>

#include "discovery/discovery_datagram.h"
#include "discovery/discovery_listener.h"
#include "discovery/discovery_result.h"

namespace {

class TouchingSink : public discovery::DiscoveryListener {
public:
    uint64_t sum = 0;
    void OnDeviceStatus(const discovery::DeviceStatus* s) override {
        sum += s->deviceId + s->ipAddress + s->firmwareVersion;
        sum += discovery::FirmwareVersionText(s->firmwareVersion).size();
    }
    void OnDeviceConfig(const discovery::DeviceConfig* c, uint32_t result) override {
        sum += c->deviceId + result;
    }
    void OnSetDeviceIdResult(uint32_t id, uint32_t result) override { sum += id + result; }
    void OnSetIPResult(uint32_t id, uint32_t result) override {
        sum += id + std::strlen(discovery::DiscoveryResultText(result));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto bytes = std::make_unique<uint8_t[]>(size ? size : 1);
    if (size)
        std::memcpy(bytes.get(), data, size);
    TouchingSink sink;
    size_t logged = 0;
    (void)discovery::DispatchPacket(
        bytes.get(), size, sink,
        [&](const char*, const std::string& text) { logged += text.size(); });
    return static_cast<int>((sink.sum + logged) & 0);
}
