#pragma once
// The simulated controller: a first-order thermal model of the plate, its
// sensors, the board, the heater and the fan, a PID loop that follows the
// loaded temperature profile, and the controller's answer to every packet the
// program sends. No sockets here: the server feeds it requests and time.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bake/controller_packets.h"

namespace sim {

// Physical constants and controller limits; the defaults describe a small
// reflow plate. Shown by `calvero-sim --help`.
struct ModelParameters {
    double ambient = 25.0;        // degrees
    double heatCapacity = 400.0;  // J/K of plate and load
    double heaterPower = 1200.0;  // W at 100 %
    double naturalLoss = 2.0;     // W/K to ambient, fan off
    double fanLoss = 6.0;         // extra W/K at 100 % fan
    double fanMaxRpm = 5500.0;
    double coolTarget = 50.0;   // cooling runs the fan until the plate is below this
    double startMargin = 10.0;  // a bake starts only below max(startFloor, first point + margin)
    double startFloor = 50.0;
    double overheat = 300.0;        // a bake fails with "Overheat" above this
    double sensorDiffLimit = 25.0;  // sensor 1 vs 2 difference that fails a bake (unless ignored)
    double maxProfileTemp = 300.0;  // highest temperature a profile may ask for
};

class ControllerModel {
public:
    explicit ControllerModel(const ModelParameters& params = {});

    // A lead-free reflow profile: preheat, soak, peak at 245 degrees, cool.
    static std::vector<bake::CONCC_ProfilePoint> DefaultProfile();

    void SetProfile(std::vector<bake::CONCC_ProfilePoint> points) { profile_ = std::move(points); }
    void ClearProfile() { profile_.clear(); }
    // Starts the plate (and its sensors) at this temperature, as after a bake.
    void SetPlateTemperature(double degrees);

    // The controller's own start key: `delayMs` of simulated time after the
    // first client is ready, a bake starts as if the operator pressed it
    // (refused like a start request when there is no profile or the plate is
    // too hot). Only the first client of a run arms it.
    void SetAutostart(uint64_t delayMs) { autostartDelayMs_ = delayMs; }
    void OnClientReady();
    // A heater that breaks: from `afterMs` of simulated time into every
    // bake it delivers no power, while the controller, unaware, goes on
    // commanding it (and reporting that command).
    void SetHeaterFault(uint64_t afterMs) { heaterFaultAfterMs_ = afterMs; }
    // Receives what the controller does by itself (the autostart's outcome).
    void SetNoteSink(std::function<void(const std::string&)> sink) { note_ = std::move(sink); }

    // Moves simulated time on by `ms`. Packets the controller sends unasked
    // (the result of a bake that ended) are appended to `unsolicited`.
    void Advance(uint64_t ms, std::vector<std::vector<uint8_t>>& unsolicited);

    // The controller's reply to one request from the program: same type,
    // the request's seqId, the result code. Empty when the payload is too
    // short to carry a header (there is nothing to answer to).
    std::vector<uint8_t> HandleRequest(const uint8_t* bytes, size_t length);

    std::array<uint8_t, bake::kGaugeDataSize> GaugePacket() const;
    bake::CONCC_GaugeData Gauge() const;

    // Safe from any thread (the discovery responder asks it).
    bool IsBaking() const { return baking_.load(std::memory_order_relaxed); }

    uint64_t ClockMs() const { return clockMs_; }
    // Simulated time since the running bake started; 0 while idle.
    uint64_t BakeElapsedMs() const { return IsBaking() ? clockMs_ - bakeStartMs_ : 0; }
    double PlateTemperature() const { return plate_; }
    double MainTemperature() const { return tempMain_; }
    double Setpoint() const { return setpoint_; }
    const bake::CONCC_BakeOptions& Options() const { return options_; }
    const std::vector<bake::CONCC_ProfilePoint>& Profile() const { return profile_; }

private:
    void Step(double dt, std::vector<std::vector<uint8_t>>& unsolicited);
    double ProfileSetpoint(uint64_t elapsedMs) const;
    double StartLimit() const;
    void EndBake(uint32_t error, bool report, std::vector<std::vector<uint8_t>>* unsolicited);
    uint32_t Start();
    uint32_t SetProfileFrom(const uint8_t* bytes, size_t length);
    void RunAutostart();

    ModelParameters p_;
    // Everything below is touched by the server thread only, except baking_.
    std::atomic<bool> baking_{false};
    uint64_t clockMs_ = 0;
    uint64_t bakeStartMs_ = 0;
    double pendingMs_ = 0;
    bool cooling_ = false;
    std::vector<bake::CONCC_ProfilePoint> profile_;
    bake::CONCC_BakeOptions options_;
    std::optional<uint64_t> autostartDelayMs_;
    std::optional<uint64_t> autostartAtMs_;  // armed, due at this clock value
    bool hadClient_ = false;
    std::optional<uint64_t> heaterFaultAfterMs_;
    std::function<void(const std::string&)> note_;

    double plate_, tempMain_, temp1_, temp2_, temp3_, board_;
    double fanRpm_ = 0;
    double heaterPct_ = 0, fanPct_ = 0;
    double setpoint_ = -1;
    double integral_ = 0;
    double lastMeasured_ = 0;
};

}  // namespace sim
