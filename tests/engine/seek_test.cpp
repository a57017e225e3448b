// The words behind ZelOggPlayEx: seeking, the position heard, the length,
// the volume and the comments, on a device whose blocks play one by one.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/protocol.h"
#include "engine/output/waveout.h"
#include "tests/engine/support.h"

using namespace enginetest;

namespace {

void seek(double seconds) {
  char data[8];
  std::memcpy(data, &seconds, sizeof seconds);
  send("seek", data);
}

void setvolume(int32_t level) { sendlong("setvolume", level); }

std::vector<std::string> tags() {
  std::vector<char> buffer(zelov::tagbuffersize, 'x');
  send("gettags", buffer.data());
  std::vector<std::string> entries;
  for (const char* at = buffer.data(); *at; at += std::strlen(at) + 1) entries.emplace_back(at);
  return entries;
}

std::size_t writecount() { return simdevice::writes().size(); }

// Plays block after block until the run ends.
void playtotheend() {
  while (!workerended()) {
    simdevice::playnext();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// The reference decode's samples from `frame` on, as far as `count` samples.
std::vector<int16_t> referencefrom(const reference::decoded& decoded, std::size_t frame, int channels,
                                   std::size_t count) {
  const std::size_t from = frame * static_cast<std::size_t>(channels);
  const std::size_t to = std::min(decoded.samples.size(), from + count);
  return {decoded.samples.begin() + static_cast<long>(from), decoded.samples.begin() + static_cast<long>(to)};
}

}  // namespace

class Seek : public EngineTest {
 protected:
  // Opens a file on a manual device and resumes it; the worker then waits
  // with its first blocks queued, nothing played.
  void startplaying(const std::string& name) {
    simdevice::reset(simdevice::mode::manual);
    open(fixture(name));
    ASSERT_TRUE(waituntil(soundready));
    send("resume");
    ASSERT_TRUE(waituntil([] { return simdevice::queuedcount() == 2; }));
  }
  // Waits until the worker has queued a block after the seek.
  void waitforblocksafter(std::size_t writes) {
    ASSERT_TRUE(waituntil([writes] { return writecount() > writes; }));
  }
};

// libvorbisfile seeks to the frame; the first block after the seek starts
// with the reference decode's frame at that time, and what was queued before
// is never heard.
TEST_F(Seek, TheNextFrameHeardIsTheFrameAtTheTime) {
  startplaying("stereo44100.ogg");
  const std::size_t before = writecount();
  seek(2.0);
  waitforblocksafter(before);
  playtotheend();
  EXPECT_EQ(send("intreturn2"), 0);
  const reference::decoded expected = reference::decode(fixture("stereo44100.ogg"));
  const std::vector<int16_t> heard = playedsamples();
  ASSERT_GT(heard.size(), 44100u);
  // libvorbisfile ends the stream at its last granule position, a little
  // before the bare decode's end.
  EXPECT_LE(heard.size(), expected.samples.size() - 2 * 88200);
  EXPECT_EQ(heard, referencefrom(expected, 88200, 2, heard.size()));
}

// A seek bar dragged to its right end: the device drops what it held and the
// run ends at once, after its silence, on the device it had (not after
// taking the emptied, paused device for a lost one and opening another).
TEST_F(Seek, ToTheEndWhilePlayingEndsTheFileAtOnce) {
  zelov::waverunoutms.store(50);
  startplaying("long.ogg");
  ASSERT_TRUE(simdevice::playnext());
  const std::size_t before = simdevice::played().size();
  const double end = askdouble("getduration");
  seek(end);
  // Taken once the position stands at the end; then only the silence is
  // queued, on a device that plays.
  ASSERT_TRUE(waituntil([end] {
    return askdouble("getposition") == end && !simdevice::ispaused() && simdevice::queuedcount() == 1;
  })) << "the silence after the end never started";
  playtotheend();
  EXPECT_EQ(send("intreturn2"), 0);
  EXPECT_EQ(simdevice::opencount(), 1) << "the device was taken for lost";
  const std::vector<uint8_t> after = simdevice::played();
  EXPECT_TRUE(std::all_of(after.begin() + static_cast<long>(before), after.end(), [](uint8_t b) { return b == 0; }))
      << "nothing of the file after the seek";
}

TEST_F(Seek, WhilePausedStaysPausedAtTheNewPlace) {
  startplaying("long.ogg");
  send("pause");
  const std::size_t before = writecount();
  seek(100.0);
  waitforblocksafter(before);
  EXPECT_TRUE(simdevice::ispaused());
  EXPECT_FALSE(simdevice::playnext());
  EXPECT_EQ(send("intreturn"), zelov::runningpaused);
  EXPECT_DOUBLE_EQ(askdouble("getposition"), 100.0);
  send("resume");
  EXPECT_TRUE(simdevice::playnext());
  EXPECT_GT(askdouble("getposition"), 100.0);
  send("cancel");
}

// The chained file: 2 s of 44.1 kHz stereo, then 2 s of 22.05 kHz mono.
TEST_F(Seek, AcrossLinksAndBackGetsEachLinksDevice) {
  startplaying("chained.ogg");
  const reference::decoded expected = reference::decode(fixture("chained.ogg"));
  EXPECT_DOUBLE_EQ(askdouble("getduration"), 4.0) << "each link's frames over its own rate";

  std::size_t before = writecount();
  seek(3.0);  // into the second link, 1 s in
  waitforblocksafter(before);
  EXPECT_EQ(simdevice::lastformat().nSamplesPerSec, 22050u);
  EXPECT_EQ(send("samplerate"), 22050);
  // The new device starts just after its first block is queued.
  ASSERT_TRUE(waituntil([] { return simdevice::playnext(); }));
  const std::size_t firstlink = static_cast<std::size_t>(88200) * 2;
  std::vector<int16_t> heard = playedsamples();
  std::vector<int16_t> wanted(expected.samples.begin() + static_cast<long>(firstlink + 22050),
                              expected.samples.begin() + static_cast<long>(firstlink + 22050 + heard.size()));
  EXPECT_EQ(heard, wanted);
  EXPECT_NEAR(askdouble("getposition"), 3.0 + static_cast<double>(heard.size()) / 22050, 1e-9);

  before = writecount();
  const std::size_t heardbefore = heard.size();
  seek(0.5);
  waitforblocksafter(before);
  EXPECT_EQ(simdevice::lastformat().nSamplesPerSec, 44100u);
  ASSERT_TRUE(waituntil([] { return simdevice::playnext(); }));
  heard = playedsamples();
  heard.erase(heard.begin(), heard.begin() + static_cast<long>(heardbefore));
  EXPECT_EQ(heard, referencefrom(expected, 22050, 2, heard.size()));
  send("cancel");
}

TEST_F(Seek, PositionFollowsWhatTheDevicePlayed) {
  startplaying("long.ogg");
  EXPECT_DOUBLE_EQ(askdouble("getposition"), 0.0) << "nothing played yet";
  double played = 0;
  for (int block = 0; block < 4; ++block) {
    const std::size_t length = simdevice::writes()[static_cast<std::size_t>(block)].length;
    ASSERT_TRUE(simdevice::playnext());
    played += static_cast<double>(length) / (44100 * 4);
    EXPECT_NEAR(askdouble("getposition"), played, 1e-9) << "after block " << block;
    ASSERT_TRUE(waituntil([block] { return simdevice::queuedcount() == 2 || workerended(); }));
  }
  seek(-5.0);
  ASSERT_TRUE(waituntil([] { return askdouble("getposition") == 0.0; })) << "below 0 is the start";
  seek(1e9);
  waitend();
  EXPECT_EQ(send("intreturn2"), 0) << "past the end ends the file";
  EXPECT_DOUBLE_EQ(askdouble("getposition"), 0.0) << "nothing open";
  EXPECT_DOUBLE_EQ(askdouble("getduration"), 0.0);
}

TEST_F(Seek, ASeekWhileTheEndPlaysGoesBackIntoTheFile) {
  simdevice::reset(simdevice::mode::manual);
  open(fixture("short.ogg"));  // one tail block
  ASSERT_TRUE(waituntil(soundready));
  send("resume");
  ASSERT_TRUE(waituntil([] { return simdevice::queuedcount() == 1; }));
  seek(0.1);
  ASSERT_TRUE(waituntil([] { return writecount() == 2; }));
  playtotheend();
  const reference::decoded expected = reference::decode(fixture("short.ogg"));
  const std::vector<int16_t> heard = playedsamples();
  EXPECT_EQ(heard, referencefrom(expected, 4410, 2, heard.size()));
  EXPECT_GT(heard.size(), 4000u);
}

// The volume scales the samples, never the device (whose volume on Windows
// is the whole program's): 100 keeps them bit for bit as decoded, and the
// blocks already queued are decoded again at the new volume, so that it is
// heard at once. Each "open" starts at full volume.
TEST_F(Seek, VolumeScalesTheSamplesAtOnceAndEachOpenStartsAtFull) {
  simdevice::reset(simdevice::mode::manual);
  setvolume(50);
  open(fixture("short.ogg"));
  ASSERT_TRUE(waituntil(soundready));
  const std::size_t before = writecount();
  setvolume(50);
  // The queued blocks were dropped and written again.
  ASSERT_TRUE(waituntil([&] { return writecount() > before; }));
  send("resume");
  playtotheend();
  const reference::decoded expected = reference::decode(fixture("short.ogg"));
  const std::vector<int16_t> heard = playedsamples();
  ASSERT_EQ(heard.size(), expected.samples.size());
  std::size_t off = 0;
  for (std::size_t i = 0; i < heard.size(); ++i)
    off += std::abs(heard[i] - expected.samples[i] / 2) > 1;
  EXPECT_EQ(off, 0u) << "every sample at half its amplitude";
  EXPECT_EQ(simdevice::volumecalls(), 0) << "the device's own volume is left alone";

  simdevice::reset(simdevice::mode::instant);
  EXPECT_EQ(playthrough(fixture("short.ogg")), 0);
  EXPECT_EQ(playedsamples(), expected.samples) << "a new file starts at full volume, bit for bit";

  simdevice::reset(simdevice::mode::manual);
  open(fixture("short.ogg"));
  setvolume(0);
  setvolume(250);  // clamped to 100: as decoded
  ASSERT_TRUE(waituntil(soundready));
  send("resume");
  playtotheend();
  EXPECT_EQ(playedsamples(), expected.samples);
}

TEST_F(Seek, TagsAreTheStreamsCommentsWithLongValuesCut) {
  simdevice::reset(simdevice::mode::manual);
  EXPECT_TRUE(tags().empty());
  open(fixture("tags.ogg"));
  ASSERT_TRUE(waituntil(soundready));
  const std::vector<std::string> got = tags();
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0], "TITLE=\xd0\x9f\xd0\xb5\xd1\x81\xd0\xbd\xd1\x8f \xe6\xad\x8c");
  EXPECT_EQ(got[1], "Artist=First");
  EXPECT_EQ(got[2], "ARTIST=Second");
  // 499 two-byte characters, then a three-byte one that would end past
  // byte 1000 of the value: the cut comes before it.
  EXPECT_EQ(got[3].size(), 7u + 998u);
  EXPECT_EQ(got[3].substr(7, 2), "\xc3\xa9");
  EXPECT_EQ(got[4], "NOEQUALS");
  send("cancel");
  open(fixture("stereo44100.ogg"));
  ASSERT_TRUE(waituntil(soundready));
  EXPECT_EQ(tags(), std::vector<std::string>{"TITLE=fixture"});
  send("cancel");
}

TEST_F(Seek, NearMissesOfTheNewWordsDoNothing) {
  startplaying("long.ogg");
  for (const char* word : {"Seek", "seek ", "seekx", "getPosition", "setvolume ", "gettag", "gettagsx"}) {
    char data[16] = {};
    EXPECT_EQ(send(word, data), 0) << '"' << word << '"';
  }
  EXPECT_EQ(simdevice::volumecalls(), 0);
  EXPECT_EQ(simdevice::queuedcount(), 2u) << "a near miss of \"seek\" dropped the queue";
  send("cancel");
}

// OpenFile, then a seek and ResumePlayback at once (a script's three lines):
// the resume may come before the device is ready and the seek just after
// it opens; the start the resume made due must survive the seek.
TEST_F(Seek, AResumeBeforeTheDeviceAndASeekAfterItStillStartTheSound) {
  simdevice::reset(simdevice::mode::instant);
  simdevice::afternextopen([] {
    send("resume");
    seek(1.0);
  });
  open(fixture("stereo44100.ogg"));
  ASSERT_TRUE(waituntil(workerended, std::chrono::seconds(10))) << "the sound never started";
  EXPECT_EQ(send("intreturn2"), 0);
  EXPECT_EQ(playedsamples().size(), reference::decode(fixture("stereo44100.ogg")).samples.size() - 2 * 44100);
}
