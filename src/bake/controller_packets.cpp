#include "bake/controller_packets.h"

#include <cmath>
#include <cstring>

#include "platform/byte_order.h"

namespace bake {

namespace {

using platform::ReadLe32;
using platform::ReadLe64;
using platform::WriteLe32;
using platform::WriteLe64;

int32_t RdI32(const uint8_t* p) {
    return static_cast<int32_t>(ReadLe32(p));
}
void WrI32(uint8_t* p, int32_t v) {
    WriteLe32(p, static_cast<uint32_t>(v));
}

const char* const kResultTexts[] = {
    "Success!",
    "General failure!",
    "Unknown command!",
    "Bad params!",
    "Not in baking process!",
    "Bussy!",
    "Fan failure!",
    "Heater failure!",
    "Temperature sensors failure!",
    "Temperature sensors difference failure!",
    "Overheat!",
    "Too hot to start baking!",
    "No temperature profile loaded!",
    "Invalid temperature profile packet!",
};

void WriteProfile(std::vector<uint8_t>& out, const CONCC_Header& header, uint64_t startTime,
                  std::span<const CONCC_ProfilePoint> points) {
    out.assign(kProfileHeadSize + kProfilePointSize * points.size(), 0);
    EncodeHeader(out.data(), header);
    WriteLe64(out.data() + 12, startTime);
    WriteLe32(out.data() + kProfileCountOffset, static_cast<uint32_t>(points.size()));
    uint8_t* p = out.data() + kProfileHeadSize;
    for (const auto& pt : points) {
        WriteLe32(p, pt.timeMs);
        WriteLe32(p + 4, pt.tempCenti);
        p += kProfilePointSize;
    }
}

}  // namespace

const char* ResultCodeText(uint32_t code) {
    if (code < std::size(kResultTexts))
        return kResultTexts[code];
    return "Unknown error";
}

uint32_t TruncateToWire(double value) {
    // 2^63 is exactly representable; anything at or beyond it (or NaN) has no
    // 64-bit integer, and the hardware's "integer indefinite" has zero low bits.
    constexpr double kLimit = 9223372036854775808.0;
    if (!(value > -kLimit && value < kLimit))
        return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(value)));
}

bool DecodeHeader(const uint8_t* bytes, size_t length, CONCC_Header& out) {
    if (!bytes || length < kHeaderSize)
        return false;
    out.type = ReadLe32(bytes);
    out.result = ReadLe32(bytes + 4);
    out.seqId = ReadLe32(bytes + 8);
    return true;
}

bool DecodeGaugeData(const uint8_t* bytes, size_t length, CONCC_GaugeData& out) {
    if (length != kGaugeDataSize || !DecodeHeader(bytes, length, out.header))
        return false;
    out.timestamp = ReadLe64(bytes + 12);
    out.devState = ReadLe32(bytes + 28);
    out.fanPercent = bytes[36];
    out.heaterPercent = bytes[37];
    out.setupTemp = RdI32(bytes + 38);
    out.fanRpm = ReadLe32(bytes + 42);
    out.tempMain = RdI32(bytes + 46);
    out.temp1 = RdI32(bytes + 50);
    out.temp2 = RdI32(bytes + 54);
    out.temp3 = RdI32(bytes + 58);
    out.boardTemp = RdI32(bytes + 62);
    return true;
}

bool DecodeStartStop(const uint8_t* bytes, size_t length, CONCC_StartStop& out) {
    if (length < kStartStopSize || !DecodeHeader(bytes, length, out.header))
        return false;
    out.action = ReadLe32(bytes + 12);
    return true;
}

bool DecodeBakeResult(const uint8_t* bytes, size_t length, CONCC_BakeResult& out) {
    if (length < kBakeResultSize || !DecodeHeader(bytes, length, out.header))
        return false;
    out.bakeTime = ReadLe32(bytes + 12);
    out.bakeError = ReadLe32(bytes + 16);
    return true;
}

bool DecodeTempProfile(const uint8_t* bytes, size_t length, CONCC_TempProfile& out) {
    if (length < kProfileHeadSize || !DecodeHeader(bytes, length, out.header))
        return false;
    const uint64_t count = ReadLe32(bytes + kProfileCountOffset);
    // 64-bit arithmetic: a hostile count cannot wrap the size check.
    if ((length - kProfileHeadSize) / kProfilePointSize < count)
        return false;
    out.startTime = ReadLe64(bytes + 12);
    out.points.resize(static_cast<size_t>(count));
    const uint8_t* p = bytes + kProfileHeadSize;
    for (auto& pt : out.points) {
        pt.timeMs = ReadLe32(p);
        pt.tempCenti = ReadLe32(p + 4);
        p += kProfilePointSize;
    }
    return true;
}

bool DecodeBakeOptions(const uint8_t* bytes, size_t length, CONCC_BakeOptions& out) {
    if (length < kBakeOptionsSize || !DecodeHeader(bytes, length, out.header))
        return false;
    out.options = ReadLe32(bytes + 12);
    out.kp = ReadLe32(bytes + 16);
    out.ki = ReadLe32(bytes + 20);
    out.kd = ReadLe32(bytes + 24);
    return true;
}

void EncodeHeader(uint8_t* out, const CONCC_Header& header) {
    WriteLe32(out, header.type);
    WriteLe32(out + 4, header.result);
    WriteLe32(out + 8, header.seqId);
}

std::array<uint8_t, kHeaderSize> EncodeRequest(uint32_t type, uint32_t seqId) {
    std::array<uint8_t, kHeaderSize> out{};
    EncodeHeader(out.data(), {type, 0, seqId});
    return out;
}

std::array<uint8_t, kStartStopSize> EncodeStartStop(uint32_t action, uint32_t seqId) {
    std::array<uint8_t, kStartStopSize> out{};
    EncodeHeader(out.data(), {CONCC_PKT_START_STOP, 0, seqId});
    WriteLe32(out.data() + 12, action);
    return out;
}

std::array<uint8_t, kBakeOptionsSize> EncodeBakeOptions(const CONCC_BakeOptions& options) {
    std::array<uint8_t, kBakeOptionsSize> out{};
    EncodeHeader(out.data(), options.header);
    WriteLe32(out.data() + 12, options.options);
    WriteLe32(out.data() + 16, options.kp);
    WriteLe32(out.data() + 20, options.ki);
    WriteLe32(out.data() + 24, options.kd);
    return out;
}

std::vector<uint8_t> EncodeProfileUpload(std::span<const CONCC_ProfilePoint> points,
                                         uint32_t seqId) {
    std::vector<uint8_t> out;
    if (points.size() > CONCC_MAX_PROFILE_POINTS)
        return out;
    WriteProfile(out, {CONCC_PKT_SET_PROFILE, 0, seqId}, 0, points);
    return out;
}

std::vector<uint8_t> EncodeTempProfile(const CONCC_TempProfile& profile) {
    std::vector<uint8_t> out;
    WriteProfile(out, profile.header, profile.startTime, profile.points);
    return out;
}

std::array<uint8_t, kGaugeDataSize> EncodeGaugeData(const CONCC_GaugeData& g) {
    std::array<uint8_t, kGaugeDataSize> out{};
    EncodeHeader(out.data(), g.header);
    WriteLe64(out.data() + 12, g.timestamp);
    WriteLe32(out.data() + 28, g.devState);
    out[36] = g.fanPercent;
    out[37] = g.heaterPercent;
    WrI32(out.data() + 38, g.setupTemp);
    WriteLe32(out.data() + 42, g.fanRpm);
    WrI32(out.data() + 46, g.tempMain);
    WrI32(out.data() + 50, g.temp1);
    WrI32(out.data() + 54, g.temp2);
    WrI32(out.data() + 58, g.temp3);
    WrI32(out.data() + 62, g.boardTemp);
    return out;
}

std::array<uint8_t, kBakeResultSize> EncodeBakeResult(const CONCC_BakeResult& result) {
    std::array<uint8_t, kBakeResultSize> out{};
    EncodeHeader(out.data(), result.header);
    WriteLe32(out.data() + 12, result.bakeTime);
    WriteLe32(out.data() + 16, result.bakeError);
    return out;
}

void PrepareSetBakeOptions(uint8_t* packet28, uint32_t seqId) {
    EncodeHeader(packet28, {CONCC_PKT_SET_BAKE_OPTIONS, 0, seqId});
}

}  // namespace bake
