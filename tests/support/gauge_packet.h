#pragma once
// A gauge packet as a controller sends it, for the tests that feed the control
// panel or the program. Name only the fields the test is about; the others
// keep the controller's "no value".

#include <cstdint>
#include <vector>

#include "bake/controller_packets.h"

namespace test_support {

// The packet's fields in their wire order, each with the default of
// bake::CONCC_GaugeData, so that a test names only those it sets.
struct GaugeFields {
    uint32_t seqId = 0;
    uint64_t timestamp = 0;
    uint32_t devState = 0;
    uint8_t fanPercent = 0;
    uint8_t heaterPercent = 0;
    int32_t setupTemp = -1;
    uint32_t fanRpm = bake::kFanRpmNoValue1;
    int32_t tempMain = -1;
    int32_t temp1 = -1;
    int32_t temp2 = -1;
    int32_t temp3 = -1;
    int32_t boardTemp = -1;
};

// The payload of a gauge packet, e.g.
// GaugePacket({.timestamp = 1000, .devState = bake::CONCC_DEV_IDLE, .tempMain = 2500}).
inline std::vector<uint8_t> GaugePacket(const GaugeFields& f) {
    bake::CONCC_GaugeData g;
    g.header.type = bake::CONCC_PKT_GAUGE_DATA;
    g.header.seqId = f.seqId;
    g.timestamp = f.timestamp;
    g.devState = f.devState;
    g.fanPercent = f.fanPercent;
    g.heaterPercent = f.heaterPercent;
    g.setupTemp = f.setupTemp;
    g.fanRpm = f.fanRpm;
    g.tempMain = f.tempMain;
    g.temp1 = f.temp1;
    g.temp2 = f.temp2;
    g.temp3 = f.temp3;
    g.boardTemp = f.boardTemp;
    const auto bytes = bake::EncodeGaugeData(g);
    return {bytes.begin(), bytes.end()};
}

}  // namespace test_support
