#pragma once
// An auto-reset event: Set wakes one waiter (or the next one to wait), and a successful Wait
// resets it.
#include <condition_variable>
#include <mutex>

namespace sucaigang {

inline constexpr long kWaitForever = -1;

class Event {
 public:
  explicit Event(bool signalled = false) : signalled_(signalled) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  // True when the event was signalled within the time-out (kWaitForever: no limit).
  bool Wait(long timeoutMs = kWaitForever);

 private:
  std::mutex mutex_;
  std::condition_variable signalledChanged_;
  bool signalled_;
};

}  // namespace sucaigang
