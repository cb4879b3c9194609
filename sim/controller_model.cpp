#include "sim/controller_model.h"

#include <algorithm>
#include <cmath>

namespace sim {

using namespace bake;

namespace {

// Integration step of the thermal model, in simulated milliseconds.
constexpr uint64_t kStepMs = 20;

// Default PID coefficients, tuned to the default plate.
constexpr double kDefaultKp = 10.0;
constexpr double kDefaultKi = 0.5;
constexpr double kDefaultKd = 5.0;

// Sensor time constants in seconds: the main sensor sits in the plate, the
// two others a little further out, sensor 3 on the load.
constexpr double kTauMain = 1.0;
constexpr double kTau1 = 1.5;
constexpr double kTau2 = 2.5;
constexpr double kTau3 = 12.0;
constexpr double kTauBoard = 60.0;
constexpr double kTauFan = 0.8;
constexpr double kOffset1 = -0.4;
constexpr double kOffset2 = 0.6;

void Lag(double& value, double target, double tau, double dt) {
    value += (target - value) * (1.0 - std::exp(-dt / tau));
}

int32_t Centi(double degrees) {
    if (!(degrees >= 0))
        return -1;
    return static_cast<int32_t>(std::min(degrees * 100.0, 2.0e9));
}

std::vector<uint8_t> HeaderOnly(uint32_t type, uint32_t result, uint32_t seqId) {
    std::vector<uint8_t> out(kHeaderSize);
    EncodeHeader(out.data(), {type, result, seqId});
    return out;
}

}  // namespace

ControllerModel::ControllerModel(const ModelParameters& params) : p_(params) {
    options_.options = 0;
    options_.kp = CoefficientToWire(kDefaultKp);
    options_.ki = CoefficientToWire(kDefaultKi);
    options_.kd = CoefficientToWire(kDefaultKd);
    profile_ = DefaultProfile();
    SetPlateTemperature(p_.ambient);
}

std::vector<CONCC_ProfilePoint> ControllerModel::DefaultProfile() {
    // (seconds, degrees)
    const double points[][2] = {
        {0, 25},    {60, 150},  {150, 190}, {195, 230}, {215, 245},
        {235, 245}, {255, 217}, {300, 150}, {360, 80},
    };
    std::vector<CONCC_ProfilePoint> out;
    for (const auto& pt : points) out.push_back(ProfilePointFromChart(pt[0], pt[1]));
    return out;
}

void ControllerModel::SetPlateTemperature(double degrees) {
    plate_ = tempMain_ = temp3_ = degrees;
    temp1_ = degrees + kOffset1;
    temp2_ = degrees + kOffset2;
    board_ = p_.ambient + 0.06 * (degrees - p_.ambient);
    lastMeasured_ = degrees;
}

double ControllerModel::StartLimit() const {
    const double first = profile_.empty() ? 0.0 : profile_.front().tempCenti / 100.0;
    return std::max(p_.startFloor, first + p_.startMargin);
}

double ControllerModel::ProfileSetpoint(uint64_t elapsedMs) const {
    if (profile_.empty())
        return -1;
    if (elapsedMs <= profile_.front().timeMs)
        return profile_.front().tempCenti / 100.0;
    for (size_t i = 1; i < profile_.size(); ++i) {
        const auto& a = profile_[i - 1];
        const auto& b = profile_[i];
        if (elapsedMs <= b.timeMs) {
            const double f = double(elapsedMs - a.timeMs) / double(b.timeMs - a.timeMs);
            return (a.tempCenti + f * (double(b.tempCenti) - double(a.tempCenti))) / 100.0;
        }
    }
    return profile_.back().tempCenti / 100.0;
}

void ControllerModel::OnClientReady() {
    if (hadClient_)
        return;
    hadClient_ = true;
    if (!autostartDelayMs_)
        return;
    autostartAtMs_ = clockMs_ + *autostartDelayMs_;
    if (*autostartDelayMs_ == 0)
        RunAutostart();
}

void ControllerModel::RunAutostart() {
    autostartAtMs_.reset();
    const uint32_t result = Start();
    if (!note_)
        return;
    note_(result == kResultSuccess ? std::string("autostart: bake started")
                                   : std::string("autostart refused: ") + ResultCodeText(result));
}

void ControllerModel::Advance(uint64_t ms, std::vector<std::vector<uint8_t>>& unsolicited) {
    pendingMs_ += double(ms);
    while (pendingMs_ >= kStepMs) {
        pendingMs_ -= kStepMs;
        clockMs_ += kStepMs;
        if (autostartAtMs_ && clockMs_ >= *autostartAtMs_)
            RunAutostart();
        Step(kStepMs / 1000.0, unsolicited);
    }
}

void ControllerModel::Step(double dt, std::vector<std::vector<uint8_t>>& unsolicited) {
    if (IsBaking()) {
        const uint64_t elapsed = clockMs_ - bakeStartMs_;
        if (elapsed > profile_.back().timeMs) {
            EndBake(kResultSuccess, true, &unsolicited);
        } else if (plate_ > p_.overheat) {
            EndBake(kResultOverheat, true, &unsolicited);
        } else if (!(options_.options & CONCC_OPT_IGNORE_SENSOR_DIFF) &&
                   std::fabs(temp1_ - temp2_) > p_.sensorDiffLimit) {
            EndBake(kResultSensorsDifference, true, &unsolicited);
        }
    }

    if (IsBaking()) {
        setpoint_ = ProfileSetpoint(clockMs_ - bakeStartMs_);
        const double measured =
            (options_.options & CONCC_OPT_USE_SECONDARY_SENSOR) ? temp1_ : tempMain_;
        const double kp = CoefficientFromWire(options_.kp);
        const double ki = CoefficientFromWire(options_.ki);
        const double kd = CoefficientFromWire(options_.kd);
        const double error = setpoint_ - measured;
        // Derivative on the measurement: a step in the set point gives no kick.
        const double derivative = -(measured - lastMeasured_) / dt;
        lastMeasured_ = measured;
        const double u = kp * error + ki * integral_ + kd * derivative;
        // Conditional integration keeps the integral from winding up while saturated.
        if (!((u >= 100 && error > 0) || (u <= -100 && error < 0)))
            integral_ += error * dt;
        heaterPct_ = std::clamp(u, 0.0, 100.0);
        fanPct_ = std::clamp(-u, 0.0, 100.0);
    } else {
        heaterPct_ = 0;
        if (cooling_ && tempMain_ < p_.coolTarget)
            cooling_ = false;
        fanPct_ = cooling_ ? 100.0 : 0.0;
        lastMeasured_ = tempMain_;
    }

    const double loss = (p_.naturalLoss + p_.fanLoss * fanPct_ / 100.0) * (plate_ - p_.ambient);
    const bool heaterBroken =
        IsBaking() && heaterFaultAfterMs_ && clockMs_ - bakeStartMs_ >= *heaterFaultAfterMs_;
    const double heat = heaterBroken ? 0.0 : p_.heaterPower * heaterPct_ / 100.0;
    plate_ += (heat - loss) / p_.heatCapacity * dt;
    Lag(tempMain_, plate_, kTauMain, dt);
    Lag(temp1_, plate_ + kOffset1, kTau1, dt);
    Lag(temp2_, plate_ + kOffset2, kTau2, dt);
    Lag(temp3_, plate_, kTau3, dt);
    Lag(board_, p_.ambient + 0.06 * (plate_ - p_.ambient) + 0.1 * heaterPct_, kTauBoard, dt);
    Lag(fanRpm_, p_.fanMaxRpm * fanPct_ / 100.0, kTauFan, dt);
}

void ControllerModel::EndBake(uint32_t error, bool report,
                              std::vector<std::vector<uint8_t>>* unsolicited) {
    const uint64_t elapsed = clockMs_ - bakeStartMs_;
    baking_.store(false, std::memory_order_relaxed);
    setpoint_ = -1;
    integral_ = 0;
    cooling_ = true;
    if (report && unsolicited) {
        // The bake time travels in seconds.
        auto r = EncodeBakeResult(
            {{CONCC_PKT_BAKE_RESULT, 0, 0}, static_cast<uint32_t>(elapsed / 1000), error});
        unsolicited->emplace_back(r.begin(), r.end());
    }
}

uint32_t ControllerModel::Start() {
    if (IsBaking())
        return kResultBusy;
    if (profile_.empty())
        return kResultNoProfile;
    if (tempMain_ > StartLimit())
        return kResultTooHot;
    // A report's start time of 0 means "none", so the clock value 0 is never used.
    bakeStartMs_ = std::max<uint64_t>(clockMs_, 1);
    integral_ = 0;
    lastMeasured_ = (options_.options & CONCC_OPT_USE_SECONDARY_SENSOR) ? temp1_ : tempMain_;
    cooling_ = false;
    setpoint_ = ProfileSetpoint(0);
    baking_.store(true, std::memory_order_relaxed);
    return kResultSuccess;
}

uint32_t ControllerModel::SetProfileFrom(const uint8_t* bytes, size_t length) {
    if (IsBaking())
        return kResultBusy;
    CONCC_TempProfile in;
    if (!DecodeTempProfile(bytes, length, in))
        return kResultInvalidProfile;
    if (in.points.size() < 2 || in.points.size() > CONCC_MAX_PROFILE_POINTS)
        return kResultInvalidProfile;
    for (size_t i = 0; i < in.points.size(); ++i) {
        if (in.points[i].tempCenti > uint32_t(p_.maxProfileTemp * 100))
            return kResultInvalidProfile;
        if (i && in.points[i].timeMs <= in.points[i - 1].timeMs)
            return kResultInvalidProfile;
    }
    profile_ = std::move(in.points);
    return kResultSuccess;
}

std::vector<uint8_t> ControllerModel::HandleRequest(const uint8_t* bytes, size_t length) {
    CONCC_Header h;
    if (!DecodeHeader(bytes, length, h))
        return {};

    switch (h.type) {
        case CONCC_PKT_START_STOP: {
            CONCC_StartStop cmd;
            uint32_t result = kResultBadParams;
            if (DecodeStartStop(bytes, length, cmd)) {
                switch (cmd.action) {
                    case CONCC_ACT_START:
                        result = Start();
                        break;
                    case CONCC_ACT_ABORT:
                        result = kResultNotBaking;
                        if (IsBaking()) {
                            // The abort's reply is the operator's answer; no bake result follows.
                            EndBake(kResultSuccess, false, nullptr);
                            result = kResultSuccess;
                        }
                        break;
                    case CONCC_ACT_COOLDOWN:
                        if (IsBaking())
                            EndBake(kResultSuccess, false, nullptr);
                        cooling_ = true;
                        result = kResultSuccess;
                        break;
                    default:
                        break;
                }
            }
            return HeaderOnly(h.type, result, h.seqId);
        }
        case CONCC_PKT_SET_PROFILE:
            return HeaderOnly(h.type, SetProfileFrom(bytes, length), h.seqId);
        case CONCC_PKT_GET_PROFILE: {
            if (profile_.empty())
                return HeaderOnly(h.type, kResultNoProfile, h.seqId);
            CONCC_TempProfile report;
            report.header = {h.type, kResultSuccess, h.seqId};
            report.startTime = IsBaking() ? bakeStartMs_ : 0;
            report.points = profile_;
            return EncodeTempProfile(report);
        }
        case CONCC_PKT_SET_BAKE_OPTIONS: {
            CONCC_BakeOptions in;
            if (!DecodeBakeOptions(bytes, length, in))
                return HeaderOnly(h.type, kResultBadParams, h.seqId);
            if (IsBaking())
                return HeaderOnly(h.type, kResultBusy, h.seqId);
            options_.options = in.options;
            options_.kp = in.kp;
            options_.ki = in.ki;
            options_.kd = in.kd;
            return HeaderOnly(h.type, kResultSuccess, h.seqId);
        }
        case CONCC_PKT_GET_BAKE_OPTIONS: {
            CONCC_BakeOptions reply = options_;
            reply.header = {h.type, kResultSuccess, h.seqId};
            auto raw = EncodeBakeOptions(reply);
            return {raw.begin(), raw.end()};
        }
        default:
            return HeaderOnly(h.type, kResultUnknownCommand, h.seqId);
    }
}

CONCC_GaugeData ControllerModel::Gauge() const {
    CONCC_GaugeData g;
    g.header = {CONCC_PKT_GAUGE_DATA, 0, 0};
    g.timestamp = clockMs_;
    g.devState = IsBaking() ? CONCC_DEV_BAKING : CONCC_DEV_IDLE;
    g.fanPercent = static_cast<uint8_t>(std::lround(fanPct_));
    g.heaterPercent = static_cast<uint8_t>(std::lround(heaterPct_));
    g.setupTemp = IsBaking() ? Centi(setpoint_) : -1;
    g.fanRpm = fanRpm_ < 1.0 ? 0 : static_cast<uint32_t>(fanRpm_);
    g.tempMain = Centi(tempMain_);
    g.temp1 = Centi(temp1_);
    g.temp2 = Centi(temp2_);
    g.temp3 = Centi(temp3_);
    g.boardTemp = Centi(board_);
    return g;
}

std::array<uint8_t, kGaugeDataSize> ControllerModel::GaugePacket() const {
    return EncodeGaugeData(Gauge());
}

}  // namespace sim
