#pragma once
// Base of an object that does its work on one thread of its own: a start
// handshake that tells the caller whether the thread's set-up succeeded and a
// cooperative stop through a manual-reset stop event with a bounded wait;
// beside it, small event and wait helpers that report each failure through a
// WorkerLog.
//
// The thread itself is a WorkerThread: a thread that does not end in time is
// given up on (detached) and the object is left stopped. A Run() that may be
// given up on must, after its set-up, reach nothing of the object: it works
// on state it holds by shared_ptr, logs through an WorkerLog of that state,
// and checks RunControl()->GivenUp() before each use of what it does not own.

#include <cstdint>
#include <memory>

#include "platform/event.h"
#include "platform/wait_handle.h"
#include "platform/worker_thread.h"

namespace platform {

// Where the worker helpers below report their failures.
class WorkerLog {
public:
    virtual void Log(const char* source, const char* format, ...)
        __attribute__((format(printf, 3, 4))) = 0;

protected:
    ~WorkerLog() = default;
};

// The helpers of a worker, for state that outlives its object. Each logs its
// failure through log and returns the failure value.
namespace worker {

inline constexpr uint32_t kWaitFailed = 0xFFFFFFFF;

// Manual-reset event, initially clear; null on failure.
std::unique_ptr<Event> CreateEventHandle(WorkerLog& log);
bool SignalEventHandle(WorkerLog& log, Event* event);
bool ResetEventHandle(WorkerLog& log, Event* event);
// Waits without limit; the index of the signalled handle (the lowest when
// several are), or kWaitFailed.
uint32_t WaitForHandles(WorkerLog& log, const WaitHandle* handles, uint32_t count);

}  // namespace worker

class ThreadBase : public WorkerLog {
public:
    static constexpr uint32_t kStartFailed = 0xFFFFFFFF;
    static constexpr uint32_t kInfinite = 0xFFFFFFFF;

    ThreadBase();
    virtual ~ThreadBase();
    ThreadBase(const ThreadBase&) = delete;
    ThreadBase& operator=(const ThreadBase&) = delete;

    // 0 when Run() reported its set-up; kStartFailed when the thread is
    // already running or cannot be started; otherwise the code Run() ended
    // with before it reported its set-up (the object is then stopped).
    virtual uint32_t Start();
    // Signals the stop event and waits up to timeoutMs (kInfinite: no limit)
    // for the thread to end. True when it ended; exitCodeOut, when given,
    // receives Run()'s code. Afterwards the object is stopped, except when the
    // stop event could not be signalled.
    virtual bool Stop(uint32_t* exitCodeOut, uint32_t timeoutMs);
    // Where log lines go is the subclass's choice. Called on either thread.
    void Log(const char* source, const char* format, ...) override
        __attribute__((format(printf, 3, 4))) = 0;

    // Owner's thread only.
    bool IsRunning() const { return worker_.Running(); }

protected:
    // The thread's body: set up, call SignalStarted(), then wait on
    // StopEventHandle() among its other objects and return when it is set.
    virtual uint32_t Run() = 0;

    // Worker thread only (from within Run()).
    void SignalStarted();
    WaitHandle StopEventHandle() const;
    // The running worker's share of the start / stop sequence; null outside Run().
    const WorkerThread::Control* RunControl() const;

private:
    // Owner's thread.
    WorkerThread worker_;
};

}  // namespace platform
