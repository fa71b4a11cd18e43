#pragma once
// Threads here are never joined from outside; a handle only names one, so that a caller can
// tell whether an object still owns a thread and which one.
#include <atomic>
#include <cstdint>

namespace sucaigang {

using ThreadHandle = std::uint64_t;  // 0: no thread

inline ThreadHandle NewThreadHandle() {
  static std::atomic<ThreadHandle> last{0};
  return ++last;
}

}  // namespace sucaigang
