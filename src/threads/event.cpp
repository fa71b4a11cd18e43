#include "threads/event.h"

#include <chrono>

namespace sucaigang {

void Event::Set() {
  // Notified under the lock, so a waiter that returns and frees the event cannot race the
  // notification.
  std::lock_guard lock(mutex_);
  signalled_ = true;
  signalledChanged_.notify_one();
}

bool Event::Wait(long timeoutMs) {
  std::unique_lock lock(mutex_);
  if (timeoutMs < 0) {
    signalledChanged_.wait(lock, [this] { return signalled_; });
  } else if (!signalledChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [this] { return signalled_; })) {
    return false;
  }
  signalled_ = false;
  return true;
}

}  // namespace sucaigang
