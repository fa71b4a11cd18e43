#include "threads/interval_thread.h"

#include <chrono>
#include <system_error>
#include <thread>

namespace sucaigang {

// One loop thread's own state; shared with its thread, which may outlive the object's interest
// in it (Terminate).
struct IntervalThread::Run {
  ThreadHandle handle = 0;
  TickRoutine routine;
  std::int32_t initialDelay = 0;
  bool callingMode = false;
  std::mutex mutex;
  std::condition_variable changed;
  bool wake = false;
  bool paused = false;
  bool ended = false;
};

// Loop and tick threads still running; the object waits for none of them but its destructor.
struct IntervalThread::Threads {
  std::mutex mutex;
  std::condition_variable changed;
  int loops = 0;
  int ticks = 0;
};

IntervalThread::IntervalThread() : threads_(std::make_shared<Threads>()) {}

IntervalThread::~IntervalThread() {
  Stop(0, true);
  std::unique_lock lock(threads_->mutex);
  threads_->changed.wait(lock, [this] { return threads_->loops == 0 && threads_->ticks == 0; });
}

ThreadHandle IntervalThread::Start(TickRoutine routine, std::int32_t interval,
                                   std::int32_t initialDelay, std::int32_t value,
                                   bool callingMode) {
  std::lock_guard lock(mutex_);
  if (current_) return current_->handle;
  interval_ = interval;
  auto run = std::make_shared<Run>();
  run->handle = NewThreadHandle();
  run->routine = std::move(routine);
  run->initialDelay = initialDelay;
  run->callingMode = callingMode;
  {
    std::lock_guard threadsLock(threads_->mutex);
    ++threads_->loops;
  }
  try {
    std::thread([this, run, threads = threads_, value] {
      Loop(run, value);
      // The object may be gone as soon as this count drops; only the shared block is touched.
      std::lock_guard threadsLock(threads->mutex);
      --threads->loops;
      threads->changed.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard threadsLock(threads_->mutex);
    --threads_->loops;
    threads_->changed.notify_all();
    return 0;
  }
  current_ = run;
  suspended_ = false;
  return run->handle;
}

void IntervalThread::Loop(const std::shared_ptr<Run>& run, std::int32_t value) {
  bool woken = Sleep(*run, run->initialDelay);
  while (!woken) {
    if (run->callingMode) {
      run->routine(value);
    } else {
      SpawnTick(*run, value);
    }
    woken = Sleep(*run, interval_.load());
  }
  {
    std::lock_guard lock(mutex_);
    if (current_ == run) {
      current_.reset();
      suspended_ = false;
    }
  }
  std::lock_guard lock(run->mutex);
  run->ended = true;
  run->changed.notify_all();
}

bool IntervalThread::Sleep(Run& run, std::int32_t ms) {
  std::unique_lock lock(run.mutex);
  run.changed.wait_for(lock, std::chrono::milliseconds(ms > 0 ? ms : 0),
                       [&run] { return run.wake; });
  // A pause is honoured here, between ticks.
  run.changed.wait(lock, [&run] { return run.wake || !run.paused; });
  return run.wake;
}

void IntervalThread::SpawnTick(const Run& run, std::int32_t value) {
  {
    std::lock_guard lock(threads_->mutex);
    ++threads_->ticks;
  }
  try {
    std::thread([routine = run.routine, value, threads = threads_]() mutable {
      routine(value);
      routine = nullptr;
      std::lock_guard lock(threads->mutex);
      --threads->ticks;
      threads->changed.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard lock(threads_->mutex);
    --threads_->ticks;
    threads_->changed.notify_all();
  }
}

std::int32_t IntervalThread::Stop(long timeoutMs, bool noWait) {
  std::shared_ptr<Run> run;
  {
    std::lock_guard lock(mutex_);
    run = current_;
    suspended_ = false;
  }
  if (!run) return -1;
  std::unique_lock lock(run->mutex);
  run->wake = true;
  run->paused = false;
  run->changed.notify_all();
  if (noWait) return 0;
  // The run block is shared, so the wait stays valid while the ending loop lets its handle go.
  auto hasEnded = [&run] { return run->ended; };
  if (timeoutMs < 0) {  // no limit, as an infinite wait
    run->changed.wait(lock, hasEnded);
    return 0;
  }
  bool ended = run->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), hasEnded);
  return ended ? 0 : kStopTimedOut;
}

bool IntervalThread::Suspend() {
  std::lock_guard lock(mutex_);
  if (!current_ || suspended_) return false;
  suspended_ = true;
  std::lock_guard runLock(current_->mutex);
  current_->paused = true;
  return true;
}

bool IntervalThread::Resume() {
  std::lock_guard lock(mutex_);
  if (!current_ || !suspended_) return false;
  suspended_ = false;
  std::lock_guard runLock(current_->mutex);
  current_->paused = false;
  current_->changed.notify_all();
  return true;
}

bool IntervalThread::Terminate() {
  std::lock_guard lock(mutex_);
  if (!current_) return false;
  {
    std::lock_guard runLock(current_->mutex);
    current_->wake = true;
    current_->paused = false;
    current_->changed.notify_all();
  }
  current_.reset();
  suspended_ = false;
  return true;
}

void IntervalThread::SetInterval(std::int32_t interval) { interval_ = interval; }

ThreadHandle IntervalThread::Thread() const {
  std::lock_guard lock(mutex_);
  return current_ ? current_->handle : 0;
}

void IntervalThread::WaitForTicks() {
  std::unique_lock lock(threads_->mutex);
  threads_->changed.wait(lock, [this] { return threads_->ticks == 0; });
}

}  // namespace sucaigang
