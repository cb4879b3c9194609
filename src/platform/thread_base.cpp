#include "platform/thread_base.h"

#include <cerrno>

#include "platform/debug_output.h"
#include "platform/system_error_text.h"
#include "platform/wait.h"

namespace platform {
namespace {

// The control of the Run() executing on this thread, and its object; a
// detached worker never reads the object's members to find its own state.
thread_local WorkerThread::Control* t_control = nullptr;
thread_local const ThreadBase* t_owner = nullptr;

int TimeoutFromMs(uint32_t ms) {
    return ms == ThreadBase::kInfinite ? WorkerThread::kNoLimit : static_cast<int>(ms);
}

}  // namespace

ThreadBase::ThreadBase() = default;

ThreadBase::~ThreadBase() {
    // The subclass is gone already, so Log() cannot be called; a subclass
    // should have stopped its thread in its own destructor. worker_ stops it.
    if (worker_.Running())
        DebugOutput("CThreadBase: destroyed while its thread runs; stopping it");
}

uint32_t ThreadBase::Start() {
    if (worker_.Running()) {
        Log("CThreadBase::Start()", "Thread already running!");
        return kStartFailed;
    }
    const auto result = worker_.Start([this](WorkerThread::Control& control) {
        t_control = &control;
        t_owner = this;
        const uint32_t code = Run();
        t_control = nullptr;
        t_owner = nullptr;
        return code;
    });
    using Status = WorkerThread::StartResult::Status;
    switch (result.status) {
        case Status::Started:
            return 0;
        case Status::EndedDuringSetUp:
            return result.code;
        case Status::NoEvent:
            Log("CThreadBase::CreateEventHandle()", "Unable to create event : %s",
                SystemErrorText(result.error).c_str());
            return kStartFailed;
        case Status::NoThread:
            Log("CThreadBase::Start()", "Unable to create thread : %s",
                SystemErrorText(result.error).c_str());
            return kStartFailed;
        case Status::WaitFailed:
            Log("CThreadBase::WaitForHandles()", "Error set waitable timer : %s",
                SystemErrorText(result.error).c_str());
            return kStartFailed;
    }
    return kStartFailed;
}

bool ThreadBase::Stop(uint32_t* exitCodeOut, uint32_t timeoutMs) {
    using Status = WorkerThread::StopResult::Status;
    const auto result = worker_.Stop(TimeoutFromMs(timeoutMs));
    switch (result.status) {
        case Status::NotRunning:
            Log("CThreadBase::Stop()", "Thread not running!");
            return false;
        case Status::NotSignalled:
            Log("CThreadBase::SignalEventHandle()", "Unable to set event : %s",
                SystemErrorText(result.error).c_str());
            return false;
        case Status::GaveUp:
            Log("CThreadBase::Stop()", "Wait for thread to die failed - %s",
                SystemErrorText(result.error).c_str());
            return false;
        case Status::Ended:
            if (exitCodeOut)
                *exitCodeOut = result.exitCode;
            return true;
    }
    return false;
}

void ThreadBase::SignalStarted() {
    if (t_control == nullptr || t_owner != this) {
        DebugOutput("CThreadBase::SignalStarted() called outside Run()");
        return;
    }
    if (!t_control->ReportStarted()) {
        const int err = errno;
        Log("CThreadBase::SignalEventHandle()", "Unable to set event : %s",
            SystemErrorText(err).c_str());
    }
}

WaitHandle ThreadBase::StopEventHandle() const {
    const WorkerThread::Control* control = RunControl();
    return control ? control->StopHandle() : WaitHandle{};
}

const WorkerThread::Control* ThreadBase::RunControl() const {
    return t_owner == this ? t_control : nullptr;
}

namespace worker {

std::unique_ptr<Event> CreateEventHandle(WorkerLog& log) {
    auto event = std::make_unique<Event>(Event::Kind::ManualReset);
    if (!event->IsValid()) {
        const int err = errno;
        log.Log("CThreadBase::CreateEventHandle()", "Unable to create event : %s",
                SystemErrorText(err).c_str());
        return nullptr;
    }
    return event;
}

bool SignalEventHandle(WorkerLog& log, Event* event) {
    if (event != nullptr && event->Set())
        return true;
    const int err = event == nullptr ? EBADF : errno;
    log.Log("CThreadBase::SignalEventHandle()", "Unable to set event : %s",
            SystemErrorText(err).c_str());
    return false;
}

bool ResetEventHandle(WorkerLog& log, Event* event) {
    if (event != nullptr && event->Reset())
        return true;
    const int err = event == nullptr ? EBADF : errno;
    log.Log("CThreadBase::ResetEventHandle()", "Unable to reset event : %s",
            SystemErrorText(err).c_str());
    return false;
}

uint32_t WaitForHandles(WorkerLog& log, const WaitHandle* handles, uint32_t count) {
    const int r = WaitAny({handles, count}, kWaitInfinite);
    if (r >= 0 && r != kWaitTimeout)
        return static_cast<uint32_t>(r);
    const int err = r == kWaitTimeout ? ETIME : errno;
    log.Log("CThreadBase::WaitForHandles()", "Error set waitable timer : %s",
            SystemErrorText(err).c_str());
    return worker::kWaitFailed;
}

}  // namespace worker
}  // namespace platform
