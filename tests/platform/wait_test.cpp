#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/event.h"
#include "platform/wait.h"
#include "platform/waitable_timer.h"

using platform::Event;
using platform::WaitableTimer;
using platform::WaitAny;
using platform::WaitHandle;

namespace {

int WaitOne(const WaitHandle& h, int timeoutMs) {
    return WaitAny({&h, 1}, timeoutMs);
}

}  // namespace

TEST(Event, AutoResetIsConsumedByTheWaitThatReturnsIt) {
    Event e(Event::Kind::AutoReset);
    ASSERT_TRUE(e.IsValid());
    EXPECT_EQ(WaitOne(e.Handle(), 0), platform::kWaitTimeout);
    e.Set();
    e.Set();  // two sets still make one signal
    EXPECT_EQ(WaitOne(e.Handle(), 0), 0);
    EXPECT_EQ(WaitOne(e.Handle(), 0), platform::kWaitTimeout);
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
    Event e(Event::Kind::ManualReset, true);
    EXPECT_EQ(WaitOne(e.Handle(), 0), 0);
    EXPECT_EQ(WaitOne(e.Handle(), 0), 0);
    EXPECT_TRUE(e.TryWait());
    e.Reset();
    EXPECT_EQ(WaitOne(e.Handle(), 0), platform::kWaitTimeout);
    EXPECT_FALSE(e.TryWait());
}

TEST(WaitAny, LowestSignalledIndexWinsAndOnlyItIsConsumed) {
    Event a(Event::Kind::AutoReset), b(Event::Kind::AutoReset), c(Event::Kind::ManualReset);
    const WaitHandle hs[] = {a.Handle(), b.Handle(), c.Handle()};
    b.Set();
    c.Set();
    EXPECT_EQ(WaitAny(hs, 0), 1);
    EXPECT_EQ(WaitAny(hs, 0), 2);  // b was consumed; c is manual and stays
    EXPECT_EQ(WaitAny(hs, 0), 2);
    a.Set();
    b.Set();
    EXPECT_EQ(WaitAny(hs, 0), 0);
    EXPECT_EQ(WaitAny(hs, 0), 1);  // b was left standing while a was returned
}

TEST(WaitAny, WakesWhenAnotherThreadSignals) {
    Event e(Event::Kind::AutoReset);
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        e.Set();
    });
    EXPECT_EQ(WaitOne(e.Handle(), platform::kWaitInfinite), 0);
    t.join();
}

TEST(WaitAny, TimesOutAfterTheGivenTime) {
    Event e(Event::Kind::ManualReset);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitOne(e.Handle(), 50), platform::kWaitTimeout);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - t0);
    EXPECT_GE(ms.count(), 45);
    EXPECT_LT(ms.count(), 1000);
}

TEST(WaitAny, ABadDescriptorFails) {
    WaitHandle closed{1000, POLLIN, WaitHandle::Consume::None};
    EXPECT_EQ(WaitAny({&closed, 1}, 0), platform::kWaitFailed);
}

TEST(WaitableTimer, FiresOnceAfterItsDueTime) {
    WaitableTimer t(WaitableTimer::Kind::AutoReset);
    ASSERT_TRUE(t.IsValid());
    EXPECT_EQ(WaitOne(t.Handle(), 0), platform::kWaitTimeout);  // never armed
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(t.Arm(40));
    EXPECT_EQ(WaitOne(t.Handle(), 0), platform::kWaitTimeout);
    EXPECT_EQ(WaitOne(t.Handle(), 2000), 0);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - t0);
    EXPECT_GE(ms.count(), 35);
    EXPECT_EQ(WaitOne(t.Handle(), 60), platform::kWaitTimeout);  // one-shot, consumed
}

TEST(WaitableTimer, ManualResetStaysSignalledUntilRearmedOrCancelled) {
    WaitableTimer t(WaitableTimer::Kind::ManualReset);
    ASSERT_TRUE(t.Arm(0));
    EXPECT_EQ(WaitOne(t.Handle(), 1000), 0);
    EXPECT_EQ(WaitOne(t.Handle(), 0), 0);
    ASSERT_TRUE(t.Arm(10000));  // re-arming clears the expiry
    EXPECT_EQ(WaitOne(t.Handle(), 0), platform::kWaitTimeout);
    ASSERT_TRUE(t.Arm(0));
    EXPECT_EQ(WaitOne(t.Handle(), 1000), 0);
    ASSERT_TRUE(t.Cancel());
    EXPECT_EQ(WaitOne(t.Handle(), 0), platform::kWaitTimeout);
}

TEST(WaitableTimer, CancelledTimerNeverFires) {
    WaitableTimer t(WaitableTimer::Kind::AutoReset);
    ASSERT_TRUE(t.Arm(20));
    ASSERT_TRUE(t.Cancel());
    EXPECT_EQ(WaitOne(t.Handle(), 80), platform::kWaitTimeout);
}
