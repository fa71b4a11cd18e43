#pragma once
// The mean of the last 60 speed samples: about the last 30 seconds of half-second ticks.
#include <array>
#include <cstdint>

#include "threads/lock.h"

namespace sucaigang {

class SpeedAverager {
 public:
  static constexpr std::int32_t kCapacity = 60;

  SpeedAverager() = default;
  SpeedAverager(const SpeedAverager&) = delete;
  SpeedAverager& operator=(const SpeedAverager&) = delete;

  void Push(float sample);
  // Mean of the samples held, summed in float; 0 before the first push.
  float Average();

 private:
  Lock lock_;
  std::array<float, kCapacity> samples_{};
  std::int32_t writePosition_ = 0;
  std::int32_t count_ = 0;
};

}  // namespace sucaigang
