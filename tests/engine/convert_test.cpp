#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/decode/convert.h"

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

TEST(Convert, StereoFastPathAgreesWithTheSampleRule) {
  // Lengths that do and do not fill the four-frame steps, with the edges.
  const float specials[] = {1.0f, -1.0f, 1.5f, -1.5f, 0.5f, -0.5f, NAN, INFINITY, -INFINITY,
                            0.99999994f, -0.99999994f, 1.0f / 32767.0f, 0.0f, -0.0f};
  uint32_t seed = 7;
  for (int frames : {0, 1, 3, 4, 5, 8, 37, 1024}) {
    std::vector<float> left(frames), right(frames);
    for (int j = 0; j < frames; ++j) {
      seed = seed * 1664525u + 1013904223u;
      left[j] = j < 14 ? specials[j] : static_cast<float>(seed >> 8) / 4194304.0f - 2.0f;
      right[j] = j < 14 ? specials[13 - j] : -left[j] * 0.75f;
    }
    float* planes[] = {left.data(), right.data()};
    std::vector<int16_t> out(2 * frames + 1, 12345);
    zelov::convertframes(planes, 2, frames, out.data());
    for (int j = 0; j < frames; ++j) {
      ASSERT_EQ(out[2 * j], convertsample(left[j])) << "frame " << j << " of " << frames;
      ASSERT_EQ(out[2 * j + 1], convertsample(right[j])) << "frame " << j << " of " << frames;
    }
    EXPECT_EQ(out[2 * frames], 12345) << "wrote past the chunk";
  }
}
