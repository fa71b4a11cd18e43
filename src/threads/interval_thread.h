#pragma once
// An object that owns one thread which runs a routine at a fixed interval until stopped.
// Calling mode runs the routine on the owned thread; spawning mode starts a new thread for each
// tick, so the tick rate does not depend on how long the routine takes.
//
// The owned thread sleeps in an interruptible wait; Stop ends that wait at once. Suspend and
// Resume are a cooperative pause: a suspended loop issues no tick after its current sleep until
// it is resumed or stopped. Terminate is a stop that does not wait: the handle is let go at once
// and the loop ends at its next sleep (a thread cannot be killed safely from outside).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "threads/thread_handle.h"

namespace sucaigang {

using TickRoutine = std::function<void(std::int32_t value)>;

class IntervalThread {
 public:
  static constexpr std::int32_t kStopTimedOut = 258;

  IntervalThread();
  // Stops the loop and waits for it and for tick threads still running: the routine's bound
  // object may be freed right after.
  ~IntervalThread();
  IntervalThread(const IntervalThread&) = delete;
  IntervalThread& operator=(const IntervalThread&) = delete;

  // The running thread's handle, unchanged, when one is owned already; 0 when no thread could
  // be started.
  ThreadHandle Start(TickRoutine routine, std::int32_t interval, std::int32_t initialDelay,
                     std::int32_t value, bool callingMode);
  // -1 without a thread; 0 at once with noWait; else 0 when the loop ended within the time-out,
  // kStopTimedOut when it did not.
  std::int32_t Stop(long timeoutMs = 1000, bool noWait = false);
  bool Suspend();
  bool Resume();
  bool Terminate();
  // Applies from the next sleep on.
  void SetInterval(std::int32_t interval);

  ThreadHandle Thread() const;
  // Waits until no tick thread of spawning mode is running.
  void WaitForTicks();

 private:
  struct Run;
  struct Threads;

  void Loop(const std::shared_ptr<Run>& run, std::int32_t value);
  bool Sleep(Run& run, std::int32_t ms);
  void SpawnTick(const Run& run, std::int32_t value);

  mutable std::mutex mutex_;  // guards current_ and suspended_
  std::shared_ptr<Run> current_;
  bool suspended_ = false;
  std::atomic<std::int32_t> interval_{0};
  std::shared_ptr<Threads> threads_;
};

}  // namespace sucaigang
