#include "threads/interval_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "threads/event.h"

namespace sucaigang {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Tick times and values, shared with tick threads that may outlive a test's interest.
struct Ticks {
  std::mutex mutex;
  std::vector<Clock::time_point> times;
  std::vector<std::int32_t> values;
  std::vector<std::thread::id> threads;

  TickRoutine Routine() {
    return [this](std::int32_t value) {
      std::lock_guard lock(mutex);
      times.push_back(Clock::now());
      values.push_back(value);
      threads.push_back(std::this_thread::get_id());
    };
  }
  std::size_t Count() {
    std::lock_guard lock(mutex);
    return times.size();
  }
  bool WaitForCount(std::size_t n, std::chrono::milliseconds limit = 5s) {
    auto deadline = Clock::now() + limit;
    while (Count() < n) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(2ms);
    }
    return true;
  }
};

bool WaitUntilNoThread(const IntervalThread& thread) {
  for (int i = 0; i < 2500 && thread.Thread() != 0; ++i) std::this_thread::sleep_for(2ms);
  return thread.Thread() == 0;
}

TEST(IntervalThread, StopWithoutThreadIsMinusOne) {
  IntervalThread thread;
  EXPECT_EQ(thread.Stop(), -1);
  EXPECT_FALSE(thread.Suspend());
  EXPECT_FALSE(thread.Resume());
  EXPECT_FALSE(thread.Terminate());
}

TEST(IntervalThread, StopDuringInitialDelayEndsWithoutTickAndCanStartAgain) {
  for (bool callingMode : {true, false}) {
    Ticks ticks;
    IntervalThread thread;
    ThreadHandle first = thread.Start(ticks.Routine(), 10, 10000, 2, callingMode);
    ASSERT_NE(first, 0u);
    auto before = Clock::now();
    EXPECT_EQ(thread.Stop(), 0);
    EXPECT_LT(Clock::now() - before, 900ms);  // the sleep ends at once, not at the delay
    EXPECT_EQ(thread.Thread(), 0u);
    EXPECT_EQ(ticks.Count(), 0u);

    ThreadHandle second = thread.Start(ticks.Routine(), 10, 0, 7, callingMode);
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
    ASSERT_TRUE(ticks.WaitForCount(2));
    EXPECT_EQ(thread.Stop(), 0);
    thread.WaitForTicks();
    std::lock_guard lock(ticks.mutex);
    EXPECT_EQ(ticks.values.front(), 7);
  }
}

TEST(IntervalThread, StartWhileRunningKeepsHandleRoutineAndInterval) {
  Ticks ticks, other;
  IntervalThread thread;
  ThreadHandle handle = thread.Start(ticks.Routine(), 20, 0, 1, true);
  EXPECT_EQ(thread.Start(other.Routine(), 100000, 0, 9, false), handle);
  ASSERT_TRUE(ticks.WaitForCount(3));  // the 20 ms interval still holds
  EXPECT_EQ(thread.Stop(), 0);
  EXPECT_EQ(other.Count(), 0u);
}

TEST(IntervalThread, StopWithNoWaitReturnsAtOnceAndTheLoopEnds) {
  IntervalThread thread;
  Event release;
  Event entered;
  // Calling mode with a routine that blocks: the loop cannot have ended when Stop returns.
  thread.Start(
      [&](std::int32_t) {
        entered.Set();
        release.Wait(5000);
      },
      10, 0, 2, true);
  ASSERT_TRUE(entered.Wait(5000));
  EXPECT_EQ(thread.Stop(0, true), 0);
  EXPECT_NE(thread.Thread(), 0u);
  EXPECT_EQ(thread.Stop(20), IntervalThread::kStopTimedOut);
  release.Set();
  EXPECT_TRUE(WaitUntilNoThread(thread));  // the wake-up took effect at the next sleep
  EXPECT_EQ(thread.Stop(), -1);
}

TEST(IntervalThread, SetIntervalAppliesFromTheNextSleep) {
  Ticks ticks;
  IntervalThread thread;
  thread.Start(ticks.Routine(), 400, 0, 2, true);
  ASSERT_TRUE(ticks.WaitForCount(1));
  thread.SetInterval(10);
  ASSERT_TRUE(ticks.WaitForCount(6));
  EXPECT_EQ(thread.Stop(), 0);
  std::lock_guard lock(ticks.mutex);
  EXPECT_GE(ticks.times[1] - ticks.times[0], 350ms);  // the sleep under way keeps its length
  EXPECT_LT(ticks.times[5] - ticks.times[1], 350ms);  // then 10 ms gaps
}

TEST(IntervalThread, SpawningModeRunsEachTickOnItsOwnThreadAndTicksOverlap) {
  auto running = std::make_shared<std::atomic<int>>(0);
  auto most = std::make_shared<std::atomic<int>>(0);
  auto count = std::make_shared<std::atomic<int>>(0);
  IntervalThread thread;
  thread.Start(
      [running, most, count](std::int32_t) {
        int now = ++*running;
        int seen = most->load();
        while (now > seen && !most->compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(60ms);
        --*running;
        ++*count;
      },
      10, 0, 2, false);
  for (int i = 0; i < 2500 && *count < 6; ++i) std::this_thread::sleep_for(2ms);
  EXPECT_EQ(thread.Stop(), 0);
  thread.WaitForTicks();
  EXPECT_GE(*count, 6);
  EXPECT_GT(*most, 1);  // a slow routine does not hold back the next tick
  EXPECT_EQ(*running, 0);
}

TEST(IntervalThread, SuspendPausesTicksUntilResumeAndTerminateLetsGoAtOnce) {
  Ticks ticks;
  IntervalThread thread;
  ThreadHandle handle = thread.Start(ticks.Routine(), 5, 0, 2, true);
  ASSERT_TRUE(ticks.WaitForCount(1));
  EXPECT_TRUE(thread.Suspend());
  EXPECT_FALSE(thread.Suspend());
  std::this_thread::sleep_for(30ms);  // at most one tick may still be under way
  std::size_t paused = ticks.Count();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(ticks.Count(), paused);
  EXPECT_TRUE(thread.Resume());
  EXPECT_FALSE(thread.Resume());
  ASSERT_TRUE(ticks.WaitForCount(paused + 2));

  EXPECT_TRUE(thread.Suspend());
  EXPECT_EQ(thread.Stop(), 0);  // a suspended loop still ends

  EXPECT_NE(thread.Start(ticks.Routine(), 5, 0, 2, true), handle);
  EXPECT_TRUE(thread.Terminate());
  EXPECT_EQ(thread.Thread(), 0u);
  EXPECT_EQ(thread.Stop(), -1);
}

}  // namespace
}  // namespace sucaigang
