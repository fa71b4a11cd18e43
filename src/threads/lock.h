#pragma once
// A re-entrant lock: the same thread may enter it again, and must leave it as often.
#include <mutex>

namespace sucaigang {

class Lock {
 public:
  Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Enter();
  void Leave();
  // True when entered: at once for the holder, false at once while another thread holds it.
  bool TryEnter();

 private:
  std::recursive_mutex mutex_;
};

// Enter for the length of a scope.
class LockHolder {
 public:
  explicit LockHolder(Lock& lock) : lock_(lock) { lock_.Enter(); }
  ~LockHolder() { lock_.Leave(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

 private:
  Lock& lock_;
};

}  // namespace sucaigang
