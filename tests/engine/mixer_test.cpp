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

#include "engine/output/mixer.h"
#include "engine/output/spectrum.h"
#include "engine/output/varispeed.h"

using zelov::mixer;
using zelov::voice;
using zelov::blockflags;

namespace {

// A voice and the 16-bit blocks it was given, as a stream's decoder queues
// them: each block is marked done once the mix has taken all of it.
struct testvoice {
  voice v;
  std::vector<std::vector<int16_t>> blocks;
  std::vector<WAVEHDR> headers = std::vector<WAVEHDR>(zelov::voiceblocks);
  // Queues `frames` (interleaved, as floats of 16-bit samples) as one block.
  void queue(const std::vector<float>& frames) {
    std::vector<int16_t> block;
    for (float f : frames) block.push_back(static_cast<int16_t>(std::lrint(f * 32768)));
    blocks.push_back(std::move(block));
    WAVEHDR& h = headers[(blocks.size() - 1) % zelov::voiceblocks];
    h = WAVEHDR{};
    h.lpData = reinterpret_cast<char*>(blocks.back().data());
    h.dwBufferLength = static_cast<DWORD>(blocks.back().size() * sizeof(int16_t));
    h.dwFlags = WHDR_PREPARED | WHDR_INQUEUE;
    const uint32_t tail = v.tail.load();
    v.queue[tail % zelov::voiceblocks] = &h;
    v.tail.store(tail + 1);
  }
};

// A playing voice of `channels` channels at `rate` (on a card of
// `cardrate`) holding `frames`.
std::unique_ptr<testvoice> voiceof(int channels, const std::vector<float>& frames, int rate = 44100,
                                   int cardrate = 44100) {
  auto t = std::make_unique<testvoice>();
  t->v.prepare(channels, rate, false, cardrate);
  t->v.paused = false;
  t->blocks.reserve(64);
  if (!frames.empty()) t->queue(frames);
  return t;
}

// 16-bit samples as the decoders give them, as floats.
std::vector<float> samples16(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<float> out(count);
  for (float& s : out) s = static_cast<int16_t>(random()) / 32768.0f;
  return out;
}

// `follower` waits, held, for `leader`, as a queued file's voice does.
void follow(testvoice& follower, testvoice& leader) {
  follower.v.leader = &leader.v;
  follower.v.held = true;
  leader.v.next = &follower.v;
}

// The block queued last is the voice's file's last.
void lastqueued(testvoice& t) {
  t.v.endat = t.v.tail.load();
  t.v.ending = true;
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
  ASSERT_TRUE(m.attach(first->v));
  EXPECT_EQ(render(m, 3000), a) << "bit for bit";

  first = voiceof(2, a);
  auto second = voiceof(2, b);
  mixer both(2);
  ASSERT_TRUE(both.attach(first->v) && both.attach(second->v));
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
  ASSERT_TRUE(stereo.attach(mono->v));
  EXPECT_EQ(render(stereo, 2), (std::vector<float>{0.5f, 0.5f, -0.25f, -0.25f}));

  mixer single(1);
  auto pair = voiceof(2, {0.5f, 0.25f});
  ASSERT_TRUE(single.attach(pair->v));
  EXPECT_EQ(render(single, 1), (std::vector<float>{0.375f}));
}

// A gain change slides, one small step a frame, and is whole after a ramp:
// no zipper noise, no click.
TEST(Mixer, AGainChangeSlidesWithoutASteps) {
  mixer m(1);
  auto t = voiceof(1, std::vector<float>(4 * zelov::rampframes, 0.5f));
  ASSERT_TRUE(m.attach(t->v));
  std::vector<float> out = render(m, 16);
  ASSERT_EQ(out.back(), 0.5f);
  t->v.gain = 0.0f;  // between two periods, as a Volume put comes
  const std::vector<float> after = render(m, 2 * zelov::rampframes);
  out.insert(out.end(), after.begin(), after.end());
  for (std::size_t i = 1; i < out.size(); ++i)
    ASSERT_LE(std::abs(out[i] - out[i - 1]), 0.5f / zelov::rampframes + 1e-6f) << i;
  EXPECT_EQ(out[16 + zelov::rampframes], 0.0f) << "silent after one ramp";
  EXPECT_EQ(out.back(), 0.0f);
}

// A decoder that falls behind: its voice is silent for the rest of the
// period and counted; the other voice goes on as before. Each block taken
// whole is marked done, as a wave-out device marks it, and counted played.
TEST(Mixer, AVoiceThatFallsBehindIsSilentAloneAndItsBlocksAreDoneInOrder) {
  mixer m(1);
  auto steady = voiceof(1, std::vector<float>(1000, 0.25f));
  auto behind = voiceof(1, std::vector<float>(200, 0.5f));
  behind->queue(std::vector<float>(100, 0.5f));
  ASSERT_TRUE(m.attach(steady->v) && m.attach(behind->v));
  std::vector<float> out = render(m, 250);
  EXPECT_EQ(behind->headers[0].dwFlags, static_cast<DWORD>(WHDR_DONE | WHDR_PREPARED));
  EXPECT_EQ(behind->headers[1].dwFlags, static_cast<DWORD>(WHDR_PREPARED | WHDR_INQUEUE)) << "half played";
  const std::vector<float> rest = render(m, 750);
  out.insert(out.end(), rest.begin(), rest.end());
  EXPECT_EQ(behind->headers[1].dwFlags, static_cast<DWORD>(WHDR_DONE | WHDR_PREPARED));
  EXPECT_EQ(out[299], 0.75f);
  EXPECT_EQ(out[300], 0.25f);
  EXPECT_EQ(out[999], 0.25f);
  EXPECT_EQ(behind->v.underruns.load(), 1u);
  EXPECT_EQ(behind->v.consumed.load(), 300u * sizeof(int16_t));
  EXPECT_EQ(steady->v.underruns.load(), 0u);
  EXPECT_EQ(steady->v.consumed.load(), 1000u * sizeof(int16_t));
}

// A paused voice keeps its place; a voice of another rate is converted to
// the card's (the sound's length scaled by the rates, a tone kept a tone).
TEST(Mixer, APausedVoiceWaitsAndAVoiceOfAnotherRateIsConvertedToTheCards) {
  mixer m(1);
  auto t = voiceof(1, std::vector<float>(100, 0.5f));
  ASSERT_TRUE(m.attach(t->v));
  t->v.paused = true;
  EXPECT_EQ(render(m, 50), std::vector<float>(50, 0.0f));
  t->v.paused = false;
  EXPECT_EQ(render(m, 100), std::vector<float>(100, 0.5f)) << "every frame, from the first";

  mixer card(1);
  std::vector<float> tone(48000);
  for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = std::lrint(16384 * std::sin(2 * M_PI * 1000 * i / 48000.0)) / 32768.0f;
  auto converted = voiceof(1, {}, 48000, 44100);
  ASSERT_TRUE(card.attach(converted->v));
  std::vector<float> out;
  for (std::size_t at = 0; at < tone.size() || converted->v.hasblock();) {
    if (at < tone.size() && converted->v.tail.load() - converted->v.head.load() < zelov::voiceblocks) {
      converted->queue(std::vector<float>(tone.begin() + static_cast<std::ptrdiff_t>(at),
                                          tone.begin() + static_cast<std::ptrdiff_t>(at + 4800)));
      at += 4800;
      continue;
    }
    const std::vector<float> period = render(card, 441);
    out.insert(out.end(), period.begin(), period.end());
  }
  // A second of sound is about 44100 frames at the card's rate.
  const std::size_t sounding = static_cast<std::size_t>(std::count_if(out.begin(), out.end(), [](float f) { return f != 0.0f; }));
  EXPECT_NEAR(static_cast<double>(sounding), 44100.0 * 0.9, 44100.0 * 0.12);
  // The tone is still a 1 kHz tone: correlated with one at the card's rate.
  double best = 0;
  for (int shift = 0; shift < 44; ++shift) {
    double dot = 0, energy = 0;
    for (std::size_t i = 1000; i < 30000; ++i) {
      const double want = 0.5 * std::sin(2 * M_PI * 1000 * (static_cast<double>(i) + shift) / 44100.0);
      dot += out[i] * want;
      energy += want * want;
    }
    best = std::max(best, dot / energy);
  }
  EXPECT_GT(best, 0.98);
}

TEST(Mixer, AsManyVoicesAsStreamsThenNoMore) {
  mixer m(2);
  std::vector<std::unique_ptr<testvoice>> voices;
  for (int i = 0; i <= zelov::maxstreams; ++i) voices.push_back(voiceof(2, {0.0f, 0.0f}));
  for (int i = 0; i < zelov::maxstreams; ++i) ASSERT_TRUE(m.attach(voices[i]->v)) << i;
  EXPECT_FALSE(m.attach(voices.back()->v));
  m.detach(voices.front()->v);
  EXPECT_TRUE(m.attach(voices.back()->v)) << "a slot given back can be had again";
  auto none = std::make_unique<voice>();
  EXPECT_FALSE(m.attach(*none)) << "a voice with no format";
}

// Decoders queue, the render thread asks whether there is anything to play
// and mixes, and the host attaches, detaches and frees voices meanwhile: a
// detached voice is never read again, so its memory may go at once
// (AddressSanitizer), and nothing races (ThreadSanitizer).
TEST(Mixer, VoicesComeAndGoWhileTheCardRenders) {
  mixer m(2);
  std::atomic<bool> stop{false};
  std::thread card([&] {
    std::vector<float> out(2 * 256);
    while (!stop)  // as a card does: a period only when there is something to play
      if (m.sounding()) m.render(out.data(), 256);
  });
  std::mt19937 random(7);
  const std::vector<float> sound = samples16(2 * 128, 3);
  for (int round = 0; round < 400; ++round) {
    auto t = voiceof(2, {});
    ASSERT_TRUE(m.attach(t->v));
    std::thread decoder([&] {
      for (uint32_t i = 0; i < zelov::voiceblocks - 1; ++i) t->queue(sound);
    });
    decoder.join();
    t->v.gain = static_cast<float>(random() % 100) / 100.0f;
    m.detach(t->v);
    t.reset();
  }
  stop = true;
  card.join();
}

// Pan by the constant-power law: centred, the sound as it is; at the sides
// one channel silent and the other 3 dB up (clamped with the mix); a mono
// voice placed, a stereo one balanced; a change ramped like a gain.
TEST(Mixer, PanPlacesMonoAndBalancesStereoAtConstantPower) {
  mixer m(2);
  auto mono = voiceof(1, std::vector<float>(4 * zelov::rampframes, 0.5f));
  mono->v.pan = -1.0f;
  ASSERT_TRUE(m.attach(mono->v));
  std::vector<float> out = render(m, 2);
  EXPECT_NEAR(out[0], 0.5f * std::sqrt(2.0f), 1e-6f);
  EXPECT_NEAR(out[1], 0.0f, 1e-6f);
  mono->v.pan = 0.5f;
  out = render(m, 2 * zelov::rampframes);
  const float left = out[out.size() - 2], right = out.back();
  EXPECT_NEAR(left * left + right * right, 0.5f, 1e-5f) << "the same power as centred";
  EXPECT_NEAR(right / left, std::tan(3 * M_PI / 8), 1e-4);
  for (std::size_t i = 2; i < out.size(); i += 2)
    ASSERT_LE(std::abs(out[i] - out[i - 2]), 0.5f * std::sqrt(2.0f) / zelov::rampframes + 1e-5f) << "ramped";

  mixer balance(2);
  auto pair = voiceof(2, {0.5f, 0.25f});
  pair->v.pan = 1.0f;
  ASSERT_TRUE(balance.attach(pair->v));
  out = render(balance, 1);
  EXPECT_NEAR(out[0], 0.0f, 1e-6f) << "the left channel silent";
  EXPECT_NEAR(out[1], 0.25f * std::sqrt(2.0f), 1e-6f) << "the right one 3 dB up";
}

// Rate 2 plays twice as fast (half the frames, the tone an octave up) and
// rate 0.5 half as fast; every block is taken, the position counting the
// file's frames.
TEST(Mixer, RateChangesSpeedAndPitchTogether) {
  for (float speed : {2.0f, 0.5f}) {
    mixer m(1);
    auto t = voiceof(1, {});
    t->v.speed = speed;
    ASSERT_TRUE(m.attach(t->v));
    std::vector<float> tone(44100);
    for (std::size_t i = 0; i < tone.size(); ++i)
      tone[i] = std::lrint(16384 * std::sin(2 * M_PI * 500 * i / 44100.0)) / 32768.0f;
    std::vector<float> out;
    for (std::size_t at = 0; at < tone.size() || t->v.hasblock();) {
      if (at < tone.size() && t->v.tail.load() - t->v.head.load() < zelov::voiceblocks) {
        t->queue(std::vector<float>(tone.begin() + static_cast<std::ptrdiff_t>(at),
                                    tone.begin() + static_cast<std::ptrdiff_t>(at + 4410)));
        at += 4410;
        continue;
      }
      const std::vector<float> period = render(m, 441);
      out.insert(out.end(), period.begin(), period.end());
    }
    EXPECT_EQ(t->v.consumed.load(), tone.size() * sizeof(int16_t)) << speed;
    const std::size_t sounding = static_cast<std::size_t>(std::count_if(out.begin(), out.end(), [](float f) { return f != 0.0f; }));
    EXPECT_NEAR(static_cast<double>(sounding), 44100.0 / speed, 44100.0 / speed * 0.02) << speed;
    // Zero crossings give the pitch: 500 Hz times the speed.
    int crossings = 0;
    for (std::size_t i = 2000; i < 2000 + 8820; ++i) crossings += (out[i - 1] < 0) != (out[i] < 0);
    EXPECT_NEAR(crossings / 2.0 / 0.2, 500.0 * speed, 15.0) << speed;
  }
}

// The speed stage of a voice at its card's rate, against the exact sound: a
// tone within the band comes out as the same tone at the speed's pitch, 60
// dB or closer, and one that the speed would lift past the half rate is
// taken out rather than folded back.
TEST(Mixer, TheSpeedStagePassesTheBandAndFoldsNothingBack) {
  struct {
    float speed;
    double hertz;
    bool passes;
  } const cases[] = {{1.01f, 1000, true}, {1.01f, 15000, true}, {0.5f, 15000, true},
                     {2.0f, 8000, true},  {2.0f, 12000, false}, {4.0f, 7000, false}};
  for (const auto& c : cases) {
    zelov::varispeed stage;
    stage.make(1, c.speed);
    std::vector<float> tone(22050), out(2 * tone.size());
    for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * c.hertz * i / 44100));
    uint32_t taken = 0, made = 0;
    for (;;) {
      uint32_t in = std::min<uint32_t>(500, static_cast<uint32_t>(tone.size()) - taken), outframes = 441;
      stage.process(tone.data() + taken, in, out.data() + made, outframes);
      taken += in, made += outframes;
      if (in == 0 && outframes == 0) break;
    }
    EXPECT_NEAR(made, tone.size() / c.speed, 70) << "all but the window's last half, at " << c.speed;
    double worst = 0;
    for (uint32_t i = 200; i + 200 < made; ++i) {
      const double exact = c.passes ? 0.5 * std::sin(2 * M_PI * c.hertz * c.speed * i / 44100) : 0;
      worst = std::max(worst, std::abs(out[i] - exact));
    }
    EXPECT_LT(worst, 0.5e-3) << c.hertz << " Hz at " << c.speed;
  }
}

// A speed put while a voice plays starts from the sound just heard, not
// from silence (which clicked); and at the file's end the frames in the
// stage's window come out too: not one is lost, before a follower or not.
TEST(Mixer, ASpeedPutWhileAVoicePlaysGoesOnSmoothlyToItsLastFrame) {
  mixer m(1);
  m.setformat(44100, 1);
  auto t = voiceof(1, {});
  ASSERT_TRUE(m.attach(t->v));
  std::vector<float> sound(44100);
  for (std::size_t i = 0; i < sound.size(); ++i)
    sound[i] = std::lrint(16384 * (0.5 + 0.4 * std::sin(2 * M_PI * 500 * i / 44100.0))) / 32768.0f;
  std::vector<float> out;
  std::size_t at = 0;
  while (at < sound.size() || t->v.hasblock() || out.size() < 2 * sound.size()) {
    if (at < sound.size() && t->v.tail.load() - t->v.head.load() < zelov::voiceblocks) {
      t->queue(std::vector<float>(sound.begin() + static_cast<std::ptrdiff_t>(at),
                                  sound.begin() + static_cast<std::ptrdiff_t>(at + 4410)));
      at += 4410;
      if (at == sound.size()) lastqueued(*t);
      continue;
    }
    if (out.size() == 10 * 441) t->v.speed = 1.01f;
    const std::vector<float> period = render(m, 441);
    out.insert(out.end(), period.begin(), period.end());
  }
  const auto last = std::find(out.begin() + 4410, out.end(), 0.0f) - out.begin();
  EXPECT_NEAR(static_cast<double>(last), 4410 + (44100 - 4410) / 1.01, 2.0) << "every frame heard";
  float steepest = 0;  // up to the window's end, where the file's sound stops
  for (std::ptrdiff_t i = 1; i < last - 32; ++i) steepest = std::max(steepest, std::abs(out[i] - out[i - 1]));
  EXPECT_LT(steepest, 0.2 * 2 * M_PI * 500 * 1.01 / 44100 * 1.05) << "no step where the speed came in";
}

// A fade slides the gain a little every frame, the whole way over its
// length, and says it is done at its end; a gain put during a fade wins
// and the fade is never done.
TEST(Mixer, AFadeSlidesEveryFrameToItsEndAndALaterGainWins) {
  mixer m(1);
  m.setformat(1000, 1);  // 1000 frames a second: a millisecond a frame
  auto t = voiceof(1, std::vector<float>(2000, 0.5f), 1000, 1000);
  ASSERT_TRUE(m.attach(t->v));
  t->v.gain = 0.0f;
  t->v.fadems = 400;
  t->v.fadeserial = 1;
  const std::vector<float> out = render(m, 500);
  for (std::size_t i = 1; i < 400; ++i) {
    ASSERT_LT(out[i], out[i - 1]) << "down every frame " << i;
    ASSERT_NEAR(out[i - 1] - out[i], 0.5f / 400, 1e-5f) << i;
  }
  EXPECT_EQ(out[399], 0.0f);
  EXPECT_EQ(t->v.fadedone.load(), 1u);

  t->v.gain = 1.0f;  // a second fade, up, and a volume put halfway
  t->v.fadems = 400;
  t->v.fadeserial = 2;
  render(m, 200);
  EXPECT_EQ(t->v.fadedone.load(), 1u);
  t->v.gain = 0.25f;
  t->v.fadems = 0;
  t->v.fadeserial = 3;
  const std::vector<float> after = render(m, 2 * zelov::rampframes);
  EXPECT_EQ(after.back(), 0.125f) << "the put's gain, reached by the short ramp";
  EXPECT_NE(t->v.fadedone.load(), 2u) << "the fade it ended is not done";
}

// The spectrum of what the mix took of a voice: a 1 kHz sine at 0.5 shows
// as about 0.5 in the band holding 1 kHz and as little elsewhere; at volume 50 as
// half; silence as nothing.
TEST(Mixer, TheSpectrumShowsTheToneHeardAfterTheVolume) {
  for (float gain : {1.0f, 0.5f}) {
    mixer m(2);
    m.setformat(44100, 2);
    std::vector<float> tone(8192);
    for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = std::lrint(16384 * std::sin(2 * M_PI * 1000 * i / 44100.0)) / 32768.0f;
    auto t = voiceof(1, tone);
    t->v.gain = gain;
    ASSERT_TRUE(m.attach(t->v));
    render(m, 4096);
    std::vector<double> levels(32);
    ASSERT_TRUE(zelov::spectrum(t->v, 44100, 32, levels.data()));
    // Band b covers 20 Hz x 1000^(b/32) to 20 Hz x 1000^((b+1)/32): 1 kHz is in band 18.
    const auto loudest = std::max_element(levels.begin(), levels.end()) - levels.begin();
    EXPECT_EQ(loudest, 18) << gain;
    // Between bins a Hann window shows a sine at 0.85 of its amplitude at worst.
    EXPECT_GE(levels[18], 0.5 * gain * 0.84) << gain;
    EXPECT_LE(levels[18], 0.5 * gain * 1.01) << gain;
    for (std::size_t b = 0; b < 14; ++b) EXPECT_LT(levels[b], 0.01) << b;
  }
  voice silent;
  silent.prepare(2, 44100, false, 44100);
  std::vector<double> none(1024, 1.0);
  ASSERT_TRUE(zelov::spectrum(silent, 44100, 1024, none.data()));
  EXPECT_TRUE(std::all_of(none.begin(), none.end(), [](double l) { return l == 0; }));
}

// A voice converted to its card's rate takes from its blocks only what the
// period needs: once its last block is marked played (and its stream may
// take the voice away) next to nothing of it is left unconverted.
TEST(Mixer, AConvertedVoiceLeavesNothingBehindItsLastBlock) {
  mixer m(2);
  m.setformat(44100, 2);
  auto t = voiceof(2, std::vector<float>(2 * 4800, 0.25f), 48000, 44100);
  ASSERT_TRUE(m.attach(t->v));
  for (int period = 0; period < 40 && blockflags(t->headers[0]) != (WHDR_DONE | WHDR_PREPARED); ++period) render(m, 441);
  ASSERT_EQ(blockflags(t->headers[0]), static_cast<DWORD>(WHDR_DONE | WHDR_PREPARED));
  EXPECT_LE(t->v.stagedframes, 4u) << "frames taken from the block but not yet heard";
}

// A converted voice gives all of its file before its follower comes in:
// 4800 frames at 48 kHz are 4410 at the card's 44.1 kHz, and 4800 at speed
// 1.01 are 4752, not the some 40 or 16 fewer that the converter held back
// waiting for frames that never came.
TEST(Mixer, AConvertedLeaderGivesItsLastFramesBeforeItsFollower) {
  for (bool sped : {false, true}) {
    mixer m(1);
    m.setformat(44100, 1);
    auto leader = voiceof(1, std::vector<float>(4800, 0.25f), sped ? 44100 : 48000, 44100);
    if (sped) leader->v.speed = 1.01f;
    auto follower = voiceof(1, std::vector<float>(4410, 0.5f));
    follow(*follower, *leader);
    lastqueued(*leader);
    ASSERT_TRUE(m.attach(leader->v));
    ASSERT_TRUE(m.attach(follower->v));
    std::vector<float> heard;
    while (heard.size() < 8820) {
      const std::vector<float> out = render(m, 441);
      heard.insert(heard.end(), out.begin(), out.end());
    }
    const auto seam = std::find(heard.begin(), heard.end(), 0.5f) - heard.begin();
    EXPECT_NEAR(static_cast<double>(seam), sped ? 4800 / 1.01 : 4410, 1.0) << (sped ? "the speed stage" : "libspeexdsp");
    EXPECT_TRUE(std::all_of(heard.begin() + 100, heard.begin() + seam - 100, [](float f) { return std::abs(f - 0.25f) < 1e-3f; }));
  }
}

// A queued file's voice waits, held, and comes in on the frame after its
// leader's last, wherever its slot is; with a crossfade the two overlap for
// its length at equal power (cosine out, sine in), the follower starting
// where the leader's file has that much left.
TEST(Mixer, AFollowerStartsOnTheFrameAfterItsLeaderAndACrossfadeKeepsThePower) {
  for (bool followerfirst : {true, false}) {
    mixer m(2);
    m.setformat(44100, 2);
    const std::vector<float> a = samples16(2 * 3000, 7), b = samples16(2000, 8);
    auto leader = voiceof(2, a);
    auto follower = voiceof(1, b);
    follow(*follower, *leader);
    ASSERT_TRUE(m.attach(followerfirst ? follower->v : leader->v));
    ASSERT_TRUE(m.attach(followerfirst ? leader->v : follower->v));
    EXPECT_EQ(render(m, 1000), std::vector<float>(a.begin(), a.begin() + 2000)) << "held: not heard";
    lastqueued(*leader);
    std::vector<float> heard;
    for (int period = 0; period < 4; ++period) {
      const std::vector<float> out = render(m, 1024);
      heard.insert(heard.end(), out.begin(), out.end());
    }
    std::vector<float> expected(a.begin() + 2000, a.end());
    for (float s : b) expected.insert(expected.end(), {s, s});
    expected.resize(heard.size(), 0.0f);
    EXPECT_EQ(heard, expected) << "not a frame between them, follower first: " << followerfirst;
    EXPECT_FALSE(follower->v.held);
    EXPECT_EQ(leader->v.next.load(), nullptr);
  }

  {
    // A follower of another rate is converted from its own first frame on:
    // it sounds from the frame after the leader's last, as long as it is.
    mixer m(2);
    m.setformat(44100, 2);
    auto leader = voiceof(2, std::vector<float>(2 * 1000, 0.5f));
    auto follower = voiceof(2, std::vector<float>(2 * 4800, 0.25f), 48000, 44100);
    follow(*follower, *leader);
    lastqueued(*leader);
    ASSERT_TRUE(m.attach(leader->v));
    ASSERT_TRUE(m.attach(follower->v));
    const std::vector<float> out = render(m, 6000);
    EXPECT_EQ(out[2 * 999], 0.5f);
    EXPECT_GT(out[2 * 1000], 0.05f) << "no silence at the seam";
    std::size_t sounding = 0;
    for (std::size_t i = 1000; i < 6000; ++i) sounding += out[2 * i] > 0.05f;
    EXPECT_NEAR(static_cast<double>(sounding), 4800 * 44100 / 48000.0, 40);
  }

  mixer m(2);
  m.setformat(48000, 2);
  std::vector<float> left(2 * 4000, 0.0f), right(2 * 4000, 0.0f);
  for (std::size_t i = 0; i < left.size(); i += 2) left[i] = right[i + 1] = 0.5f;
  auto leader = voiceof(2, left, 48000, 48000);
  auto follower = voiceof(2, right, 48000, 48000);
  leader->v.endbytes = 4000 * 4;
  leader->v.crossms = 20;  // 960 frames
  follow(*follower, *leader);
  ASSERT_TRUE(m.attach(leader->v));
  ASSERT_TRUE(m.attach(follower->v));
  const std::vector<float> out = render(m, 8000);
  for (uint32_t i = 0; i < 8000; ++i) {
    const float l = out[2 * i], r = out[2 * i + 1];
    if (i < 3040) ASSERT_TRUE(l == 0.5f && r == 0) << i;
    else if (i < 4000) ASSERT_NEAR(l * l + r * r, 0.25f, 1e-5) << i;
    else if (i < 7040) ASSERT_TRUE(l == 0 && r == 0.5f) << i;
    else ASSERT_TRUE(l == 0 && r == 0) << i;
  }
  EXPECT_GT(out[2 * 3040], 0.49f) << "the leader starts out near whole";
  EXPECT_LT(out[2 * 3999], 0.01f) << "and ends silent";
}
