#include <gtest/gtest.h>

#include <cmath>

#include "engine/convert.h"

using zelov::convertsample;

TEST(Convert, ScalesBy32767AndCutsTowardZero) {
  EXPECT_EQ(convertsample(1.0f), 32767);
  EXPECT_EQ(convertsample(-1.0f), -32767);
  EXPECT_EQ(convertsample(0.0f), 0);
  EXPECT_EQ(convertsample(0.5f), 16383);    // 16383.5 cut, not rounded
  EXPECT_EQ(convertsample(-0.5f), -16383);
  EXPECT_EQ(convertsample(1.0f / 32767.0f * 0.999f), 0);
}

TEST(Convert, ClampsSilentlyToTheSixteenBitRange) {
  EXPECT_EQ(convertsample(1.5f), 32767);
  EXPECT_EQ(convertsample(-1.5f), -32768);
  EXPECT_EQ(convertsample(1e30f), 32767);
  EXPECT_EQ(convertsample(-INFINITY), -32768);
  EXPECT_EQ(convertsample(NAN), -32768);
}

TEST(Convert, InterleavesChannelsFrameByFrame) {
  float left[] = {0.0f, 1.0f};
  float centre[] = {-1.0f, 0.5f};
  float right[] = {1.5f, -1.5f};
  float* planes[] = {left, centre, right};
  int16_t out[6] = {};
  zelov::convertframes(planes, 3, 2, out);
  const int16_t expected[] = {0, -32767, 32767, 32767, 16383, -32768};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], expected[i]) << "sample " << i;
}
