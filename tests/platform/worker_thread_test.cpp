// The worker facility's start / stop / give-up sequence, seen from a body
// that outlives its owner's patience.

#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>

#include "platform/wait.h"

using namespace std::chrono_literals;
using platform::WorkerThread;

namespace {

// Waits for the stop event like a well-behaved worker and returns code.
WorkerThread::Body StopsWith(uint32_t code) {
    return [code](WorkerThread::Control& control) -> uint32_t {
        control.ReportStarted();
        const platform::WaitHandle stop[] = {control.StopHandle()};
        return platform::WaitAny(stop, platform::kWaitInfinite) == 0 ? code : 0xDEAD;
    };
}

}  // namespace

TEST(WorkerThread, StartReportsTheSetUpAndStopCollectsTheExitCode) {
    WorkerThread worker;
    EXPECT_EQ(worker.Start(StopsWith(7)).status, WorkerThread::StartResult::Status::Started);
    EXPECT_TRUE(worker.Running());
    const auto stopped = worker.Stop(WorkerThread::kNoLimit);
    EXPECT_EQ(stopped.status, WorkerThread::StopResult::Status::Ended);
    EXPECT_EQ(stopped.exitCode, 7u);
    EXPECT_FALSE(worker.Running());
    EXPECT_EQ(worker.Stop(100).status, WorkerThread::StopResult::Status::NotRunning);

    const auto early = worker.Start([](WorkerThread::Control&) -> uint32_t { return 10; });
    EXPECT_EQ(early.status, WorkerThread::StartResult::Status::EndedDuringSetUp);
    EXPECT_EQ(early.code, 10u);
    EXPECT_FALSE(worker.Running());
}

TEST(WorkerThread, ABodyGivenUpOnLearnsItAndARestartGetsAFreshControl) {
    WorkerThread worker;
    std::promise<void> release;
    auto released = release.get_future().share();
    std::promise<bool> sawGivenUp;
    auto givenUp = sawGivenUp.get_future();
    // Everything the stuck body touches after the give-up is its own.
    ASSERT_EQ(worker
                  .Start([released, result = std::make_shared<std::promise<bool>>(
                                        std::move(sawGivenUp))](WorkerThread::Control& control) {
                      control.ReportStarted();
                      released.wait();
                      result->set_value(control.GivenUp());
                      return 3u;
                  })
                  .status,
              WorkerThread::StartResult::Status::Started);

    const auto start = std::chrono::steady_clock::now();
    const auto stopped = worker.Stop(200);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(stopped.status, WorkerThread::StopResult::Status::GaveUp);
    EXPECT_GE(took, 190ms);
    EXPECT_LT(took, 2s);
    EXPECT_FALSE(worker.Running());

    // The new worker must not see the old one's give-up, nor its stop.
    std::atomic<bool> freshGivenUp{true};
    ASSERT_EQ(worker
                  .Start([&](WorkerThread::Control& control) {
                      freshGivenUp = control.GivenUp();
                      return StopsWith(4)(control);
                  })
                  .status,
              WorkerThread::StartResult::Status::Started);
    EXPECT_FALSE(freshGivenUp.load());

    release.set_value();
    ASSERT_EQ(givenUp.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(givenUp.get());
    EXPECT_TRUE(worker.Running());
    const auto second = worker.Stop(2000);
    EXPECT_EQ(second.status, WorkerThread::StopResult::Status::Ended);
    EXPECT_EQ(second.exitCode, 4u);
}
