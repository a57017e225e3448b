// Mixed streams on the simulated sound cards: a card's output lingers after
// its last sound, follows the user's default card, ends its sounds when a
// chosen card goes away, takes a volume as a gain without decoding again,
// and a sound moved to another card loses and repeats nothing.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include "engine/output/card.h"
#include "engine/native/simendpoint.h"
#include "engine/protocol.h"
#include "tests/engine/support.h"

using namespace enginetest;

namespace {

class Cards : public EngineTest {
 protected:
  void TearDown() override {
    for (int32_t s : opened) interface1("streamclose", reinterpret_cast<char*>(&s), nullptr, nullptr);
    EngineTest::TearDown();
  }
  // A stream of its own, mixed on its card.
  int32_t mixedstream() {
    const int32_t s = static_cast<int32_t>(interface1("streamopen", nullptr, nullptr, nullptr));
    if (s > 0) opened.push_back(s);
    int32_t one = 1;
    EXPECT_EQ(on(s, "setmixed", reinterpret_cast<char*>(&one)), 1);
    return s;
  }
  void play(int32_t s, const std::string& name) {
    std::string path = fixture(name);
    on(s, "open", path.data());
    on(s, "resume");
  }
  LRESULT choose(int32_t s, std::u16string id) { return on(s, "setdeviceid", reinterpret_cast<char*>(id.data())); }
  std::vector<int32_t> opened;
};

// A card's capture as 16-bit samples, and a decode, each without the
// silence before its first sounding frame and after its last.
std::vector<int16_t> sounding(const std::vector<float>& mix) { return enginetest::sounding(asint16(mix)); }
std::vector<int16_t> referencesound(const std::string& name) {
  return enginetest::sounding(reference::decode(fixture(name)).samples);
}

}  // namespace

// The output opens with the first sound, stays open after the last for the
// linger time (the next sound starts on the same output, written at once),
// then closes.
TEST_F(Cards, TheOutputLingersAfterTheLastSoundThenCloses) {
  zelov::lingerms.store(600);
  const int32_t s = mixedstream();
  EXPECT_FALSE(simendpoint::isopen(u"card-a")) << "nothing opened before the first sound";
  play(s, "short.ogg");
  ASSERT_TRUE(waituntil([&] { return ended(s); }));
  EXPECT_EQ(on(s, "intreturn2"), zelov::resultok);
  EXPECT_TRUE(simendpoint::isopen(u"card-a")) << "lingering";
  // With nothing to play the output is left to run dry, so that the next
  // sound is not queued behind a lead of silence.
  const std::size_t idle = simendpoint::captured(u"card-a").size();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(simendpoint::captured(u"card-a").size(), idle) << "nothing written while nothing plays";
  play(s, "short.ogg");
  ASSERT_TRUE(waituntil([&] { return ended(s); }));
  EXPECT_EQ(simendpoint::opens(u"card-a"), 1) << "the second sound played on the lingering output";
  EXPECT_GE(sounding(simendpoint::captured(u"card-a")).size(), 2 * referencesound("short.ogg").size()) << "both sounds";
  EXPECT_TRUE(waituntil([] { return !simendpoint::isopen(u"card-a"); })) << "closed after the linger";
}

// "endlinger", which a host's last control sends as it lets the engine go,
// closes a lingering output at once and returns once it is closed; a card
// a sound still plays on is left alone.
TEST_F(Cards, EndLingerClosesTheIdleOutputsBeforeItReturns) {
  zelov::lingerms.store(60000);
  const int32_t idle = mixedstream(), playing = mixedstream();
  simendpoint::addcard(u"card-b", u"USB Headset", 44100, 2);
  play(idle, "short.ogg");
  ASSERT_TRUE(waituntil([&] { return ended(idle); }));
  EXPECT_EQ(choose(playing, u"card-b"), 1);
  int32_t loop = 1;
  on(playing, "setloop", reinterpret_cast<char*>(&loop));
  play(playing, "short.ogg");
  ASSERT_TRUE(waituntil([] { return simendpoint::isopen(u"card-b"); }));
  ASSERT_TRUE(simendpoint::isopen(u"card-a")) << "lingering";
  EXPECT_EQ(interface1("endlinger", nullptr, nullptr, nullptr), 1);
  EXPECT_FALSE(simendpoint::isopen(u"card-a")) << "closed when the call returns";
  EXPECT_TRUE(simendpoint::isopen(u"card-b")) << "still playing";
  on(playing, "cancel");
  zelov::lingerms.store(50);
}

// The default card changes during playback: the mix moves there and the
// sound goes on, nothing lost or repeated at the move; the old card closes.
// To a card of another rate, the sound is converted to it from the move on.
TEST_F(Cards, TheMixFollowsTheDefaultCardWithoutEndingTheSound) {
  simendpoint::addcard(u"card-b", u"USB Headset", 44100, 2);
  simendpoint::addcard(u"card-c", u"HDMI Output", 48000, 2);
  const int32_t s = mixedstream();
  play(s, "stereo44100.ogg");
  ASSERT_TRUE(waituntil([] { return sounding(simendpoint::captured(u"card-a")).size() > 44100; }));
  simendpoint::setdefault(u"card-b");
  ASSERT_TRUE(waituntil([&] { return ended(s); }));
  EXPECT_EQ(on(s, "intreturn2"), zelov::resultok);
  const std::vector<int16_t> a = sounding(simendpoint::captured(u"card-a")),
                             b = sounding(simendpoint::captured(u"card-b"));
  EXPECT_GT(b.size(), 44100u) << "the rest was heard on the new default";
  EXPECT_EQ(a.size() + b.size(), referencesound("stereo44100.ogg").size()) << "nothing lost or repeated";
  EXPECT_TRUE(waituntil([] { return !simendpoint::isopen(u"card-a"); })) << "the old default's output closed";

  const std::size_t mark = simendpoint::captured(u"card-b").size();
  auto since = [mark] {
    const std::vector<float> all = simendpoint::captured(u"card-b");
    return sounding(std::vector<float>(all.begin() + static_cast<long>(mark), all.end()));
  };
  play(s, "stereo44100.ogg");
  ASSERT_TRUE(waituntil([&] { return since().size() > 3 * 44100; }));
  simendpoint::setdefault(u"card-c");
  ASSERT_TRUE(waituntil([&] { return ended(s); }));
  EXPECT_EQ(on(s, "intreturn2"), zelov::resultok);
  const double onc = sounding(simendpoint::captured(u"card-c")).size() * 44100.0 / 48000;
  const double before = static_cast<double>(since().size());
  EXPECT_GT(onc, 44100.0);
  EXPECT_NEAR(before + onc, static_cast<double>(referencesound("stereo44100.ogg").size()), 2 * 480.0)
      << "the rest, converted to 48 kHz";
}

// A sound moved to another card by id, and a card chosen by id that goes
// away: the sound ends as on a lost device, and the stream may pick another.
TEST_F(Cards, AChosenCardMovesTheSoundAndOneThatGoesAwayEndsIt) {
  simendpoint::addcard(u"card-b", u"USB Headset", 48000, 2);
  const int32_t s = mixedstream();
  EXPECT_EQ(choose(s, u"no-such-card"), 0);
  EXPECT_EQ(choose(s, std::u16string(zelov::endpointidsize + 10, u'x')), 0) << "longer than any id";
  play(s, "long.ogg");
  ASSERT_TRUE(waituntil([] { return sounding(simendpoint::captured(u"card-a")).size() > 8820; }));
  ASSERT_EQ(choose(s, u"card-b"), 1);
  ASSERT_TRUE(waituntil([] { return sounding(simendpoint::captured(u"card-b")).size() > 9600; }))
      << "moved at once, converted to the card's 48 kHz";
  EXPECT_EQ(on(s, "intreturn"), zelov::running);
  simendpoint::removecard(u"card-b");
  ASSERT_TRUE(waituntil([&] { return ended(s); }));
  EXPECT_EQ(on(s, "intreturn2"), zelov::resultdeviceopen);
  EXPECT_EQ(choose(s, u"card-b"), 0) << "no longer present";
  EXPECT_EQ(choose(s, u""), 1) << "back to the default";
  play(s, "short.ogg");
  ASSERT_TRUE(waituntil([&] { return ended(s); }));
  EXPECT_EQ(on(s, "intreturn2"), zelov::resultok);
}

// No card at all: the run ends as it does without a wave-out device.
TEST_F(Cards, WithoutACardTheRunEndsAsWithoutADevice) {
  simendpoint::removecard(u"card-a");
  const int32_t s = mixedstream();
  play(s, "short.ogg");
  ASSERT_TRUE(waituntil([&] { return ended(s); }));
  EXPECT_EQ(on(s, "intreturn2"), zelov::resultnodevice);
}

// A volume put is a gain in the mix: heard within a period, and nothing is
// decoded again, skipped or repeated however often it comes (a slider
// dragged during the whole sound).
TEST_F(Cards, VolumePutsAreGainsThatNeitherSkipNorRepeat) {
  const int32_t s = mixedstream();
  play(s, "stereo44100.ogg");
  int32_t level = 100;
  while (!ended(s)) {
    level = level == 100 ? 60 : 100;
    on(s, "setvolume", reinterpret_cast<char*>(&level));
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_EQ(on(s, "intreturn2"), zelov::resultok);
  const std::vector<int16_t> heard = sounding(simendpoint::captured(u"card-a"));
  const std::vector<int16_t> decoded = referencesound("stereo44100.ogg");
  EXPECT_EQ(heard.size(), decoded.size());
  std::size_t louder = 0;
  for (std::size_t i = 0; i < std::min(heard.size(), decoded.size()); ++i) louder += std::abs(heard[i]) > std::abs(decoded[i]) + 1;
  EXPECT_EQ(louder, 0u) << "every sample at or below its decoded level";
}
