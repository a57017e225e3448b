// The mix of one sound card: voices summed exactly and clamped, placed on
// the card's channels, each at its ramped gain, one that falls behind silent
// alone, and voices attached and detached while the render thread mixes
// (run under ThreadSanitizer and AddressSanitizer too).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "engine/mixer.h"

using zelov::mixer;
using zelov::voice;

namespace {

// A voice of `channels` channels holding `frames` (interleaved).
std::unique_ptr<voice> voiceof(int channels, const std::vector<float>& frames) {
  auto v = std::make_unique<voice>();
  v->ring.reset(channels, 1 << 16);
  v->ring.write(frames.data(), static_cast<uint32_t>(frames.size() / static_cast<std::size_t>(channels)));
  return v;
}

// 16-bit samples as the decoders give them, as floats.
std::vector<float> samples16(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<float> out(count);
  for (float& s : out) s = static_cast<int16_t>(random()) / 32768.0f;
  return out;
}

std::vector<float> render(mixer& m, uint32_t frames) {
  std::vector<float> out(static_cast<std::size_t>(frames) * m.channels());
  m.render(out.data(), frames);
  return out;
}

}  // namespace

TEST(Mixer, OneVoiceAtFullGainReachesTheCardUnchangedAndTwoAreTheirSumClamped) {
  mixer m(2);
  const std::vector<float> a = samples16(2 * 3000, 1), b = samples16(2 * 3000, 2);
  auto first = voiceof(2, a);
  ASSERT_TRUE(m.attach(*first));
  EXPECT_EQ(render(m, 3000), a) << "bit for bit";

  first = voiceof(2, a);
  auto second = voiceof(2, b);
  mixer both(2);
  ASSERT_TRUE(both.attach(*first) && both.attach(*second));
  const std::vector<float> mixed = render(both, 3000);
  std::size_t clamped = 0;
  for (std::size_t i = 0; i < mixed.size(); ++i) {
    const float sum = a[i] + b[i];
    EXPECT_EQ(mixed[i], std::clamp(sum, -1.0f, 1.0f)) << i;
    clamped += std::abs(sum) > 1.0f;
  }
  EXPECT_GT(clamped, 100u) << "the sums beyond full scale are clamped, never wrapped";
}

TEST(Mixer, MonoIsPlacedOnBothChannelsAndStereoIsAveragedOnAMonoCard) {
  mixer stereo(2);
  auto mono = voiceof(1, {0.5f, -0.25f});
  ASSERT_TRUE(stereo.attach(*mono));
  EXPECT_EQ(render(stereo, 2), (std::vector<float>{0.5f, 0.5f, -0.25f, -0.25f}));

  mixer single(1);
  auto pair = voiceof(2, {0.5f, 0.25f});
  ASSERT_TRUE(single.attach(*pair));
  EXPECT_EQ(render(single, 1), (std::vector<float>{0.375f}));
}

// A gain change slides, one small step a frame, and is whole after a ramp:
// no zipper noise, no click.
TEST(Mixer, AGainChangeSlidesWithoutASteps) {
  mixer m(1);
  auto v = voiceof(1, std::vector<float>(4 * zelov::rampframes, 1.0f));
  ASSERT_TRUE(m.attach(*v));
  std::vector<float> out = render(m, 16);
  ASSERT_EQ(out.back(), 1.0f);
  v->gain = 0.0f;  // between two periods, as a Volume put comes
  const std::vector<float> after = render(m, 2 * zelov::rampframes);
  out.insert(out.end(), after.begin(), after.end());
  for (std::size_t i = 1; i < out.size(); ++i)
    ASSERT_LE(std::abs(out[i] - out[i - 1]), 1.0f / zelov::rampframes + 1e-6f) << i;
  EXPECT_EQ(out[16 + zelov::rampframes], 0.0f) << "silent after one ramp";
  EXPECT_EQ(out.back(), 0.0f);
}

// A decoder that falls behind: its voice is silent for the rest of the
// period and counted; the other voice goes on as before.
TEST(Mixer, AVoiceThatFallsBehindIsSilentAloneAndCounted) {
  mixer m(1);
  auto steady = voiceof(1, std::vector<float>(1000, 0.25f));
  auto behind = voiceof(1, std::vector<float>(300, 0.5f));
  ASSERT_TRUE(m.attach(*steady) && m.attach(*behind));
  const std::vector<float> out = render(m, 1000);
  EXPECT_EQ(out[299], 0.75f);
  EXPECT_EQ(out[300], 0.25f);
  EXPECT_EQ(out[999], 0.25f);
  EXPECT_EQ(behind->underruns.load(), 1u);
  EXPECT_EQ(behind->mixed.load(), 300u);
  EXPECT_EQ(steady->underruns.load(), 0u);
  EXPECT_EQ(steady->mixed.load(), 1000u);
}

TEST(Mixer, AsManyVoicesAsStreamsThenNoMore) {
  mixer m(2);
  std::vector<std::unique_ptr<voice>> voices;
  for (int i = 0; i <= zelov::maxstreams; ++i) voices.push_back(voiceof(2, {0.0f, 0.0f}));
  for (int i = 0; i < zelov::maxstreams; ++i) ASSERT_TRUE(m.attach(*voices[i])) << i;
  EXPECT_FALSE(m.attach(*voices.back()));
  m.detach(*voices.front());
  EXPECT_TRUE(m.attach(*voices.back())) << "a slot given back can be had again";
  auto none = std::make_unique<voice>();
  EXPECT_FALSE(m.attach(*none)) << "a voice without a ring";
}

// Decoders write, the render thread mixes, and the host attaches, detaches
// and frees voices meanwhile: a detached voice is never read again, so its
// memory may go at once (AddressSanitizer), and nothing races
// (ThreadSanitizer).
TEST(Mixer, VoicesComeAndGoWhileTheCardRenders) {
  mixer m(2);
  std::atomic<bool> stop{false};
  std::thread card([&] {
    std::vector<float> out(2 * 256);
    while (!stop) m.render(out.data(), 256);
  });
  std::mt19937 random(7);
  const std::vector<float> sound = samples16(2 * 128, 3);
  for (int round = 0; round < 400; ++round) {
    auto v = std::make_unique<voice>();
    ASSERT_TRUE(v->ring.reset(2, 1024));
    ASSERT_TRUE(m.attach(*v));
    std::thread decoder([&] {
      for (int i = 0; i < 8; ++i) v->ring.write(sound.data(), 128);
    });
    decoder.join();
    v->gain = static_cast<float>(random() % 100) / 100.0f;
    m.detach(*v);
    v.reset();
  }
  stop = true;
  card.join();
}
