#include <cstring>

#include "engine/output/waveout.h"
#include "tests/engine/support.h"

using namespace enginetest;

// Plays queued blocks one at a time until the condition holds; the
// condition is tested before each block.
static bool playuntil(const std::function<bool()>& done) {
  return waituntil([&done] {
    if (done()) return true;
    simdevice::playnext();
    return false;
  });
}

class Worker : public EngineTest {
 protected:
  // Plays a file on a manual device, one block at a time, checking as it
  // goes that no more than two full blocks are ever queued.
  void playmanually(const std::string& path) {
    simdevice::reset(simdevice::mode::manual);
    open(path);
    ASSERT_TRUE(waituntil(soundready));
    send("resume");
    while (!workerended()) {
      maxqueued = std::max(maxqueued, simdevice::queuedcount());
      simdevice::playnext();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  std::size_t maxqueued = 0;
};

TEST_F(Worker, PlaysEveryFormatBitForBit) {
  for (const char* name : {"mono22050.ogg", "mono44100.ogg", "mono48000.ogg", "stereo22050.ogg",
                           "stereo44100.ogg", "stereo48000.ogg", "short.ogg"}) {
    SCOPED_TRACE(name);
    simdevice::reset(simdevice::mode::instant);
    ASSERT_EQ(playthrough(fixture(name)), 0);
    const reference::decoded expected = reference::decode(fixture(name));
    ASSERT_EQ(expected.links.size(), 1u);
    EXPECT_EQ(playedsamples(), expected.samples);
    EXPECT_EQ(simdevice::lastformat().nSamplesPerSec, static_cast<DWORD>(expected.links[0].rate));
    EXPECT_EQ(simdevice::lastformat().nChannels, expected.links[0].channels);
    EXPECT_EQ(zelov::pcmbytes.load(), expected.samples.size() * 2);
    EXPECT_EQ(send("samplerate"), expected.links[0].rate);
    EXPECT_EQ(send("intchannels"), expected.links[0].channels);
    EXPECT_EQ(send("flagdewave"), 1) << "stays set after the end";
  }
}

TEST_F(Worker, GathersBlocksAndAlternatesTheTwoSlots) {
  playmanually(fixture("long.ogg"));
  EXPECT_EQ(send("intreturn2"), 0);
  const auto writes = simdevice::writes();
  ASSERT_GT(writes.size(), 10u);
  for (std::size_t i = 0; i + 1 < writes.size(); ++i) {
    EXPECT_NE(writes[i].header, &zelov::tailslot.header) << "the tail slot is used only last";
    EXPECT_GT(writes[i].length, 100000u);
    EXPECT_LE(writes[i].length, 116384u);
    if (i > 0) {
      EXPECT_NE(writes[i].header, writes[i - 1].header) << "block " << i;
    }
  }
  EXPECT_EQ(writes.back().header, &zelov::tailslot.header);
  EXPECT_LE(maxqueued, 3u);
  EXPECT_EQ(playedsamples(), reference::decode(fixture("long.ogg")).samples);
  char text[256];
  send("getsecondsstring", text);
  EXPECT_STREQ(text, "00:03:20");
  send("gettimestring", text);
  EXPECT_STREQ(text, "00:03:19");
}

TEST_F(Worker, StallsWithTwoBlocksQueuedUntilResumed) {
  simdevice::reset(simdevice::mode::manual);
  open(fixture("long.ogg"));
  ASSERT_TRUE(simdevice::waitfor([] { return simdevice::queuedcount() == 2; }));
  // The worker now waits for the first block; nothing plays while paused.
  EXPECT_FALSE(simdevice::playnext());
  EXPECT_EQ(send("intreturn"), 1000);
  EXPECT_TRUE(simdevice::ispaused());
  EXPECT_LT(zelov::pcmbytes.load(), 3u * 116384u);
  send("cancel");
  EXPECT_EQ(send("intreturn"), 0);
  EXPECT_EQ(send("intreturn2"), 0);
  EXPECT_TRUE(simdevice::played().empty());
}

TEST_F(Worker, ShortSoundGoesOutAsTheTailAndNeedsAResume) {
  simdevice::reset(simdevice::mode::manual);
  open(fixture("short.ogg"));
  ASSERT_TRUE(simdevice::waitfor([] { return simdevice::queuedcount() == 1; }));
  const auto writes = simdevice::writes();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].header, &zelov::tailslot.header);
  EXPECT_EQ(send("intreturn"), 1000) << "the run waits for its tail";

  send("resume");
  send("pause");
  EXPECT_FALSE(simdevice::playnext()) << "paused during the tail wait";
  EXPECT_EQ(send("intreturn"), 1001);
  send("resume");
  EXPECT_TRUE(simdevice::playnext());
  waitend();
  EXPECT_EQ(send("intreturn"), 0);
  EXPECT_EQ(playedsamples(), reference::decode(fixture("short.ogg")).samples);
}

TEST_F(Worker, TheDeviceClosesAfterSilenceThatThePositionDoesNotCount) {
  zelov::waverunoutms.store(50);
  simdevice::reset(simdevice::mode::manual);
  open(fixture("short.ogg"));
  ASSERT_TRUE(simdevice::waitfor([] { return simdevice::queuedcount() == 1; }));
  send("resume");
  ASSERT_TRUE(simdevice::playnext());  // the file's one block
  ASSERT_TRUE(simdevice::waitfor([] { return simdevice::queuedcount() == 1; })) << "silence follows it";
  const auto writes = simdevice::writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1].length, simdevice::lastformat().nAvgBytesPerSec / 20) << "50 ms";
  EXPECT_EQ(send("intreturn"), 1000) << "the run plays on until the silence is done";
  const double end = askdouble("getposition");
  EXPECT_DOUBLE_EQ(end, askdouble("getduration"));
  ASSERT_TRUE(simdevice::playnext());
  EXPECT_DOUBLE_EQ(askdouble("getposition"), end) << "the silence is not part of the file";
  EXPECT_EQ(askdouble("getpeak"), 0.0);
  waitend();
  EXPECT_EQ(send("intreturn2"), 0);
  std::vector<int16_t> expected = reference::decode(fixture("short.ogg")).samples;
  expected.resize(expected.size() + writes[1].length / 2, 0);
  EXPECT_EQ(playedsamples(), expected);
}

TEST_F(Worker, CancelDuringTheTailWaitEndsAtOnce) {
  simdevice::reset(simdevice::mode::manual);
  open(fixture("short.ogg"));
  ASSERT_TRUE(simdevice::waitfor([] { return simdevice::queuedcount() == 1; }));
  send("cancel");
  EXPECT_TRUE(workerended());
  EXPECT_EQ(send("intreturn2"), 0);
  EXPECT_TRUE(simdevice::played().empty()) << "the close silences the queue";
}

TEST_F(Worker, ChainedLinksArePublishedAnew) {
  ASSERT_EQ(playthrough(fixture("chained.ogg")), 0);
  const reference::decoded expected = reference::decode(fixture("chained.ogg"));
  ASSERT_EQ(expected.links.size(), 2u);
  EXPECT_EQ(playedsamples(), expected.samples);
  EXPECT_EQ(zelov::pcmbytes.load(), expected.samples.size() * 2) << "counted across links";
  EXPECT_EQ(send("samplerate"), 22050);
  EXPECT_EQ(send("intchannels"), 1);
  // Both links' frames (2 s at 44100 and 2 s at 22050) over the last rate.
  EXPECT_EQ(send("getseconds"), (2 * 44100 + 2 * 22050) / 22050);
  const std::string err = lines.err();
  EXPECT_NE(err.find("\nBitstream is 2 channel, 44100Hz\n"), std::string::npos);
  EXPECT_NE(err.find("\nBitstream is 1 channel, 22050Hz\n"), std::string::npos);
}

TEST_F(Worker, ALinkOfAnotherFormatGetsADeviceOfItsOwn) {
  simdevice::reset(simdevice::mode::manual);
  open(fixture("chained.ogg"));
  ASSERT_TRUE(waituntil(soundready));
  send("resume");
  // The first link plays out completely before its device is closed.
  ASSERT_TRUE(playuntil([] { return simdevice::opencount() == 2 || workerended(); }));
  const reference::decoded expected = reference::decode(fixture("chained.ogg"));
  const std::size_t firstlink = 2 * 44100 * 2;  // samples of the first link
  EXPECT_EQ(playedsamples(), std::vector<int16_t>(expected.samples.begin(),
                                                  expected.samples.begin() + firstlink));
  EXPECT_EQ(simdevice::lastformat().nSamplesPerSec, 22050u);
  EXPECT_EQ(simdevice::lastformat().nChannels, 1);
  EXPECT_FALSE(simdevice::ispaused()) << "a resumed playback goes on on the new device";
  ASSERT_TRUE(playuntil(workerended));
  EXPECT_EQ(send("intreturn2"), 0);
  EXPECT_EQ(playedsamples(), expected.samples);
}

TEST_F(Worker, APausedPlaybackStaysPausedOnTheNewDevice) {
  simdevice::reset(simdevice::mode::manual);
  open(fixture("chained.ogg"));
  ASSERT_TRUE(waituntil(soundready));
  send("resume");
  ASSERT_TRUE(playuntil([] {
    return simdevice::queuedcount() == 1 && simdevice::writes().back().header == &zelov::tailslot.header;
  }));
  send("pause");  // while the first link's last block waits to play
  send("resume");
  send("pause");
  EXPECT_FALSE(simdevice::playnext());
  send("resume");
  ASSERT_TRUE(playuntil([] { return simdevice::opencount() == 2; }));
  send("pause");
  ASSERT_TRUE(waituntil([] { return simdevice::queuedcount() >= 1; }));
  EXPECT_TRUE(simdevice::ispaused());
  send("cancel");
  EXPECT_EQ(send("intreturn"), 1);
}

TEST_F(Worker, FailedQueuingNeverHangsTheTailWait) {
  simdevice::setwritefails(true);
  EXPECT_EQ(playthrough(fixture("stereo44100.ogg")), 0);
  EXPECT_TRUE(simdevice::played().empty());
}

TEST_F(Worker, DeviceFailuresGiveTheirCodes) {
  simdevice::setdevicecount(0);
  EXPECT_EQ(playthrough(fixture("stereo44100.ogg")), 9);
  EXPECT_EQ(lines.out().find("Buffers lidos"), std::string::npos) << "no decoding without a device";
  EXPECT_NE(lines.out().find("Devices 0 \n"), std::string::npos);
  EXPECT_NE(lines.err().find("Done.\n"), std::string::npos);

  simdevice::reset(simdevice::mode::instant);
  zelov::setvendor("previous");
  simdevice::setopenresult(MMSYSERR_NODRIVER);
  EXPECT_EQ(playthrough(fixture("mono48000.ogg")), 2);
  EXPECT_NE(lines.trace().find("MMSYSERR_NODRIVER \nError opening waveout \n"), std::string::npos);
  EXPECT_EQ(zelov::pcmbytes.load(), 0u);
  EXPECT_EQ(send("flagdewave"), 0);
  EXPECT_EQ(send("samplerate"), 48000) << "the new stream's settings are published";
  EXPECT_EQ(send("getseconds"), 3);
}

// A device that stops playing (its sound server went away) must not hold
// the run for ever; paused or never-started devices are not lost.
class LostDevice : public Worker {
 protected:
  void SetUp() override {
    Worker::SetUp();
    zelov::wavelostms.store(300);
  }
  void TearDown() override {
    zelov::wavelostms.store(5000);
    Worker::TearDown();
  }
};

TEST_F(LostDevice, EndsTheRunWithTheDeviceResult) {
  simdevice::setlost(true);
  open(fixture("stereo44100.ogg"));
  ASSERT_TRUE(waituntil(soundready));
  send("resume");
  ASSERT_TRUE(waituntil(workerended));
  EXPECT_EQ(send("intreturn"), 2);
  EXPECT_NE(lines.err().find("The wave-out device stopped playing.\n"), std::string::npos);
  EXPECT_FALSE(simdevice::isopen());
}

TEST_F(LostDevice, IsOpenedAgainOnceWithItsBlocksAndPlaysOn) {
  simdevice::setlostuntilreopened();
  open(fixture("stereo44100.ogg"));
  ASSERT_TRUE(waituntil(soundready));
  send("resume");
  ASSERT_TRUE(waituntil(workerended));
  EXPECT_EQ(send("intreturn2"), 0);
  EXPECT_EQ(simdevice::opencount(), 2);
  EXPECT_EQ(playedsamples(), reference::decode(fixture("stereo44100.ogg")).samples) << "every block once, in order";
}

TEST_F(LostDevice, AtTheTailToo) {
  simdevice::setlost(true);
  open(fixture("short.ogg"));
  ASSERT_TRUE(waituntil(soundready));
  send("resume");
  ASSERT_TRUE(waituntil(workerended));
  EXPECT_EQ(send("intreturn2"), 2);
}

TEST_F(LostDevice, APausedOrUnstartedDeviceIsNotLost) {
  simdevice::reset(simdevice::mode::manual);
  open(fixture("stereo44100.ogg"));
  ASSERT_TRUE(waituntil(soundready));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));  // twice the limit, never started
  EXPECT_EQ(send("intreturn"), 1000);
  send("resume");
  simdevice::playnext();
  send("pause");
  std::this_thread::sleep_for(std::chrono::milliseconds(600));  // twice the limit, paused
  EXPECT_EQ(send("intreturn"), 1001);
  send("resume");
  EXPECT_TRUE(waituntil([] {
    simdevice::playnext();
    return workerended();
  }));
  EXPECT_EQ(send("intreturn2"), 0);
}

TEST_F(Worker, WritesItsProgressLines) {
  ASSERT_EQ(playthrough(fixture("stereo44100.ogg")), 0);
  EXPECT_EQ(lines.out().rfind("Testando *** \n", 0), 0u);
  EXPECT_NE(lines.out().find("Buffers lidos 4096 \n"), std::string::npos);
  EXPECT_NE(lines.err().find("TITLE=fixture\n\nBitstream is 2 channel, 44100Hz\n"), std::string::npos);
  EXPECT_NE(lines.trace().find("Valid ogg bitstream\n"), std::string::npos);
  EXPECT_NE(lines.trace().find("Numero de segundos 3 \n "), std::string::npos);
  EXPECT_NE(lines.trace().find("Iniciou wave out bem \n"), std::string::npos);
  const std::string err = lines.err();
  EXPECT_EQ(err.substr(err.size() - 8), "Done.\n \n") << "the close's blank line comes last";
}
