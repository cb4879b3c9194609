#pragma once
// Base of an object that does its work on one thread of its own: a start
// handshake that tells the caller whether the thread's set-up succeeded, a
// cooperative stop through a manual-reset stop event with a bounded wait, and
// small event/timer/wait helpers that report each failure through Log().
//
// Linux has no safe forced thread termination: a thread that does not end in
// time is detached and the object is left stopped. The base's own code on a
// detached thread touches only a reference-counted run state, never the
// object; a Run() that ignores its stop event must itself stop touching the
// object once Stop() has given up on it.

#include <pthread.h>

#include <cstdint>
#include <memory>

#include "platform/event.h"
#include "platform/wait_handle.h"
#include "platform/waitable_timer.h"

namespace platform {

class CThreadBase {
public:
    static constexpr uint32_t kStartFailed = 0xFFFFFFFF;
    static constexpr uint32_t kInfinite = 0xFFFFFFFF;
    static constexpr uint32_t kWaitTimeout = 0x102;
    static constexpr uint32_t kWaitFailed = 0xFFFFFFFF;

    CThreadBase();
    virtual ~CThreadBase();
    CThreadBase(const CThreadBase&) = delete;
    CThreadBase& operator=(const CThreadBase&) = delete;

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
    virtual void Log(const char* source, const char* format, ...)
        __attribute__((format(printf, 3, 4))) = 0;

    // Owner's thread only.
    bool IsRunning() const { return running_; }

protected:
    // The thread's body: set up, call SignalStarted(), then wait on
    // StopEventHandle() among its other objects and return when it is set.
    virtual uint32_t Run() = 0;

    // Worker thread only (from within Run()).
    void SignalStarted();
    WaitHandle StopEventHandle() const;

    // Manual-reset event, initially clear; null on failure.
    std::unique_ptr<Event> CreateEventHandle();
    bool SignalEventHandle(Event* event);
    bool ResetEventHandle(Event* event);
    // Manual-reset one-shot timer; null on failure.
    std::unique_ptr<WaitableTimer> CreateTimerHandle();
    bool StartTimerHandle(WaitableTimer* timer, uint64_t ms);
    // 0 if signalled, kWaitTimeout if not, kWaitFailed on failure; never waits.
    uint32_t WaitForSingleHandle(const WaitHandle& handle);
    // Waits without limit; the index of the signalled handle (the lowest when
    // several are), or kWaitFailed.
    uint32_t WaitForHandles(const WaitHandle* handles, uint32_t count);

private:
    struct RunState;
    static void* ThreadRoutine(void* arg);
    void ReleaseRun();

    // All owner's thread only; the worker reaches its run state through a
    // thread-local pointer, so a detached worker never reads these.
    bool running_ = false;
    bool hasThread_ = false;
    pthread_t thread_{};
    // Starting flag, start result, start and stop events and exit code; shared
    // with the worker, which keeps it alive while it runs.
    std::shared_ptr<RunState> run_;
};

}  // namespace platform
