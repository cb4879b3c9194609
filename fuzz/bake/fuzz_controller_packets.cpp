// Arbitrary user-packet payloads through the receive rules and every decoder.
// Each decode gets a buffer of exactly the delivered size, so that reading
// past it is caught by the address sanitizer.

#include <cstdint>
#include <cstring>
#include <memory>

#include "bake/controller_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto bytes = std::make_unique<uint8_t[]>(size ? size : 1);
    if (size)
        std::memcpy(bytes.get(), data, size);

    bake::ControllerProtocol protocol;
    (void)protocol.Receive(bytes.get(), size);

    bake::CONCC_Header header;
    bake::CONCC_GaugeData gauge;
    bake::CONCC_StartStop startStop;
    bake::CONCC_BakeResult result;
    bake::CONCC_TempProfile profile;
    bake::CONCC_BakeOptions options;
    (void)bake::DecodeHeader(bytes.get(), size, header);
    (void)bake::DecodeGaugeData(bytes.get(), size, gauge);
    (void)bake::DecodeStartStop(bytes.get(), size, startStop);
    (void)bake::DecodeBakeResult(bytes.get(), size, result);
    (void)bake::DecodeTempProfile(bytes.get(), size, profile);
    (void)bake::DecodeBakeOptions(bytes.get(), size, options);
    return 0;
}
