#pragma once
// The controller's application packets: records, type codes, the encoders
// for what the program sends and the decoders for what it receives. Every
// record is a packed little-endian layout on the wire; the structs below are
// their decoded form, and the functions read and write the bytes by offset,
// never beyond the length they are given.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace bake {

// Packet types.
inline constexpr uint32_t CONCC_PKT_GAUGE_DATA = 2;
inline constexpr uint32_t CONCC_PKT_START_STOP = 16;
inline constexpr uint32_t CONCC_PKT_BAKE_RESULT = 17;
inline constexpr uint32_t CONCC_PKT_SET_PROFILE = 32;
inline constexpr uint32_t CONCC_PKT_GET_PROFILE = 34;
inline constexpr uint32_t CONCC_PKT_SET_BAKE_OPTIONS = 48;
inline constexpr uint32_t CONCC_PKT_GET_BAKE_OPTIONS = 49;

// Controller states in CONCC_GaugeData::devState; other values have no name.
inline constexpr uint32_t CONCC_DEV_IDLE = 1;
inline constexpr uint32_t CONCC_DEV_BAKING = 2;

// CONCC_StartStop::action.
inline constexpr uint32_t CONCC_ACT_START = 1;
inline constexpr uint32_t CONCC_ACT_ABORT = 2;
inline constexpr uint32_t CONCC_ACT_COOLDOWN = 3;

// CONCC_BakeOptions::options bits.
inline constexpr uint32_t CONCC_OPT_IGNORE_SENSOR_DIFF = 1u << 0;
inline constexpr uint32_t CONCC_OPT_USE_SECONDARY_SENSOR = 1u << 1;

inline constexpr uint32_t CONCC_MAX_PROFILE_POINTS = 31;

// Wire sizes.
inline constexpr size_t kHeaderSize = 12;
inline constexpr size_t kGaugeDataSize = 66;
inline constexpr size_t kStartStopSize = 16;
inline constexpr size_t kBakeResultSize = 20;
inline constexpr size_t kProfileHeadSize = 24;  // header, startTime, count
// Where a profile record keeps its point count (little-endian, 32 bits).
inline constexpr size_t kProfileCountOffset = 20;
inline constexpr size_t kProfilePointSize = 8;
inline constexpr size_t kProfileRecordSize =
    kProfileHeadSize + kProfilePointSize * CONCC_MAX_PROFILE_POINTS;  // 272
inline constexpr size_t kBakeOptionsSize = 28;

// fanRpm values that mean "no reading".
inline constexpr uint32_t kFanRpmNoValue1 = 0xFFFFFFFFu;
inline constexpr uint32_t kFanRpmNoValue2 = 0xFFFFFFFEu;

// Controller result codes.
inline constexpr uint32_t kResultSuccess = 0;
inline constexpr uint32_t kResultGeneralFailure = 1;
inline constexpr uint32_t kResultUnknownCommand = 2;
inline constexpr uint32_t kResultBadParams = 3;
inline constexpr uint32_t kResultNotBaking = 4;
inline constexpr uint32_t kResultBusy = 5;
inline constexpr uint32_t kResultFanFailure = 6;
inline constexpr uint32_t kResultHeaterFailure = 7;
inline constexpr uint32_t kResultSensorsFailure = 8;
inline constexpr uint32_t kResultSensorsDifference = 9;
inline constexpr uint32_t kResultOverheat = 10;
inline constexpr uint32_t kResultTooHot = 11;
inline constexpr uint32_t kResultNoProfile = 12;
inline constexpr uint32_t kResultInvalidProfile = 13;

// The operator's text for a controller result code; "Unknown error" for
// codes outside the table.
const char* ResultCodeText(uint32_t code);

struct CONCC_Header {
    uint32_t type = 0;
    uint32_t result = 0;
    uint32_t seqId = 0;
};

// Temperatures are hundredths of a degree, negative = no value.
struct CONCC_GaugeData {
    CONCC_Header header;
    uint64_t timestamp = 0;  // controller clock, ms
    uint32_t devState = 0;
    uint8_t fanPercent = 0;
    uint8_t heaterPercent = 0;
    int32_t setupTemp = -1;
    uint32_t fanRpm = kFanRpmNoValue1;
    int32_t tempMain = -1;
    int32_t temp1 = -1;
    int32_t temp2 = -1;
    int32_t temp3 = -1;
    int32_t boardTemp = -1;
};

struct CONCC_StartStop {
    CONCC_Header header;
    uint32_t action = 0;
};

struct CONCC_BakeResult {
    CONCC_Header header;
    uint32_t bakeTime = 0;   // the controller's unit
    uint32_t bakeError = 0;  // a result code; 0 = baked successfully
};

struct CONCC_ProfilePoint {
    uint32_t timeMs = 0;     // from the profile's start
    uint32_t tempCenti = 0;  // hundredths of a degree
};

struct CONCC_TempProfile {
    CONCC_Header header;
    uint64_t startTime = 0;  // report: controller time of the profile's time 0; upload: 0
    std::vector<CONCC_ProfilePoint> points;  // the wire's `count` is points.size()
};

struct CONCC_BakeOptions {
    CONCC_Header header;
    uint32_t options = 0;
    uint32_t kp = 0;  // 16.16 fixed point
    uint32_t ki = 0;
    uint32_t kd = 0;
};

// ---- conversions ------------------------------------------------------------

// Truncates toward zero to a 64-bit integer and keeps its low 32 bits, so a
// negative value lands as its two's complement. NaN and values outside the
// 64-bit range give 0 rather than undefined behaviour.
uint32_t TruncateToWire(double value);

inline bool TempHasValue(int32_t centi) {
    return centi >= 0;
}
inline double TempDegrees(int32_t centi) {
    return centi / 100.0;
}
inline bool FanRpmHasValue(uint32_t rpm) {
    return rpm != kFanRpmNoValue1 && rpm != kFanRpmNoValue2;
}

inline double CoefficientFromWire(uint32_t field) {
    return field / 65536.0;
}
inline uint32_t CoefficientToWire(double coefficient) {
    return TruncateToWire(coefficient * 65536.0);
}

// A chart point (x seconds, y degrees) as a profile point: ms and hundredths.
inline CONCC_ProfilePoint ProfilePointFromChart(double seconds, double degrees) {
    return CONCC_ProfilePoint{TruncateToWire(seconds * 1000.0), TruncateToWire(degrees * 100.0)};
}

// The next sequence ID: one up, skipping 0 on the wrap.
inline uint32_t NextSequenceId(uint32_t seq) {
    return seq == 0xFFFFFFFFu ? 1u : seq + 1u;
}

// ---- decoding: false when `length` is too short for the record's fields ----

bool DecodeHeader(const uint8_t* bytes, size_t length, CONCC_Header& out);
// Needs exactly kGaugeDataSize bytes; other lengths are refused.
bool DecodeGaugeData(const uint8_t* bytes, size_t length, CONCC_GaugeData& out);
bool DecodeStartStop(const uint8_t* bytes, size_t length, CONCC_StartStop& out);
bool DecodeBakeResult(const uint8_t* bytes, size_t length, CONCC_BakeResult& out);
// Also refuses a `count` that promises more points than `length` holds.
bool DecodeTempProfile(const uint8_t* bytes, size_t length, CONCC_TempProfile& out);
bool DecodeBakeOptions(const uint8_t* bytes, size_t length, CONCC_BakeOptions& out);

// ---- encoding ---------------------------------------------------------------

void EncodeHeader(uint8_t* out, const CONCC_Header& header);

// 12-byte header-only request (CONCC_PKT_GET_PROFILE, CONCC_PKT_GET_BAKE_OPTIONS).
std::array<uint8_t, kHeaderSize> EncodeRequest(uint32_t type, uint32_t seqId);
std::array<uint8_t, kStartStopSize> EncodeStartStop(uint32_t action, uint32_t seqId);
// A bake options record with the given header fields (the program sends
// type 48, result 0; the controller answers type 49).
std::array<uint8_t, kBakeOptionsSize> EncodeBakeOptions(const CONCC_BakeOptions& options);
// The program's upload: type 32, result 0, startTime 0, the points. Returns
// the 24 + 8 x n bytes to send, or an empty vector for more than
// CONCC_MAX_PROFILE_POINTS points.
std::vector<uint8_t> EncodeProfileUpload(std::span<const CONCC_ProfilePoint> points,
                                         uint32_t seqId);

// The controller's side, used by the simulator and by tests.
std::vector<uint8_t> EncodeTempProfile(const CONCC_TempProfile& profile);  // any number of points
std::array<uint8_t, kGaugeDataSize> EncodeGaugeData(const CONCC_GaugeData& gauge);
std::array<uint8_t, kBakeResultSize> EncodeBakeResult(const CONCC_BakeResult& result);

// Turns a 28-byte bake options buffer (a type-49 reply whose fields were
// edited) into the type-48 request in place: type 48, result 0, seqId.
void PrepareSetBakeOptions(uint8_t* packet28, uint32_t seqId);

}  // namespace bake
