#include "threads/lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "threads/event.h"

namespace sucaigang {
namespace {

bool TryEnterOnOtherThread(Lock& lock) {
  bool entered = false;
  std::thread([&] {
    entered = lock.TryEnter();
    if (entered) lock.Leave();
  }).join();
  return entered;
}

TEST(Lock, TryEnterFailsAtOnceForOthersAndSucceedsForTheHolder) {
  Lock lock;
  EXPECT_TRUE(TryEnterOnOtherThread(lock));
  lock.Enter();
  EXPECT_FALSE(TryEnterOnOtherThread(lock));
  EXPECT_TRUE(lock.TryEnter());  // re-entrant for the holder
  lock.Leave();
  EXPECT_FALSE(TryEnterOnOtherThread(lock));  // still held once
  lock.Leave();
  EXPECT_TRUE(TryEnterOnOtherThread(lock));
}

TEST(Event, AutoResetsAndBoundsTheWait) {
  Event event;
  EXPECT_FALSE(event.Wait(10));
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));  // reset by the successful wait

  Event signalled(true);
  EXPECT_TRUE(signalled.Wait(0));

  std::thread setter([&] { event.Set(); });
  EXPECT_TRUE(event.Wait(5000));
  setter.join();
}

}  // namespace
}  // namespace sucaigang
