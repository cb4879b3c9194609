#include "platform/thread_base.h"

#include <cerrno>
#include <ctime>

#include <atomic>

#include "platform/debug_output.h"
#include "platform/system_error_text.h"
#include "platform/wait.h"

namespace platform {

struct CThreadBase::RunState {
    CThreadBase* owner = nullptr;
    // Written by the worker before it signals the start event, read by Start()
    // after the event; atomics because the event's ordering is invisible to
    // race checkers.
    std::atomic<bool> starting{false};
    std::atomic<uint32_t> startResult{0};
    std::atomic<uint32_t> exitCode{0};
    std::unique_ptr<Event> startEvent;
    std::unique_ptr<Event> stopEvent;
};

namespace {

// The run state of the Run() executing on this thread, if any.
thread_local void* t_runState = nullptr;

}  // namespace

CThreadBase::CThreadBase() = default;

CThreadBase::~CThreadBase() {
    if (!hasThread_)
        return;
    // The subclass is gone already, so Log() cannot be called; a subclass
    // should have stopped its thread in its own destructor.
    DebugOutput("CThreadBase: destroyed while its thread runs; stopping it");
    if (run_ && run_->stopEvent)
        run_->stopEvent->Set();
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 5;
    if (pthread_timedjoin_np(thread_, nullptr, &deadline) != 0)
        pthread_detach(thread_);
}

void* CThreadBase::ThreadRoutine(void* arg) {
    // The routine holds its own reference, so that nothing it touches after
    // Run() returns can have been freed by a Stop() that gave up waiting.
    std::shared_ptr<RunState> state(std::move(*static_cast<std::shared_ptr<RunState>*>(arg)));
    delete static_cast<std::shared_ptr<RunState>*>(arg);
    t_runState = state.get();
    state->starting.store(true);
    const uint32_t code = state->owner->Run();
    if (state->starting.exchange(false)) {
        state->startResult.store(code);
        state->startEvent->Set();
    }
    state->exitCode.store(code);
    t_runState = nullptr;
    return nullptr;
}

uint32_t CThreadBase::Start() {
    if (running_) {
        Log("CThreadBase::Start()", "Thread already running!");
        return kStartFailed;
    }
    auto state = std::make_shared<RunState>();
    state->owner = this;
    state->stopEvent = CreateEventHandle();
    if (!state->stopEvent)
        return kStartFailed;
    state->startEvent = CreateEventHandle();
    if (!state->startEvent)
        return kStartFailed;

    auto* arg = new std::shared_ptr<RunState>(state);
    const int err = pthread_create(&thread_, nullptr, &CThreadBase::ThreadRoutine, arg);
    if (err != 0) {
        delete arg;
        Log("CThreadBase::Start()", "Unable to create thread : %s",
            SystemErrorText(err).c_str());
        return kStartFailed;
    }
    hasThread_ = true;
    run_ = state;

    const WaitHandle started = state->startEvent->Handle();
    if (WaitForHandles(&started, 1) != 0) {
        // No forced termination here: ask the thread to end and let it go.
        state->stopEvent->Set();
        pthread_detach(thread_);
        ReleaseRun();
        return kStartFailed;
    }
    const uint32_t result = state->startResult.load();
    if (result == 0) {
        running_ = true;
        return 0;
    }
    // Run() has ended already; collect the thread.
    pthread_join(thread_, nullptr);
    ReleaseRun();
    return result;
}

bool CThreadBase::Stop(uint32_t* exitCodeOut, uint32_t timeoutMs) {
    if (!running_) {
        Log("CThreadBase::Stop()", "Thread not running!");
        return false;
    }
    if (!SignalEventHandle(run_->stopEvent.get()))
        return false;

    int err;
    if (timeoutMs == kInfinite) {
        err = pthread_join(thread_, nullptr);
    } else {
        timespec deadline{};
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += timeoutMs / 1000;
        deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        err = pthread_timedjoin_np(thread_, nullptr, &deadline);
    }
    bool ended = err == 0;
    if (ended) {
        if (exitCodeOut)
            *exitCodeOut = run_->exitCode.load();
    } else {
        Log("CThreadBase::Stop()", "Wait for thread to die failed - %s",
            SystemErrorText(err == ETIMEDOUT ? ETIME : err).c_str());
        pthread_detach(thread_);
    }
    ReleaseRun();
    running_ = false;
    return ended;
}

void CThreadBase::ReleaseRun() {
    run_.reset();
    hasThread_ = false;
    thread_ = {};
}

void CThreadBase::SignalStarted() {
    auto* state = static_cast<RunState*>(t_runState);
    if (state == nullptr || state->owner != this) {
        DebugOutput("CThreadBase::SignalStarted() called outside Run()");
        return;
    }
    state->startResult.store(0);
    state->starting.store(false);
    SignalEventHandle(state->startEvent.get());
}

WaitHandle CThreadBase::StopEventHandle() const {
    auto* state = static_cast<RunState*>(t_runState);
    if (state == nullptr || state->owner != this)
        return WaitHandle{};
    return state->stopEvent->Handle();
}

std::unique_ptr<Event> CThreadBase::CreateEventHandle() {
    auto event = std::make_unique<Event>(Event::Kind::ManualReset);
    if (!event->IsValid()) {
        const int err = errno;
        Log("CThreadBase::CreateEventHandle()", "Unable to create event : %s",
            SystemErrorText(err).c_str());
        return nullptr;
    }
    return event;
}

bool CThreadBase::SignalEventHandle(Event* event) {
    if (event != nullptr && event->Set())
        return true;
    const int err = event == nullptr ? EBADF : errno;
    Log("CThreadBase::SignalEventHandle()", "Unable to set event : %s",
        SystemErrorText(err).c_str());
    return false;
}

bool CThreadBase::ResetEventHandle(Event* event) {
    if (event != nullptr && event->Reset())
        return true;
    const int err = event == nullptr ? EBADF : errno;
    Log("CThreadBase::ResetEventHandle()", "Unable to reset event : %s",
        SystemErrorText(err).c_str());
    return false;
}

std::unique_ptr<WaitableTimer> CThreadBase::CreateTimerHandle() {
    auto timer =
        std::make_unique<WaitableTimer>(WaitableTimer::Kind::ManualReset);
    if (!timer->IsValid()) {
        const int err = errno;
        Log("CThreadBase::CreateTimerHandle()", "Unable to create timer : %s",
            SystemErrorText(err).c_str());
        return nullptr;
    }
    return timer;
}

bool CThreadBase::StartTimerHandle(WaitableTimer* timer, uint64_t ms) {
    if (timer != nullptr && timer->Arm(ms))
        return true;
    const int err = timer == nullptr ? EBADF : errno;
    Log("CThreadBase::StartTimerHandle()", "Error set waitable timer : %s",
        SystemErrorText(err).c_str());
    return false;
}

uint32_t CThreadBase::WaitForSingleHandle(const WaitHandle& handle) {
    const int r = WaitAny({&handle, 1}, 0);
    if (r == 0)
        return 0;
    if (r == kWaitTimeout)
        return kWaitTimeout;
    const int err = errno;
    Log("CThreadBase::WaitForSingleHandle()", "Error set waitable timer : %s",
        SystemErrorText(err).c_str());
    return kWaitFailed;
}

uint32_t CThreadBase::WaitForHandles(const WaitHandle* handles, uint32_t count) {
    const int r = WaitAny({handles, count}, kWaitInfinite);
    if (r >= 0 && r != kWaitTimeout)
        return static_cast<uint32_t>(r);
    const int err = r == kWaitTimeout ? ETIME : errno;
    Log("CThreadBase::WaitForHandles()", "Error set waitable timer : %s",
        SystemErrorText(err).c_str());
    return kWaitFailed;
}

}  // namespace platform
