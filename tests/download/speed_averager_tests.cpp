#include "download/speed_averager.h"

#include <gtest/gtest.h>

namespace sucaigang {
namespace {

TEST(SpeedAverager, AveragesTheLastSixtySamples) {
  SpeedAverager averager;
  EXPECT_EQ(averager.Average(), 0.0f);
  averager.Push(4.0f);
  averager.Push(8.0f);
  EXPECT_FLOAT_EQ(averager.Average(), 6.0f);

  SpeedAverager ring;
  ring.Push(1000.0f);  // pushed out by the 61st sample
  for (int i = 0; i < 60; ++i) ring.Push(2.0f);
  EXPECT_FLOAT_EQ(ring.Average(), 2.0f);
}

}  // namespace
}  // namespace sucaigang
