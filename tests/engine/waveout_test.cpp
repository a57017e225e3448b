#include "engine/output/waveout.h"
#include "tests/engine/support.h"

using namespace enginetest;

class WaveOut : public EngineTest {
 protected:
  // These drive the layer directly, with no worker to clear the flags.
  void SetUp() override {
    EngineTest::SetUp();
    zelov::cancelflag.store(0);
    zelov::pauseflag.store(0);
  }
  void TearDown() override {
    zelov::waveclose();
    EngineTest::TearDown();
  }
};

TEST_F(WaveOut, OpensPausedWithTheStreamsFormat) {
  zelov::streamrate.store(44100);
  zelov::streamchannels.store(2);
  ASSERT_TRUE(zelov::waveopen());
  EXPECT_TRUE(simdevice::ispaused());
  WAVEFORMATEX f = simdevice::lastformat();
  EXPECT_EQ(f.nBlockAlign, 4);
  EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
  EXPECT_EQ(f.wBitsPerSample, 16);
  zelov::waveclose();

  zelov::streamrate.store(22050);
  zelov::streamchannels.store(1);
  ASSERT_TRUE(zelov::waveopen());
  f = simdevice::lastformat();
  EXPECT_EQ(f.nChannels, 1);
  EXPECT_EQ(f.nBlockAlign, 2);
  EXPECT_EQ(f.nAvgBytesPerSec, 44100u);
  zelov::waveclose();

  zelov::streamrate.store(0);
  zelov::streamchannels.store(2);
  ASSERT_TRUE(zelov::waveopen());
  EXPECT_EQ(simdevice::lastformat().nSamplesPerSec, 44100u);
  EXPECT_EQ(simdevice::lastformat().nAvgBytesPerSec, 176400u);
}

TEST_F(WaveOut, OpenFailuresAreNamedWhereTheyHaveAName) {
  zelov::streamrate.store(44100);
  zelov::streamchannels.store(2);
  simdevice::setopenresult(WAVERR_BADFORMAT);
  EXPECT_FALSE(zelov::waveopen());
  EXPECT_EQ(lines.trace(), "WAVERR_BADFORMAT \n");
  EXPECT_EQ(lines.out(), " ret 32 \n");
  simdevice::setopenresult(MMSYSERR_ALLOCATED);
  EXPECT_FALSE(zelov::waveopen());
  EXPECT_EQ(lines.trace(), "WAVERR_BADFORMAT \n") << "result 4 has no name line";
  EXPECT_EQ(zelov::waveout.load(), nullptr);
}

TEST_F(WaveOut, ReclaimAndWaitFollowTheDevice) {
  zelov::streamrate.store(44100);
  zelov::streamchannels.store(2);
  simdevice::reset(simdevice::mode::manual);
  ASSERT_TRUE(zelov::waveopen());
  EXPECT_TRUE(zelov::wavereclaim(zelov::playslots[0])) << "an unused slot is free at once";
  ASSERT_TRUE(zelov::wavequeue(zelov::playslots[0], 1000));
  ASSERT_TRUE(zelov::wavequeue(zelov::tailslot, 500));
  std::thread device([] {
    waituntil([] { return !simdevice::ispaused(); });
    simdevice::playnext();
    simdevice::playnext();
  });
  waveOutRestart(zelov::waveout.load());
  EXPECT_TRUE(zelov::wavewaitdone(zelov::tailslot));
  EXPECT_TRUE(zelov::wavereclaim(zelov::playslots[0]));
  device.join();
  EXPECT_EQ(simdevice::played().size(), 1500u);
}

TEST_F(WaveOut, CancelEndsEveryWait) {
  zelov::streamrate.store(44100);
  zelov::streamchannels.store(2);
  simdevice::reset(simdevice::mode::manual);
  ASSERT_TRUE(zelov::waveopen());
  ASSERT_TRUE(zelov::wavequeue(zelov::playslots[1], 1000));
  ASSERT_TRUE(zelov::wavequeue(zelov::tailslot, 1000));
  zelov::cancelflag.store(1);
  EXPECT_FALSE(zelov::wavereclaim(zelov::playslots[1]));
  EXPECT_FALSE(zelov::wavewaitdone(zelov::tailslot));
  zelov::cancelflag.store(0);
  zelov::waveclose();
  EXPECT_FALSE(simdevice::isopen()) << "close must reset the queue first";
  EXPECT_EQ(zelov::waveout.load(), nullptr);
  zelov::waveclose();  // no device: nothing happens
}
