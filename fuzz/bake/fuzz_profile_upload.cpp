// A window's charts and selection, made from arbitrary bytes, through the
// choice of the chart to upload and the building of its profile packet, the
// way the chart view and the control panel chain them.
//
// The input, little-endian:
//   byte 0      bits 0-3: number of charts; bit 4: a stray selected id follows
//   bytes 1-4   sequence id
//   [byte 5]    the stray selected id (signed), one no chart need carry
//   per chart   id (signed byte), flags (bit 0: selected), point count (byte),
//               then that many points of two raw doubles (seconds, degrees);
//               a chart whose points run past the end keeps the whole ones.
// Small signed ids make duplicates, id -1 and selections of missing charts
// likely; raw doubles reach NaN, infinities, huge and negative values.
//
// Besides a sanitizer report, the target aborts when the choice or the packet
// breaks a rule an operator relies on: a refusal always says why and never
// comes with bytes; only 2..31 points go out; the packet's header, count and
// length agree; every time and temperature is the truncation of the chart's
// value, a negative one as its 32-bit two's complement.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "bake/profile_upload.h"

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : at_(data), end_(data + size) {}
    size_t Left() const { return static_cast<size_t>(end_ - at_); }
    uint8_t Byte() { return Left() ? *at_++ : 0; }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(Byte()) << (8 * i);
        return v;
    }
    double Double() {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(Byte()) << (8 * i);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

private:
    const uint8_t* at_;
    const uint8_t* end_;
};

struct Window {
    std::set<int> ids;
    std::set<int> selected;
    // The first chart under an id is the one a lookup finds.
    std::map<int, std::vector<bake::ProfileSample>> charts;
    uint32_t seqId = 0;
};

Window Decode(const uint8_t* data, size_t size) {
    Reader in(data, size);
    Window w;
    const uint8_t head = in.Byte();
    const int chartCount = head & 0x0F;
    w.seqId = in.U32();
    if (head & 0x10)
        w.selected.insert(static_cast<int8_t>(in.Byte()));
    for (int c = 0; c < chartCount && in.Left() > 0; ++c) {
        const int id = static_cast<int8_t>(in.Byte());
        const uint8_t flags = in.Byte();
        size_t count = in.Byte();
        count = std::min(count, in.Left() / (2 * sizeof(double)));
        std::vector<bake::ProfileSample> points(count);
        for (auto& p : points) {
            p.seconds = in.Double();
            p.degrees = in.Double();
        }
        w.ids.insert(id);
        if (flags & 1)
            w.selected.insert(id);
        w.charts.emplace(id, std::move(points));
    }
    return w;
}

// Truncation toward zero to 64 bits, low 32 bits kept, reached without an
// integer conversion of the whole value: outside the 64-bit range (and NaN)
// there is no integer, and the wire gets 0.
uint32_t ExpectedWire(double v) {
    const double t = std::trunc(v);
    if (!(t > -9223372036854775808.0 && t < 9223372036854775808.0))
        return 0;
    double low = std::fmod(t, 4294967296.0);  // exact for doubles
    if (low < 0)
        low += 4294967296.0;
    return static_cast<uint32_t>(low);
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void CheckChoice(const Window& w, const bake::ProfileChartChoice& choice) {
    if (choice.problem) {
        Check(choice.id == -1);
        if (w.ids.empty())
            Check(choice.problem == bake::kNoChartsText);
        else
            Check(choice.problem == bake::kSelectOneChartText && w.ids.size() > 1 &&
                  w.selected.size() != 1);
        return;
    }
    // A sole chart goes whatever the selection; otherwise the one selected.
    Check(!w.ids.empty());
    if (w.ids.size() == 1)
        Check(choice.id == *w.ids.begin());
    else
        Check(w.selected.size() == 1 && choice.id == *w.selected.begin());
}

void CheckPacket(bool hasChart, const std::vector<bake::ProfileSample>& samples, uint32_t seqId,
                 const bake::ProfileUploadPacket& packet) {
    const size_t n = samples.size();
    const bool fits = hasChart && n >= 2 && n <= bake::CONCC_MAX_PROFILE_POINTS;
    if (!fits) {
        Check(packet.bytes.empty());
        if (!hasChart)
            Check(packet.problem == bake::kChartHasNoPointsText);
        else if (n < 2)
            Check(packet.problem == bake::kTooFewPointsText);
        else
            Check(packet.problem == bake::kTooManyPointsText);
        return;
    }
    Check(packet.problem == nullptr);
    const std::vector<uint8_t>& b = packet.bytes;
    Check(b.size() == bake::kProfileHeadSize + bake::kProfilePointSize * n);
    Check(b.size() <= bake::kProfileRecordSize);
    Check(Le32(b, 0) == bake::CONCC_PKT_SET_PROFILE);
    Check(Le32(b, 4) == 0);
    Check(Le32(b, 8) == seqId);
    Check(Le32(b, 12) == 0 && Le32(b, 16) == 0);  // startTime
    Check(Le32(b, bake::kProfileCountOffset) == n);
    for (size_t i = 0; i < n; ++i) {
        const size_t at = bake::kProfileHeadSize + bake::kProfilePointSize * i;
        Check(Le32(b, at) == ExpectedWire(samples[i].seconds * 1000.0));
        Check(Le32(b, at + 4) == ExpectedWire(samples[i].degrees * 100.0));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Window w = Decode(data, size);
    const bake::ProfileChartChoice choice = bake::ChooseProfileChart(w.ids, w.selected);
    CheckChoice(w, choice);
    if (choice.problem)
        return 0;
    const auto chart = w.charts.find(choice.id);
    const bool hasChart = chart != w.charts.end();
    static const std::vector<bake::ProfileSample> kNone;
    const std::vector<bake::ProfileSample>& samples = hasChart ? chart->second : kNone;
    const bake::ProfileUploadPacket packet = bake::BuildProfileUpload(hasChart, samples, w.seqId);
    CheckPacket(hasChart, samples, w.seqId, packet);
    // What the command-line upload checks before connecting must agree.
    Check(bake::ProfileUploadProblem(hasChart, samples.size()) == packet.problem);
    return 0;
}
