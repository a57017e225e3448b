// Streams: several files at once, each on a stream of its own with its own
// worker and device (the simulated device keeps each stream's sound apart
// by the stream number the engine opens it with).
#include <cstring>
#include <random>

#include "engine/protocol.h"
#include "engine/streams/state.h"
#include "tests/engine/support.h"

using namespace enginetest;

namespace {

int32_t openstream() { return static_cast<int32_t>(interface1("streamopen", nullptr, nullptr, nullptr)); }

void closestream(int32_t stream) { interface1("streamclose", reinterpret_cast<char*>(&stream), nullptr, nullptr); }

void openon(int32_t stream, const std::string& path) {
  std::string copy = path;
  on(stream, "open", copy.data());
}

void setvolume(int32_t stream, int32_t level) { on(stream, "setvolume", reinterpret_cast<char*>(&level)); }

std::size_t writesof(int32_t stream) {
  std::size_t n = 0;
  for (const auto& w : simdevice::writes()) n += w.instance == static_cast<DWORD_PTR>(stream);
  return n;
}

// Plays the streams' blocks in turns, one block each, until every run has
// ended.
void playinturns(const std::vector<int32_t>& streams) {
  for (;;) {
    bool running = false;
    for (int32_t s : streams) {
      if (ended(s)) continue;
      running = true;
      simdevice::playnext(static_cast<DWORD_PTR>(s));
    }
    if (!running) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

class Streams : public EngineTest {
 protected:
  void TearDown() override {
    for (int32_t s : opened) closestream(s);
    EngineTest::TearDown();
  }
  int32_t take() {
    const int32_t s = openstream();
    if (s > 0) opened.push_back(s);
    return s;
  }
  std::vector<int32_t> opened;
};

}  // namespace

TEST_F(Streams, TwoStreamsInterleavedAreEachTheReferenceSound) {
  simdevice::reset(simdevice::mode::manual);
  const int32_t a = take(), b = take();
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  ASSERT_NE(a, b);
  openon(a, fixture("stereo44100.ogg"));
  openon(b, fixture("mono22050.ogg"));
  on(a, "resume");
  on(b, "resume");
  playinturns({a, b});
  EXPECT_EQ(on(a, "intreturn2"), 0);
  EXPECT_EQ(on(b, "intreturn2"), 0);
  EXPECT_EQ(heard(a), reference::decode(fixture("stereo44100.ogg")).samples);
  EXPECT_EQ(heard(b), reference::decode(fixture("mono22050.ogg")).samples);
  EXPECT_TRUE(heard(0).empty()) << "nothing reached the default stream's device";
}

TEST_F(Streams, WhatOneStreamIsToldLeavesTheOthersSoundAlone) {
  simdevice::reset(simdevice::mode::manual);
  const int32_t a = take(), b = take(), c = take();
  openon(a, fixture("long.ogg"));
  openon(b, fixture("stereo44100.ogg"));
  openon(c, fixture("short.ogg"));
  ASSERT_TRUE(waituntil([&] { return on(a, "flagdewave") && on(b, "flagdewave") && on(c, "flagdewave"); }));
  // Stream c: volume 50 once its whole file is queued (its one block);
  // the queued sound is decoded again and written anew.
  ASSERT_TRUE(waituntil([&] { return writesof(c) == 1; }));
  setvolume(c, 50);
  ASSERT_TRUE(waituntil([&] { return writesof(c) == 2; }));
  // The default stream plays a file of its own meanwhile.
  open(fixture("short.ogg"));
  for (int32_t s : {a, b, c}) on(s, "resume");
  send("resume");
  // Stream a: paused, sought, then cancelled.
  on(a, "pause");
  double there = 1.5;
  on(a, "seek", reinterpret_cast<char*>(&there));
  EXPECT_EQ(on(a, "intreturn"), zelov::runningpaused);
  EXPECT_EQ(on(b, "intreturn"), zelov::running) << "the pause of another stream";
  EXPECT_EQ(send("intreturn"), zelov::running);
  on(a, "cancel");
  EXPECT_LT(on(a, "intreturn"), zelov::endedbelow);
  playinturns({b, c});
  while (!workerended()) {
    simdevice::playnext(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(heard(b), reference::decode(fixture("stereo44100.ogg")).samples);
  EXPECT_EQ(heard(0), reference::decode(fixture("short.ogg")).samples) << "the default stream's file";
  const std::vector<int16_t> expected = reference::decode(fixture("short.ogg")).samples, halved = heard(c);
  ASSERT_EQ(halved.size(), expected.size());
  std::size_t off = 0;
  for (std::size_t i = 0; i < halved.size(); ++i) off += std::abs(halved[i] - expected[i] / 2) > 1;
  EXPECT_EQ(off, 0u) << "volume 50 halves that stream's samples";
}

TEST_F(Streams, ThirtyTwoStreamsThenNoMore) {
  simdevice::reset(simdevice::mode::instant);
  for (int i = 0; i < zelov::maxstreams; ++i) ASSERT_GT(take(), 0) << "stream " << i + 1;
  EXPECT_EQ(openstream(), 0) << "one more than the limit";
  // A stream given back can be had again, fresh.
  setvolume(opened.back(), 10);
  closestream(opened.back());
  const int32_t again = openstream();
  EXPECT_EQ(again, opened.back());
  EXPECT_EQ(on(again, "intreturn"), 0);
  openon(again, fixture("short.ogg"));
  ASSERT_TRUE(waituntil([&] { return on(again, "flagdewave") || ended(again); }));
  on(again, "resume");
  ASSERT_TRUE(waituntil([&] { return ended(again); }));
  EXPECT_EQ(heard(again), reference::decode(fixture("short.ogg")).samples) << "at full volume";
}

TEST_F(Streams, NumbersNotGivenOutAndNearMissesDoNothing) {
  simdevice::reset(simdevice::mode::manual);
  open(fixture("long.ogg"));
  ASSERT_TRUE(waituntil(soundready));
  send("resume");
  const int32_t s = take();
  char data[16] = {};
  for (int32_t n : {0, -1, s + 1, zelov::maxstreams + 1}) EXPECT_EQ(on(n, "intreturn"), 0) << n;
  for (const char* word : {"Streamopen", "streamopen ", "streamclos", "onstream ", "OnStream"})
    EXPECT_EQ(interface1(word, data, const_cast<int32_t*>(&s), const_cast<char*>("cancel")), 0) << '"' << word << '"';
  EXPECT_EQ(on(s, "streamopen"), 0) << "stream words are not words of a stream";
  EXPECT_EQ(on(s, "Cancel"), 0);
  EXPECT_EQ(send("intreturn"), zelov::running) << "the default stream plays on";
  EXPECT_EQ(openstream(), s + 1) << "no near miss took a stream";
  opened.push_back(s + 1);
  send("cancel");
}

// When the library leaves the process (a form that held the last control
// closed), what every stream made is given back: the next load starts with
// a fresh table, so anything kept would be lost for good at each load.
TEST_F(Streams, LeavingTheProcessGivesBackEveryStreamsEventsAndMemory) {
  simdevice::reset(simdevice::mode::instant);
  for (int i = 0; i < 4; ++i) {
    const int32_t s = take();
    ASSERT_GT(s, 0);
    openon(s, fixture("short.ogg"));
    on(s, "resume");
    ASSERT_TRUE(waituntil([&] { return ended(s); }));
  }
  ASSERT_EQ(playthrough(fixture("short.ogg")), 0);
  // The library leaves the process only once every worker's thread has let
  // it go: "cancel" and "streamclose" wait for those threads.
  send("cancel");
  for (int32_t s : opened) closestream(s);
  opened.clear();
  ASSERT_EQ(simlibrary::references(), 0);
  ASSERT_GT(simhandles::live(), 0);
  zelov::releasestreams();
  EXPECT_EQ(simhandles::live(), 0) << "events or thread handles kept";
  // The library loaded again plays as before (stream memory kept here would
  // be reported as a leak at exit, since the table no longer points to it).
  EXPECT_EQ(take(), 1);
  EXPECT_EQ(playthrough(fixture("short.ogg")), 0);
}

// Eight streams opened, paused, sought, cancelled and closed from two
// threads at once (run under ThreadSanitizer too): no race, no hang, each
// stream's state always one the command table allows.
TEST_F(Streams, TwoThreadsDriveEightStreams) {
  simdevice::reset(simdevice::mode::realtime);
  const char* files[] = {"short.ogg", "stereo44100.ogg", "mono22050.ogg", "chained.ogg", "bad-codebook.ogg"};
  auto drive = [&](unsigned seed, std::vector<int32_t>* bad) {
    std::mt19937 random(seed);
    int32_t mine[4];
    for (int32_t& s : mine) s = openstream();
    for (int step = 0; step < 400; ++step) {
      const int32_t s = mine[random() % 4];
      switch (random() % 6) {
        case 0: openon(s, fixture(files[random() % 5])); break;
        case 1: on(s, "pause"); break;
        case 2: on(s, "resume"); break;
        case 3: {
          double at = (random() % 300) / 100.0;
          on(s, "seek", reinterpret_cast<char*>(&at));
          break;
        }
        case 4:
          if (random() % 4 == 0) on(s, "cancel");
          break;
        case 5: std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000)); break;
      }
      const LRESULT state = on(s, "intreturn");
      if (!(state == 1000 || state == 1001 || (state >= 0 && state <= 11))) bad->push_back(static_cast<int32_t>(state));
    }
    for (int32_t s : mine) closestream(s);
  };
  std::vector<int32_t> bad1, bad2;
  std::thread one(drive, 1u, &bad1), two(drive, 2u, &bad2);
  one.join();
  two.join();
  EXPECT_TRUE(bad1.empty() && bad2.empty());
  EXPECT_EQ(simdevice::opendevices(), 0) << "a closed stream left its device open";
}
