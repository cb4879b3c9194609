#pragma once
// The host side of controller discovery and setup. The client queues
// operations from its own thread; a worker thread owns the UDP socket bound to
// the host port, broadcasts the requests one datagram at a time, and reports
// every status, reply, failure and log line through ICPSMD_Notification on the
// worker thread. No timers, no retries: a request goes out once.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "discovery/psm_data_base.h"
#include "discovery/psmd_notification.h"
#include "platform/thread_base.h"

class CProgServiceMgr : public platform::CThreadBase {
public:
    CProgServiceMgr();
    ~CProgServiceMgr() override;

    // Client's thread. Result codes are those of PSMResultText.
    // 0; 6 without a sink; 1 when the events cannot be created; 10 when the
    // socket cannot be set up; 0xFFFFFFFF when the thread cannot be started
    // or is running already.
    uint32_t StartOperations(ICPSMD_Notification* sink);
    // 1 when not running; else 0 once the worker has stopped (5 s at most).
    uint32_t StopOperations();
    // Asks every controller for its status. 0, or 7 when it cannot be queued.
    uint32_t RefreshDevices();
    // Asks one controller to take a new address and mask (network order). The
    // outcome arrives as OnSetIPResult with *requestId. 0, or 7.
    uint32_t SetDeviceIP(uint32_t deviceId, uint32_t ipAddress, uint32_t netMask,
                         uint32_t* requestId);

    // Formats the line and raises OnServiceLog; the source tag is not shown.
    // A format of 4096 characters or more is dropped; longer lines are cut.
    void Log(const char* source, const char* format, ...) override
        __attribute__((format(printf, 3, 4)));

protected:
    uint32_t Run() override;

private:
    struct SendPacket {
        std::vector<uint8_t> bytes;
        std::unique_ptr<CPSMDataBase> record;  // set-IP requests only
    };
    // The datagram handed to the socket and not yet completed.
    struct PendingSend {
        bool blocked = false;  // waiting for the socket to take it
        bool failed = false;
        int error = 0;
        size_t sent = 0;
    };

    bool OpenSocket();
    void CloseSocket();
    void OnSocketReady(short revents);
    void OnSocketRead(uint32_t readError);
    void OnSocketWrite();
    void DoQOperation(std::unique_ptr<CPSMDataBase> record);
    uint32_t QueueOperation(std::unique_ptr<CPSMDataBase> record);
    uint32_t QueuePacket(uint32_t type, uint32_t deviceId, std::unique_ptr<CPSMDataBase> record,
                         uint32_t requestId, const uint8_t* payload, size_t payloadSize);
    void PostSendOperation(SendPacket& packet);
    void TrySend(const SendPacket& packet);
    void CompleteSend(uint32_t result);
    void ReleaseEvents();

    // Worker thread only.
    bool sendInProgress_ = false;
    PendingSend pending_;
    std::deque<SendPacket> sendQueue_;
    int socket_ = -1;

    // Created and released by the client's thread while no worker runs; the
    // worker uses them in between.
    std::unique_ptr<platform::Event> sendCompleteEvent_;
    std::unique_ptr<platform::Event> sendKickEvent_;
    // Set and cleared only under opQueueLock_: signalled exactly while
    // opQueue_ holds records.
    std::unique_ptr<platform::Event> opQueueEvent_;

    std::mutex opQueueLock_;
    std::deque<std::unique_ptr<CPSMDataBase>> opQueue_;  // guarded by opQueueLock_

    std::atomic<uint32_t> requestIdCounter_{1};
    // Written by StartOperations before the worker starts; read by both threads.
    ICPSMD_Notification* sink_ = nullptr;
};
