#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tests/engine/support.h"

using namespace enginetest;

class Commands : public EngineTest {
 protected:
  // Opens a long file on a manual device and waits until the worker has
  // opened the (paused) device.
  void startpaused() {
    simdevice::reset(simdevice::mode::manual);
    open(fixture("long.ogg"));
    ASSERT_TRUE(waituntil(soundready));
    ASSERT_FALSE(workerended());
  }
};

TEST_F(Commands, WordsMatchExactlyOrNotAtAll) {
  startpaused();
  for (const char* word : {"Pause", "pause ", " pause", "PAUSE", "compress", "", "pausex"})
    EXPECT_EQ(send(word), 0) << '"' << word << '"';
  EXPECT_EQ(send("intreturn"), 1000) << "a near miss paused the playback";
  EXPECT_EQ(send("intreturn2"), 0) << "intreturn2 must not be taken for intreturn";
  EXPECT_EQ(send("intreturn "), 0);
  EXPECT_EQ(send("getsecondsstringx"), 0);
  EXPECT_EQ(interface1(nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(Commands, PauseAndResumeFollowTheStateTable) {
  startpaused();
  EXPECT_EQ(send("intreturn"), 1000);
  send("pause");
  EXPECT_EQ(send("intreturn"), 1001);
  EXPECT_TRUE(simdevice::ispaused());
  send("pause");
  send("resume");
  EXPECT_EQ(send("intreturn"), 1000) << "two pauses and one resume leave it running";
  EXPECT_FALSE(simdevice::ispaused()) << "resume restarts the device even when not flagged paused";
  send("pause");
  EXPECT_EQ(send("cancel"), 0);
  EXPECT_TRUE(workerended());
  EXPECT_EQ(send("intreturn"), 1) << "cancelled while paused: the result plus the left pause flag";
  EXPECT_EQ(send("intreturn2"), 0);
  EXPECT_FALSE(simdevice::isopen());
  EXPECT_EQ(simdevice::queuedcount(), 0u);
  send("resume");
  EXPECT_EQ(send("intreturn"), 1) << "resume after the end does nothing";
}

TEST_F(Commands, CancelWithNoPlaybackReturnsAtOnce) {
  ASSERT_TRUE(workerended());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(send("cancel"), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
}

// A host unloads the engine as soon as "cancel" returns, so the worker's
// thread holds the library to its very end and "cancel" waits for that end.
TEST_F(Commands, CancelReturnsOnlyOnceTheWorkerThreadHasLetTheLibraryGo) {
  startpaused();
  EXPECT_EQ(simlibrary::references(), 1) << "the running worker does not hold the library";
  simlibrary::beforenextrelease([] { Sleep(100); });  // the thread lingers in its last instructions
  send("cancel");
  EXPECT_EQ(simlibrary::references(), 0) << "cancel returned while the thread still ran code of the library";
}

TEST_F(Commands, CancelRightAfterOpenIsNotLost) {
  simdevice::reset(simdevice::mode::manual);
  open(fixture("long.ogg"));
  send("cancel");  // very likely before the new thread has started
  EXPECT_TRUE(workerended());
  EXPECT_EQ(send("intreturn2"), 0);
  EXPECT_TRUE(simdevice::played().empty());
}

TEST_F(Commands, ANewRunIsVisibleAsRunningBeforeItsThreadStarts) {
  // A poll right after "open" must not see the previous run's end (the
  // control would end the new file) nor its wave-out flag (the control
  // would resume before the new device exists, and it would stay silent).
  ASSERT_EQ(playthrough(fixture("short.ogg")), 0);
  ASSERT_EQ(send("flagdewave"), 1);
  simdevice::reset(simdevice::mode::manual);
  open(fixture("long.ogg"));
  EXPECT_EQ(send("intreturn"), 1000);
  // The new worker may already have opened its device; otherwise the flag
  // must be down.
  const LRESULT flag = send("flagdewave");
  EXPECT_TRUE(flag == 0 || simdevice::isopen()) << "the previous run's flag was still up";
  send("pause");  // also before the thread runs: it holds
  ASSERT_TRUE(waituntil(soundready));
  EXPECT_EQ(send("intreturn"), 1001);
}

TEST_F(Commands, AResumeBeforeTheDeviceOpensIsKept) {
  // A host that opens a file and resumes at once must hear it, not stall
  // with a paused device.
  open(fixture("stereo44100.ogg"));
  send("resume");
  ASSERT_TRUE(waituntil(workerended));
  EXPECT_EQ(send("intreturn2"), 0);
  EXPECT_EQ(playedsamples(), reference::decode(fixture("stereo44100.ogg")).samples);
}

TEST_F(Commands, APauseAfterAnEarlyResumeHolds) {
  simdevice::reset(simdevice::mode::manual);
  open(fixture("long.ogg"));
  send("resume");
  send("pause");
  ASSERT_TRUE(waituntil(soundready));
  EXPECT_TRUE(simdevice::ispaused());
  EXPECT_EQ(send("intreturn"), 1001);
}

TEST_F(Commands, OpenWhilePlayingEndsTheRunningWorkerFirst) {
  startpaused();
  open(fixture("stereo44100.ogg"));
  ASSERT_TRUE(waituntil(soundready));
  send("resume");
  while (!workerended()) {
    simdevice::playnext();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(send("intreturn2"), 0) << "the second run could not open the device";
  EXPECT_EQ(simdevice::opencount(), 2);
  EXPECT_EQ(playedsamples(), reference::decode(fixture("stereo44100.ogg")).samples);
}

TEST_F(Commands, MissingFileEndsWithTenAndTouchesNoDevice) {
  const std::string path = fixture("no-such-file.ogg");
  EXPECT_EQ(open(path), 0);
  waitend();
  EXPECT_EQ(send("intreturn"), 10);
  EXPECT_EQ(send("intreturn2"), 10);
  EXPECT_EQ(simdevice::opencount(), 0);
  EXPECT_NE(lines.out().find("can't open [" + path + "]\n"), std::string::npos);
  EXPECT_NE(lines.err().find("reason:: "), std::string::npos);
  EXPECT_EQ(lines.err().find("Done.\n"), std::string::npos);
}

// A real, playable file whose path is exactly n bytes long.
static std::string pathoflength(std::size_t n) {
  std::string dir = "/tmp/zelpath";
  mkdir(dir.c_str(), 0700);
  while (dir.size() + 1 + 100 + 1 + 8 < n) {
    dir += "/" + std::string(100, 'd');
    mkdir(dir.c_str(), 0700);
  }
  std::string path = dir + "/" + std::string(n - dir.size() - 1 - 4, 'f') + ".ogg";
  FILE* in = std::fopen(fixture("short.ogg").c_str(), "rb");
  FILE* out = std::fopen(path.c_str(), "wb");
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) std::fwrite(buffer, 1, got, out);
  std::fclose(in);
  std::fclose(out);
  return path;
}

TEST_F(Commands, PathsThatDoNotFitAreRefusedWithoutOpeningAnything) {
  const std::string fits = pathoflength(255);
  const std::string toolong = pathoflength(256);
  ASSERT_EQ(fits.size(), 255u);
  ASSERT_EQ(toolong.size(), 256u);
  EXPECT_EQ(playthrough(fits), 0);
  EXPECT_EQ(simdevice::opencount(), 1);
  EXPECT_EQ(playthrough(toolong + std::string(5000, 'x')), 10);
  EXPECT_EQ(playthrough(toolong), 10);
  EXPECT_EQ(simdevice::opencount(), 1) << "a refused path reached the device";
}

// "openwide" plays a path by its UTF-16 name, whatever "open" would refuse;
// the path must fit Windows' own limit.
TEST_F(Commands, OpenWidePlaysWhatOpenCannotSpellOrHold) {
  auto playwide = [&](std::u16string path) {
    send("openwide", reinterpret_cast<char*>(path.data()));
    EXPECT_TRUE(waituntil(soundready));
    send("resume");
    EXPECT_TRUE(waituntil(workerended));
    return static_cast<int32_t>(send("intreturn2"));
  };
  const std::string longpath = pathoflength(300);
  const std::u16string longwide(longpath.begin(), longpath.end());  // ASCII
  std::rename(pathoflength(40).c_str(), "/tmp/zelpath/\u041c\u0443\u0437\u044b\u043a\u0430 \u4e2d\u6587.ogg");
  EXPECT_EQ(playwide(longwide), 0);
  EXPECT_EQ(playwide(u"/tmp/zelpath/\u041c\u0443\u0437\u044b\u043a\u0430 \u4e2d\u6587.ogg"), 0);
  EXPECT_EQ(simdevice::opencount(), 2);
  EXPECT_EQ(playwide(std::u16string(40000, u'd')), 10) << "longer than Windows allows";
  EXPECT_EQ(simdevice::opencount(), 2);
  for (const char* word : {"openWide", "openwide ", "open wide", "openwid"}) {
    std::u16string path = longwide;
    EXPECT_EQ(send(word, reinterpret_cast<char*>(path.data())), 0);
    EXPECT_TRUE(workerended()) << '"' << word << '"';
  }
}
