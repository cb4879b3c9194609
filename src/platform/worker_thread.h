#pragma once
// One worker thread and the start / stop / give-up sequence every worker of
// the program follows. The owner starts it and learns whether the worker's
// set-up succeeded; it stops it through a stop event and waits for it up to
// a deadline on the monotonic clock, so that a step of the wall clock neither
// stretches nor cuts the wait.
//
// Linux has no safe forced thread termination: a worker that misses its
// deadline is detached, "given up on". From then on it may touch only what
// it owns. So a worker reaches what it shares with its owner only through
// objects both keep alive (its Control, and whatever state its body holds by
// shared_ptr), and checks Control::GivenUp() before each use of anything it
// does not own (a receiver, a log, a sink). Every start makes a fresh
// Control: a restart shares nothing with a worker given up on.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "platform/event.h"
#include "platform/wait_handle.h"

namespace platform {

class WorkerThread {
public:
    static constexpr int kNoLimit = -1;
    // How long the destructor waits for a worker that is still running.
    static constexpr int kDestroyWaitMs = 5000;

    // Shared by the worker and its owner; outlives a give-up.
    class Control {
    public:
        // Worker thread, during set-up: the set-up succeeded, Start() may
        // return. False when the start event could not be set (errno says why).
        bool ReportStarted();
        // Worker thread: to wait on among the worker's own objects.
        WaitHandle StopHandle() const { return stopEvent_.Handle(); }
        // Any thread: set once the owner has stopped waiting for the worker.
        bool GivenUp() const { return givenUp_.load(); }

    private:
        friend class WorkerThread;
        // Written by the worker before it sets startEvent_/finishedEvent_,
        // read by the owner after them; atomics because the events' ordering
        // is invisible to race checkers.
        std::atomic<bool> starting_{true};
        std::atomic<uint32_t> startResult_{0};
        std::atomic<uint32_t> exitCode_{0};
        std::atomic<bool> givenUp_{false};
        Event startEvent_{Event::Kind::ManualReset};
        Event stopEvent_{Event::Kind::ManualReset};
        Event finishedEvent_{Event::Kind::ManualReset};
    };

    // The worker's body; its return value is the worker's exit code, and its
    // start result when it returns before ReportStarted().
    using Body = std::function<uint32_t(Control&)>;

    struct StartResult {
        enum class Status { Started, EndedDuringSetUp, NoEvent, NoThread, WaitFailed };
        Status status = Status::Started;
        uint32_t code = 0;  // EndedDuringSetUp: what the body returned
        int error = 0;      // NoEvent, NoThread, WaitFailed: the errno
    };
    struct StopResult {
        enum class Status { Ended, GaveUp, NotSignalled, NotRunning };
        Status status = Status::Ended;
        uint32_t exitCode = 0;  // Ended: what the body returned
        int error = 0;          // NotSignalled: the errno
    };

    WorkerThread() = default;
    // Stops a worker still running, giving up on it after kDestroyWaitMs.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Owner's thread. Runs body on a new thread and waits until it reports
    // its set-up or returns. Refuses nothing: the caller checks Running().
    StartResult Start(Body body);
    // Owner's thread. Sets the stop event and waits up to timeoutMs
    // (kNoLimit: no limit) for the worker to end; a worker that does not is
    // given up on. Afterwards the object is stopped, unless the stop event
    // could not be set.
    StopResult Stop(int timeoutMs);

    // Owner's thread: between a successful Start() and Stop().
    bool Running() const { return control_ != nullptr; }
    // Any thread, while the worker runs: true on the worker itself.
    bool IsWorkerThread() const { return std::this_thread::get_id() == workerId_.load(); }

private:
    void Release();

    // Owner's thread.
    std::shared_ptr<Control> control_;
    std::thread thread_;
    std::atomic<std::thread::id> workerId_{};
};

}  // namespace platform
