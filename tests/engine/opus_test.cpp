// Ogg Opus on a stream of its own: the sound equals libopusfile's decode,
// a seek lands on the frame, the length is exact, the comments are read,
// damaged files get their results, and the default stream still refuses it.
#include <cstring>

#include "engine/protocol.h"
#include "tests/engine/support.h"

using namespace enginetest;

class Opus : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    stream = static_cast<int32_t>(interface1("streamopen", nullptr, nullptr, nullptr));
    ASSERT_GT(stream, 0);
  }
  void TearDown() override {
    interface1("streamclose", reinterpret_cast<char*>(&stream), nullptr, nullptr);
    EngineTest::TearDown();
  }
  void open(const std::string& name) {
    std::string path = fixture(name);
    on(stream, "open", path.data());
  }
  // Plays the file on the instant device to its end; its result code.
  int32_t play(const std::string& name) {
    simdevice::reset(simdevice::mode::instant);
    open(name);
    on(stream, "resume");
    EXPECT_TRUE(waituntil([this] { return ended(stream); }));
    return static_cast<int32_t>(on(stream, "intreturn2"));
  }
  int32_t stream = 0;
};

// Stereo given at 48 kHz and mono given at 16 kHz: the device gets 48 kHz,
// every sample libopusfile decodes and not one more, the pre-skip dropped
// and the last packet cut where the file says its sound ends.
TEST_F(Opus, PlaysEverySampleOfLibopusfilesDecode) {
  for (const char* name : {"stereo.opus", "mono16k.opus"}) {
    const reference::decoded expected = reference::decode(fixture(name));
    ASSERT_FALSE(expected.samples.empty()) << name;
    EXPECT_EQ(play(name), 0) << name;
    EXPECT_EQ(simdevice::lastformat().nSamplesPerSec, 48000u) << name;
    EXPECT_EQ(simdevice::lastformat().nChannels, expected.links[0].channels) << name;
    EXPECT_EQ(heard(stream), expected.samples) << name;
  }
  EXPECT_EQ(reference::decode(fixture("stereo.opus")).samples.size(), 4u * 48000 * 2) << "4.000 s of sound";
}

// The length, the settings and the comments are there once the file is
// open; the bitrate is the file's average.
TEST_F(Opus, LengthSettingsAndComments) {
  simdevice::reset(simdevice::mode::manual);
  open("stereo.opus");
  int32_t wait = 10000;
  on(stream, "waitready", reinterpret_cast<char*>(&wait));
  EXPECT_EQ(askdouble(stream, "getduration"), 4.0);
  EXPECT_EQ(on(stream, "samplerate"), 48000);
  EXPECT_EQ(on(stream, "intchannels"), 2);
  EXPECT_EQ(on(stream, "intversion"), 0);
  EXPECT_NEAR(on(stream, "bitrate"), 62179 * 8 / 4, 62179 * 8 / 4 / 10);
  EXPECT_EQ(on(stream, "getseconds"), 4);

  open("tags.opus");
  on(stream, "waitready", reinterpret_cast<char*>(&wait));
  std::vector<char> tags(zelov::tagbuffersize);
  on(stream, "gettags", tags.data());
  std::vector<std::string> entries;
  for (const char* at = tags.data(); *at; at += std::strlen(at) + 1) entries.emplace_back(at);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1], "Artist=First");
  char vendor[256] = {};
  on(stream, "intvendor", vendor);
  EXPECT_EQ(std::string(vendor).rfind("libopus", 0), 0u) << vendor;
  on(stream, "cancel");
}

// A seek lands on the frame: what is heard after it is libopusfile's own
// decode from that frame, the pre-roll handled.
TEST_F(Opus, ASeekLandsOnTheReferenceFrame) {
  const reference::decoded expected = reference::decodeopusfrom(fixture("stereo.opus"), 120000);
  simdevice::reset(simdevice::mode::manual);
  open("stereo.opus");
  ASSERT_TRUE(waituntil([this] { return on(stream, "flagdewave") != 0; }));
  on(stream, "resume");
  const double to = 2.5;
  char data[8];
  std::memcpy(data, &to, sizeof to);
  on(stream, "seek", data);
  ASSERT_TRUE(waituntil([this] { return askdouble(stream, "getposition") == 2.5 && simdevice::queuedcount() > 0; }));
  while (!ended(stream)) {
    simdevice::playnext(static_cast<DWORD_PTR>(stream));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(heard(stream), expected.samples);
  EXPECT_EQ(expected.samples.size(), 1.5 * 48000 * 2);
}

// A Vorbis link, then an Opus one: each plays on its own device, each
// sample as its own decoder gives it.
TEST_F(Opus, AMixedChainPlaysLinkAfterLink) {
  std::vector<int16_t> expected = reference::decode(fixture("short.ogg")).samples;
  const std::vector<int16_t> opus = reference::decode(fixture("mono16k.opus")).samples;
  expected.insert(expected.end(), opus.begin(), opus.end());
  EXPECT_EQ(play("mixed.ogg"), 0);
  EXPECT_EQ(heard(stream), expected);
  EXPECT_EQ(simdevice::lastformat().nSamplesPerSec, 48000u);
}

// Three channels, a head of a later version: not a stream this plays (26
// in the control). A damaged comment header: 27. Cut short: what is there
// plays, to result 0.
TEST_F(Opus, DamagedAndUnplayableFilesGetTheirResults) {
  EXPECT_EQ(play("three.opus"), zelov::resultnotvorbis);
  EXPECT_EQ(play("badhead.opus"), zelov::resultnotvorbis);
  EXPECT_EQ(play("badtags.opus"), zelov::resultbadheader);
  EXPECT_EQ(play("cut.opus"), 0);
  const std::vector<int16_t> whole = reference::decode(fixture("stereo.opus")).samples;
  const std::vector<int16_t> part = heard(stream);
  ASSERT_GT(part.size(), 0u);  // the whole pages before the cut
  ASSERT_LT(part.size(), whole.size());
  EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin()));
}

// Looped, every pass is libopusfile's decode of the whole file, with
// nothing added or lost at the seams.
TEST_F(Opus, LoopsGaplessly) {
  const std::vector<int16_t> once = reference::decode(fixture("mono16k.opus")).samples;
  simdevice::reset(simdevice::mode::manual);
  int32_t on1 = 1, off = 0;
  on(stream, "setloop", reinterpret_cast<char*>(&on1));
  open("mono16k.opus");
  ASSERT_TRUE(waituntil([this] { return on(stream, "flagdewave") != 0; }));
  on(stream, "resume");
  while (simdevice::played(static_cast<DWORD_PTR>(stream)).size() < 3 * once.size() * 2) {
    ASSERT_FALSE(ended(stream));
    if (!simdevice::playnext(static_cast<DWORD_PTR>(stream))) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  on(stream, "setloop", reinterpret_cast<char*>(&off));
  while (!ended(stream)) {
    simdevice::playnext(static_cast<DWORD_PTR>(stream));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::vector<int16_t> all = heard(stream);
  ASSERT_EQ(all.size() % once.size(), 0u);
  for (std::size_t pass = 0; pass < all.size() / once.size(); ++pass)
    EXPECT_TRUE(std::equal(once.begin(), once.end(), all.begin() + static_cast<long>(pass * once.size()))) << pass;
}

// ZelOggPlay's stream plays Vorbis alone, as it always has.
TEST_F(Opus, TheDefaultStreamStillRefusesIt) {
  EXPECT_EQ(playthrough(fixture("stereo.opus")), zelov::resultnotvorbis);
  EXPECT_TRUE(simdevice::played().empty());
}
