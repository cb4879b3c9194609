#include "platform/worker_thread.h"

#include <cerrno>
#include <system_error>

#include "platform/wait.h"

namespace platform {

bool WorkerThread::Control::ReportStarted() {
    startResult_.store(0);
    starting_.store(false);
    return startEvent_.Set();
}

WorkerThread::~WorkerThread() {
    if (Running())
        Stop(kDestroyWaitMs);
}

WorkerThread::StartResult WorkerThread::Start(Body body) {
    using Status = StartResult::Status;
    auto control = std::make_shared<Control>();
    for (const Event* event :
         {&control->startEvent_, &control->stopEvent_, &control->finishedEvent_}) {
        if (!event->IsValid())
            return {Status::NoEvent, 0, errno};
    }
    try {
        // The thread holds its own reference: nothing it touches after the
        // body returns can have been freed by a Stop() that gave up.
        thread_ = std::thread([control, body = std::move(body)] {
            const uint32_t code = body(*control);
            if (control->starting_.exchange(false)) {
                control->startResult_.store(code);
                control->startEvent_.Set();
            }
            control->exitCode_.store(code);
            control->finishedEvent_.Set();
        });
    } catch (const std::system_error& e) {
        return {Status::NoThread, 0, e.code().value()};
    }
    workerId_.store(thread_.get_id());
    control_ = control;

    const WaitHandle started[] = {control->startEvent_.Handle()};
    if (WaitAny(started, kWaitInfinite) != 0) {
        const int err = errno;
        control->givenUp_.store(true);
        control->stopEvent_.Set();
        thread_.detach();
        Release();
        return {Status::WaitFailed, 0, err};
    }
    if (!control->starting_.load() && control->startResult_.load() != 0) {
        // The body has ended already; collect the thread.
        const uint32_t code = control->startResult_.load();
        thread_.join();
        Release();
        return {Status::EndedDuringSetUp, code, 0};
    }
    return {};
}

WorkerThread::StopResult WorkerThread::Stop(int timeoutMs) {
    using Status = StopResult::Status;
    if (!Running())
        return {Status::NotRunning, 0, 0};
    if (!control_->stopEvent_.Set())
        return {Status::NotSignalled, 0, errno};
    const WaitHandle finished[] = {control_->finishedEvent_.Handle()};
    StopResult result;
    if (WaitAny(finished, timeoutMs) == 0) {
        thread_.join();
        result = {Status::Ended, control_->exitCode_.load(), 0};
    } else {
        control_->givenUp_.store(true);
        thread_.detach();
        result = {Status::GaveUp, 0, ETIME};
    }
    Release();
    return result;
}

void WorkerThread::Release() {
    control_.reset();
    workerId_.store(std::thread::id{});
}

}  // namespace platform
