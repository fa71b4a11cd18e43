#include "download/speed_averager.h"

namespace sucaigang {

void SpeedAverager::Push(float sample) {
  LockHolder hold(lock_);
  if (writePosition_ == kCapacity) writePosition_ = 0;
  samples_[writePosition_++] = sample;
  if (count_ < kCapacity) ++count_;
}

float SpeedAverager::Average() {
  LockHolder hold(lock_);
  if (count_ == 0) return 0.0f;
  float sum = 0.0f;
  for (std::int32_t i = 0; i < count_; ++i) sum += samples_[i];
  return sum / static_cast<float>(count_);
}

}  // namespace sucaigang
