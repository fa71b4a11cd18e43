#include "threads/lock.h"

namespace sucaigang {

void Lock::Enter() { mutex_.lock(); }

void Lock::Leave() { mutex_.unlock(); }

bool Lock::TryEnter() { return mutex_.try_lock(); }

}  // namespace sucaigang
