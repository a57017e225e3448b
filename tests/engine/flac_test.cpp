// FLAC on a mixed stream (the only kind that plays it): the card's mix
// equals libFLAC's own decode at full precision, native and in Ogg; the
// length, settings and comments; a seek and a loop sample-exact; more
// channels mixed down by the stated weights, a higher rate converted; a
// damaged frame heard as silence of its length; a file without STREAMINFO
// refused; and the default stream still refuses FLAC.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>

#include "engine/native/simendpoint.h"
#include "engine/protocol.h"
#include "tests/engine/support.h"

using namespace enginetest;

namespace {

class Flac : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    stream = static_cast<int32_t>(interface1("streamopen", nullptr, nullptr, nullptr));
    ASSERT_GT(stream, 0);
    int32_t one = 1;
    ASSERT_EQ(on(stream, "setmixed", reinterpret_cast<char*>(&one)), 1);
  }
  void TearDown() override {
    interface1("streamclose", reinterpret_cast<char*>(&stream), nullptr, nullptr);
    EngineTest::TearDown();
  }
  void open(const std::string& name) {
    std::string path = fixture(name);
    on(stream, "open", path.data());
  }
  // Plays the file to its end; its result code.
  int32_t play(const std::string& name) {
    open(name);
    on(stream, "resume");
    EXPECT_TRUE(waituntil([this] { return ended(stream); }));
    return static_cast<int32_t>(on(stream, "intreturn2"));
  }
  void seek(double to) {
    char data[8];
    std::memcpy(data, &to, sizeof to);
    on(stream, "seek", data);
  }
  int32_t stream = 0;
};

// Stereo frames from the first that sounds to the last that does: the
// card's mix begins and ends with the silence around the sound.
std::vector<float> sounding(const std::vector<float>& samples) {
  std::size_t first = 0, last = samples.size() / 2;
  auto silent = [&](std::size_t frame) { return samples[2 * frame] == 0 && samples[2 * frame + 1] == 0; };
  while (first < last && silent(first)) ++first;
  while (last > first && silent(last - 1)) --last;
  return std::vector<float>(samples.begin() + static_cast<long>(2 * first), samples.begin() + static_cast<long>(2 * last));
}

std::vector<float> mix() { return sounding(simendpoint::captured(u"card-a")); }

}  // namespace

// 16-bit native and Ogg FLAC, 24-bit, and a file with a 1 MiB picture in
// front: every sample as libFLAC decodes it, the 24-bit ones not cut to 16
// bits on the way.
TEST_F(Flac, TheMixIsLibFlacsDecodeAtFullPrecision) {
  for (const char* name : {"stereo.flac", "stereo.oga", "deep.flac", "picture.flac"}) {
    simendpoint::reset();
    const reference::flacdecoded expected = reference::decodeflac(fixture(name));
    ASSERT_FALSE(expected.samples.empty()) << name;
    EXPECT_EQ(play(name), zelov::resultok) << name;
    EXPECT_EQ(mix(), sounding(expected.samples)) << name;
  }
  const std::vector<float> deep = reference::decodeflac(fixture("deep.flac")).samples;
  EXPECT_TRUE(std::any_of(deep.begin(), deep.end(), [](float x) { return x * 32768 != std::floor(x * 32768); }))
      << "the 24-bit file has sound below 16 bits to lose";
}

// A mono file is heard alike on both sides; six channels are mixed down
// with the front at full weight, the centre and the back at 0.7071 and the
// LFE left out, each side's weights summing to 1.
TEST_F(Flac, MonoIsPlacedAndSixChannelsAreMixedDown) {
  const reference::flacdecoded mono = reference::decodeflac(fixture("mono.flac"));
  EXPECT_EQ(play("mono.flac"), zelov::resultok);
  std::vector<float> twice;
  for (float x : mono.samples) twice.insert(twice.end(), {x, x});
  EXPECT_EQ(mix(), sounding(twice));

  simendpoint::reset();
  const reference::flacdecoded six = reference::decodeflac(fixture("six.flac"));
  ASSERT_EQ(six.channels, 6);
  EXPECT_EQ(play("six.flac"), zelov::resultok);
  const float third = 0.70710678f, sum = 1 + 2 * third;
  std::vector<float> down;
  for (std::size_t i = 0; i + 6 <= six.samples.size(); i += 6) {
    const float* c = &six.samples[i];  // FL FR C LFE BL BR
    down.push_back((c[0] + third * c[2] + third * c[4]) / sum);
    down.push_back((c[1] + third * c[2] + third * c[5]) / sum);
  }
  const std::vector<float> heard = mix(), wanted = sounding(down);
  ASSERT_EQ(heard.size(), wanted.size());
  for (std::size_t i = 0; i < heard.size(); ++i) ASSERT_NEAR(heard[i], wanted[i], 1e-6f) << i;
}

// 96 kHz is converted to the card's 44.1 kHz: as long, as loud.
TEST_F(Flac, AHigherRateIsConvertedToTheCards) {
  EXPECT_EQ(play("high.flac"), zelov::resultok);
  const std::vector<float> heard = mix();
  EXPECT_NEAR(static_cast<double>(heard.size()) / 2, 44100.0, 441.0) << "one second";
  const float peak = *std::max_element(heard.begin(), heard.end());
  EXPECT_NEAR(peak, 0.6f + 0.05f, 0.06f);
}

// The length, the settings (the bitrate the file's average) and the
// comments are there once the file is open.
TEST_F(Flac, LengthSettingsAndComments) {
  open("stereo.flac");
  int32_t wait = 10000;
  on(stream, "waitready", reinterpret_cast<char*>(&wait));
  EXPECT_EQ(askdouble(stream, "getduration"), 1.0);
  EXPECT_EQ(on(stream, "samplerate"), 44100);
  EXPECT_EQ(on(stream, "intchannels"), 2);
  std::ifstream file(fixture("stereo.flac"), std::ios::binary | std::ios::ate);
  EXPECT_NEAR(on(stream, "bitrate"), 8.0 * static_cast<double>(file.tellg()), 8) << "its bytes over its one second";
  std::vector<char> tags(zelov::tagbuffersize);
  on(stream, "gettags", tags.data());
  std::vector<std::string> entries;
  for (const char* at = tags.data(); *at; at += std::strlen(at) + 1) entries.emplace_back(at);
  EXPECT_EQ(entries, (std::vector<std::string>{"TITLE=Lossless", "ARTIST=Fixture"}));
  char vendor[256] = {};
  on(stream, "intvendor", vendor);
  EXPECT_EQ(std::string(vendor).rfind("reference libFLAC", 0), 0u) << vendor;
  on(stream, "cancel");
}

// A seek before the sound starts lands on its frame; a loop repeats the
// whole file with nothing added or lost at the seams.
TEST_F(Flac, SeekAndLoopAreSampleExact) {
  const std::vector<float> whole = reference::decodeflac(fixture("stereo.flac")).samples;
  open("stereo.flac");
  int32_t wait = 10000;
  on(stream, "waitready", reinterpret_cast<char*>(&wait));
  seek(0.5);
  on(stream, "resume");
  ASSERT_TRUE(waituntil([this] { return ended(stream); }));
  const std::vector<float> after(whole.begin() + 2 * 22050, whole.end());
  EXPECT_EQ(mix(), sounding(after));

  simendpoint::reset();
  const std::vector<float> once = reference::decodeflac(fixture("picture.flac")).samples;
  int32_t loop = 1, off = 0;
  on(stream, "setloop", reinterpret_cast<char*>(&loop));
  open("picture.flac");
  on(stream, "resume");
  ASSERT_TRUE(waituntil([&] { return simendpoint::captured(u"card-a").size() > 3 * once.size(); }));
  on(stream, "setloop", reinterpret_cast<char*>(&off));
  ASSERT_TRUE(waituntil([this] { return ended(stream); }));
  const std::vector<float> all = mix();
  ASSERT_EQ(sounding(once), once) << "the file sounds from its first frame to its last";
  ASSERT_GE(all.size(), 3 * once.size());
  EXPECT_EQ(all.size() % once.size(), 0u) << "whole passes";
  for (std::size_t at = 0; at + once.size() <= all.size(); at += once.size())
    EXPECT_TRUE(std::equal(once.begin(), once.end(), all.begin() + static_cast<long>(at))) << at;
}

// A frame whose checksum fails is heard as silence (libFLAC's decode of the
// damaged file, which silences that frame and the one it found its place
// again in), the rest as it was; a file cut short plays what it has; a file
// without a readable STREAMINFO is refused (27 in the control).
TEST_F(Flac, DamageHasItsOutcome) {
  const std::vector<float> whole = sounding(reference::decodeflac(fixture("stereo.flac")).samples);
  EXPECT_EQ(play("damaged.flac"), zelov::resultok);
  const std::vector<float> heard = mix();
  EXPECT_EQ(heard, sounding(reference::decodeflac(fixture("damaged.flac")).samples));
  ASSERT_EQ(heard.size(), whole.size()) << "as long as the undamaged file";
  std::size_t first = heard.size(), last = 0;
  for (std::size_t i = 0; i < heard.size(); ++i)
    if (heard[i] != whole[i]) first = std::min(first, i), last = i;
  ASSERT_LT(first, heard.size()) << "the damage is heard";
  EXPECT_LE((last - first) / 2, 2 * 4096u) << "within two frames";
  for (std::size_t i = first; i <= last; ++i) ASSERT_EQ(heard[i], 0.0f) << i;

  // Cut in half: what is there plays, and no silence in place of the rest
  // of the length STREAMINFO gives.
  simendpoint::reset();
  EXPECT_EQ(play("cut.flac"), zelov::resultok);
  const std::vector<float> part = mix();
  EXPECT_GT(part.size(), whole.size() / 3);
  EXPECT_LT(part.size(), whole.size() * 2 / 3);
  EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin()));
  EXPECT_LT(simendpoint::captured(u"card-a").size(), part.size() + 2 * 4410) << "no silence after it";

  EXPECT_EQ(play("noinfo.flac"), zelov::resultbadheader);
  EXPECT_EQ(play("nostreaminfo.flac"), zelov::resultbadheader);
}

// ZelOggPlay's stream plays Vorbis alone: a FLAC file is not Ogg to it, and
// Ogg FLAC is not Vorbis.
TEST_F(Flac, TheDefaultStreamStillRefusesIt) {
  EXPECT_EQ(playthrough(fixture("stereo.flac")), zelov::resultnotogg);
  EXPECT_EQ(playthrough(fixture("stereo.oga")), zelov::resultnotvorbis);
}
