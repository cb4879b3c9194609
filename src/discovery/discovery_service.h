#pragma once
// The host side of controller discovery and setup. The client queues
// operations from its own thread; a worker thread owns the UDP socket bound to
// the host port, broadcasts the requests one datagram at a time, and reports
// every status, reply, failure and log line through DiscoveryListener on the
// worker thread. No timers, no retries: a request goes out once.
//
// Everything the worker touches lives in one shared state that the worker
// holds itself, so a worker that StopOperations gave up on (a sink that does
// not return) never reaches the service, which may be gone by then; it stops
// notifying, closes its socket and ends once the sink lets it go. Each start
// makes a fresh state: a restart shares no socket and no queue with it.

#include <atomic>
#include <cstdint>
#include <memory>

#include "discovery/device_discovery.h"
#include "discovery/device_record.h"
#include "discovery/discovery_listener.h"
#include "discovery/discovery_result.h"
#include "platform/thread_base.h"

namespace discovery {

class DiscoveryService : public platform::ThreadBase, public DeviceDiscovery {
public:
    DiscoveryService();
    ~DiscoveryService() override;

    // Client's thread. Result codes are those of DiscoveryResultText.
    // discovery::kSuccess; discovery::kInvalidParameters without a sink;
    // discovery::kGeneralFailure when the events cannot be created;
    // discovery::kNoSystemResources when the socket cannot be set up; kStartFailed
    // when the thread cannot be started or is running already.
    uint32_t StartOperations(DiscoveryListener* sink) override;
    // discovery::kGeneralFailure when not running; else discovery::kSuccess once the
    // worker has stopped or been given up on (kStopTimeoutMs at most).
    uint32_t StopOperations() override;
    // Asks every controller for its status. discovery::kSuccess, or discovery::kNoMemory
    // when it cannot be queued (no worker runs).
    uint32_t RefreshDevices() override;
    // Asks one controller to take a new address and mask (network order). The
    // outcome arrives as OnSetIPResult with *requestId. discovery::kSuccess, or
    // discovery::kNoMemory.
    uint32_t SetDeviceIP(uint32_t deviceId, uint32_t ipAddress, uint32_t netMask,
                         uint32_t* requestId) override;
    // The thread's own, as DeviceDiscovery names them.
    bool IsRunning() const override { return ThreadBase::IsRunning(); }
    bool Stop(uint32_t* exitCodeOut, uint32_t timeoutMs) override {
        return ThreadBase::Stop(exitCodeOut, timeoutMs);
    }

    // Formats the line and raises OnServiceLog; the source tag is not shown.
    // A format of 4096 characters or more is dropped; longer lines are cut.
    void Log(const char* source, const char* format, ...) override
        __attribute__((format(printf, 3, 4)));

    static constexpr uint32_t kStopTimeoutMs = 5000;

protected:
    uint32_t Run() override;

private:
    struct Worker;

    uint32_t QueueOperation(std::unique_ptr<DeviceRecord> record);

    // Client's thread: the state of the worker started last, from
    // StartOperations until StopOperations. Run() takes its own reference
    // during its set-up.
    std::shared_ptr<Worker> worker_;
    std::atomic<uint32_t> requestIdCounter_{1};
    // Client's thread: where the service's own log lines go. Written by
    // StartOperations before the worker starts.
    DiscoveryListener* sink_ = nullptr;
};

}  // namespace discovery
