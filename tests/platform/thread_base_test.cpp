#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/thread_base.h"
#include "platform/wait.h"

using namespace std::chrono_literals;
using platform::ThreadBase;

namespace {

struct LogLine {
    std::string source;
    std::string text;
    bool operator==(const LogLine&) const = default;
};

// A worker whose body the test supplies; it records every log line and lets
// the test reach the protected start and stop helpers.
class TestWorker : public ThreadBase {
public:
    using Body = std::function<uint32_t(TestWorker&)>;
    explicit TestWorker(Body body) : body_(std::move(body)) {}
    ~TestWorker() override {
        if (IsRunning())
            Stop(nullptr, kInfinite);
    }

    void Log(const char* source, const char* format, ...) override {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        std::lock_guard<std::mutex> lock(mutex_);
        logs_.push_back({source, text});
    }
    std::vector<LogLine> Logs() {
        std::lock_guard<std::mutex> lock(mutex_);
        return logs_;
    }

    using ThreadBase::SignalStarted;
    using ThreadBase::StopEventHandle;

protected:
    uint32_t Run() override { return body_(*this); }

private:
    Body body_;
    std::mutex mutex_;
    std::vector<LogLine> logs_;  // guarded by mutex_
};

// The well-behaved body: report set-up, wait for the stop event, return code.
TestWorker::Body StopsWith(uint32_t code) {
    return [code](TestWorker& w) -> uint32_t {
        w.SignalStarted();
        const platform::WaitHandle stop = w.StopEventHandle();
        return platform::worker::WaitForHandles(w, &stop, 1) == 0 ? code : 0xDEAD;
    };
}

}  // namespace

TEST(ThreadBase, StartsStopsWithRunsCodeAndStartsAgain) {
    TestWorker worker(StopsWith(42));
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(worker.Start(), 0u) << "round " << round;
        EXPECT_TRUE(worker.IsRunning());
        uint32_t exitCode = 0;
        EXPECT_TRUE(worker.Stop(&exitCode, ThreadBase::kInfinite));
        EXPECT_EQ(exitCode, 42u);
        EXPECT_FALSE(worker.IsRunning());
    }
    EXPECT_TRUE(worker.Logs().empty());
}

TEST(ThreadBase, SecondStartIsRefusedAndLeavesTheRunningThreadAlone) {
    std::atomic<int> runs{0};
    TestWorker worker([&](TestWorker& w) {
        ++runs;
        return StopsWith(5)(w);
    });
    ASSERT_EQ(worker.Start(), 0u);
    EXPECT_EQ(worker.Start(), 0xFFFFFFFFu);
    EXPECT_EQ(worker.Logs(),
              (std::vector<LogLine>{{"CThreadBase::Start()", "Thread already running!"}}));
    EXPECT_TRUE(worker.IsRunning());
    uint32_t exitCode = 0;
    EXPECT_TRUE(worker.Stop(&exitCode, 2000));
    EXPECT_EQ(exitCode, 5u);
    EXPECT_EQ(runs.load(), 1);
}

TEST(ThreadBase, RunEndingBeforeItsSetUpIsReportedByStart) {
    TestWorker worker([](TestWorker&) -> uint32_t { return 10; });
    EXPECT_EQ(worker.Start(), 10u);
    EXPECT_FALSE(worker.IsRunning());

    uint32_t exitCode = 77;
    EXPECT_FALSE(worker.Stop(&exitCode, 1000));
    EXPECT_EQ(exitCode, 77u);
    EXPECT_EQ(worker.Logs(),
              (std::vector<LogLine>{{"CThreadBase::Stop()", "Thread not running!"}}));
}

TEST(ThreadBase, RunIgnoringTheStopEventIsGivenUpAfterTheTimeout) {
    // The body outlives Stop(): everything it touches is owned here, and the
    // worker object stays alive until the body has returned.
    auto release = std::make_shared<std::promise<void>>();
    auto released = release->get_future().share();
    auto finished = std::make_shared<std::promise<void>>();
    auto done = finished->get_future();
    auto worker = std::make_unique<TestWorker>([released, finished](TestWorker& w) -> uint32_t {
        w.SignalStarted();
        released.wait();
        finished->set_value();
        return 3;
    });
    ASSERT_EQ(worker->Start(), 0u);

    const auto before = std::chrono::steady_clock::now();
    uint32_t exitCode = 77;
    EXPECT_FALSE(worker->Stop(&exitCode, 200));
    const auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_GE(waited, 190ms);
    EXPECT_LT(waited, 2000ms);
    EXPECT_EQ(exitCode, 77u);
    EXPECT_FALSE(worker->IsRunning());
    const auto logs = worker->Logs();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].source, "CThreadBase::Stop()");
    EXPECT_EQ(logs[0].text.rfind("Wait for thread to die failed - ", 0), 0u) << logs[0].text;
    EXPECT_GT(logs[0].text.size(), std::string("Wait for thread to die failed - ").size());

    // The object counts as stopped although the abandoned body still runs.
    EXPECT_FALSE(worker->Stop(nullptr, 100));
    release->set_value();
    ASSERT_EQ(done.wait_for(5s), std::future_status::ready);
    worker.reset();
}

TEST(WorkerHelpers, WaitForHandlesReturnsTheLowestSignalledIndex) {
    namespace worker = platform::worker;
    TestWorker log(StopsWith(0));
    std::vector<std::unique_ptr<platform::Event>> events;
    std::vector<platform::WaitHandle> handles;
    for (int i = 0; i < 4; ++i) {
        events.push_back(worker::CreateEventHandle(log));
        ASSERT_TRUE(events.back());
        handles.push_back(events.back()->Handle());
    }
    ASSERT_TRUE(worker::SignalEventHandle(log, events[3].get()));
    EXPECT_EQ(worker::WaitForHandles(log, handles.data(), 4), 3u);
    ASSERT_TRUE(worker::SignalEventHandle(log, events[1].get()));
    // Manual-reset events stay set: both 1 and 3 are signalled, 1 wins, again and again.
    EXPECT_EQ(worker::WaitForHandles(log, handles.data(), 4), 1u);
    EXPECT_EQ(worker::WaitForHandles(log, handles.data(), 4), 1u);
    ASSERT_TRUE(worker::ResetEventHandle(log, events[1].get()));
    EXPECT_EQ(worker::WaitForHandles(log, handles.data(), 4), 3u);
    EXPECT_TRUE(log.Logs().empty());
}

TEST(WorkerHelpers, WaitFailuresAreLoggedAndReturnTheFailureValue) {
    TestWorker log(StopsWith(0));
    // A descriptor number that is certainly closed.
    const int fd = ::dup(0);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const platform::WaitHandle bad{fd, POLLIN, platform::WaitHandle::Consume::None};
    EXPECT_EQ(platform::worker::WaitForHandles(log, &bad, 1), 0xFFFFFFFFu);
    EXPECT_EQ(log.Logs(),
              (std::vector<LogLine>{{"CThreadBase::WaitForHandles()",
                                     "Error set waitable timer : Bad file descriptor"}}));
}
