// An arbitrary receive stream cut into frames the way the link and the
// simulator cut it: every frame handed on must lie inside the stream, and the
// cutter must always make progress or stop.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "link/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto bytes = std::make_unique<uint8_t[]>(size ? size : 1);
    if (size)
        std::memcpy(bytes.get(), data, size);
    size_t at = 0;
    uint64_t sum = 0;
    for (;;) {
        devlink::Header h;
        const auto cut = devlink::CutFrame(bytes.get() + at, size - at, &h);
        if (cut != devlink::Cut::Frame)
            break;
        if (h.length < devlink::kHeaderSize || h.length > size - at)
            std::abort();
        for (uint32_t i = devlink::kHeaderSize; i < h.length; ++i) sum += bytes[at + i];
        at += h.length;
    }
    return static_cast<int>(sum & 0);
}
