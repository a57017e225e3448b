// The words for games and music programs: a gapless loop, a file played
// from memory, the device chosen, the level being heard, and the length
// and comments known as soon as the open returns.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "engine/protocol.h"
#include "tests/engine/support.h"

using namespace enginetest;

namespace {

std::vector<char> filebytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

LRESULT openmemory(const void* bytes, uint64_t size) {
  zelov::memoryfile file{bytes, size};
  return send("openmemory", reinterpret_cast<char*>(&file));
}

// Plays block after block on the manual device until `enough` bytes have
// been played, turns the loop off, and plays to the end of the run.
void playloopedfor(std::size_t enough) {
  while (simdevice::played().size() < enough) {
    ASSERT_FALSE(workerended()) << "a looping run ended by itself";
    if (!simdevice::playnext()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  sendlong("setloop", 0);
  while (!workerended()) {
    simdevice::playnext();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// `heard` is the reference `once` over and over, whole passes only.
void expectpasses(const std::vector<int16_t>& heard, const std::vector<int16_t>& once, std::size_t atleast) {
  ASSERT_FALSE(once.empty());
  ASSERT_EQ(heard.size() % once.size(), 0u) << "a pass was cut or a frame added: " << heard.size() << " samples";
  ASSERT_GE(heard.size() / once.size(), atleast);
  for (std::size_t pass = 0; pass < heard.size() / once.size(); ++pass)
    ASSERT_TRUE(std::equal(once.begin(), once.end(), heard.begin() + static_cast<long>(pass * once.size())))
        << "pass " << pass << " differs";
}

}  // namespace

class Loop : public EngineTest {
 protected:
  void startlooping(const std::string& name) {
    simdevice::reset(simdevice::mode::manual);
    sendlong("setloop", 1);
    open(fixture(name));
    ASSERT_TRUE(waituntil(soundready));
    send("resume");
  }
};

// A file of an odd number of frames, looped: every pass is the reference
// decode, sample for sample, with nothing between passes; turning the loop
// off ends the run at the end of the pass being decoded, with no error.
// The same for files short enough to be repeated from memory (0.2 s, and
// one frame, of which a block holds thousands of passes).
TEST_F(Loop, EveryPassIsTheWholeFileWithNothingAtTheSeams) {
  for (const char* name : {"loop.ogg", "short.ogg", "oneframe.ogg"}) {
    SCOPED_TRACE(name);
    const std::vector<int16_t> once = reference::decode(fixture(name)).samples;
    if (std::string(name) != "short.ogg") ASSERT_EQ(once.size() % 4, 2u) << "an odd number of stereo frames";
    startlooping(name);
    EXPECT_EQ(send("intreturn"), zelov::running);
    playloopedfor(std::max<std::size_t>(3 * once.size(), 3 * 44100) * sizeof(int16_t));
    EXPECT_EQ(send("intreturn2"), 0);
    expectpasses(playedsamples(), once, 3);
  }
}

// A volume change while a kept pass repeats is heard from the next block on:
// the kept pass, converted at the old volume, is not played again.
TEST_F(Loop, AVolumeChangeReachesAFileRepeatedFromMemory) {
  startlooping("short.ogg");
  ASSERT_TRUE(waituntil([] { return simdevice::queuedcount() == 2; }));
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(simdevice::playnext());
  sendlong("setvolume", 0);
  const std::size_t before = simdevice::played().size();
  playloopedfor(before + 4 * 100000);
  std::vector<int16_t> after = playedsamples();
  after.erase(after.begin(), after.begin() + static_cast<long>(before / sizeof(int16_t)));
  // What the device held at the change may still be heard; the last blocks
  // are silent.
  ASSERT_GT(after.size(), 2u * 100000 / sizeof(int16_t));
  EXPECT_TRUE(std::all_of(after.end() - 100000 / static_cast<long>(sizeof(int16_t)), after.end(),
                          [](int16_t v) { return v == 0; }));
}

// A chained file loops from its first link, each link on its own device.
TEST_F(Loop, AChainedFileLoopsFromItsFirstLink) {
  const std::vector<int16_t> once = reference::decode(fixture("chained.ogg")).samples;
  startlooping("chained.ogg");
  playloopedfor(2 * once.size() * sizeof(int16_t));
  expectpasses(playedsamples(), once, 2);
}

// A seek while looping plays from there to the end, then the file again.
TEST_F(Loop, ASeekWhileLoopingGoesOnRoundFromThere) {
  const std::vector<int16_t> once = reference::decode(fixture("loop.ogg")).samples;
  startlooping("loop.ogg");
  ASSERT_TRUE(waituntil([] { return simdevice::queuedcount() == 2; }));
  ASSERT_TRUE(simdevice::playnext());
  const std::size_t before = simdevice::played().size();
  const double to = 1.0;
  char data[8];
  std::memcpy(data, &to, sizeof to);
  send("seek", data);
  // Taken once the device has dropped what it held and has a block from
  // the new place (0.57 s had been played before).
  ASSERT_TRUE(waituntil([] { return askdouble("getposition") == 1.0 && simdevice::queuedcount() > 0; }));
  playloopedfor(before + 2 * once.size() * sizeof(int16_t));
  std::vector<int16_t> after = playedsamples();
  after.erase(after.begin(), after.begin() + static_cast<long>(before / sizeof(int16_t)));
  const std::size_t rest = once.size() - 44100 * 2;
  ASSERT_GT(after.size(), rest);
  EXPECT_TRUE(std::equal(once.begin() + 44100 * 2, once.end(), after.begin())) << "from the place sought";
  after.erase(after.begin(), after.begin() + static_cast<long>(rest));
  expectpasses(after, once, 1);
}

// The position stays within the file while its blocks count on.
TEST_F(Loop, ThePositionComesRoundToTheStart) {
  startlooping("short.ogg");  // 0.2 s: several passes in one block
  ASSERT_TRUE(waituntil([] { return simdevice::queuedcount() == 2; }));
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(simdevice::playnext());
  const double at = askdouble("getposition");
  EXPECT_GE(at, 0.0);
  EXPECT_LT(at, 0.2);
}

class Memory : public EngineTest {};

// The bytes of a file play exactly as the file does, though the caller's
// copy is overwritten and freed as soon as the call returns; the length and
// the comments are there.
TEST_F(Memory, PlaysAsTheFileDoesFromItsOwnCopy) {
  const std::string path = fixture("tags.ogg");
  ASSERT_EQ(playthrough(path), 0);
  const std::vector<int16_t> fromfile = playedsamples();

  simdevice::reset(simdevice::mode::instant);
  std::vector<char> bytes = filebytes(path);
  auto copy = std::make_unique<char[]>(bytes.size());
  std::memcpy(copy.get(), bytes.data(), bytes.size());
  openmemory(copy.get(), bytes.size());
  std::memset(copy.get(), 0x55, bytes.size());
  copy.reset();
  sendlong("waitready", 10000);
  EXPECT_EQ(askdouble("getduration"), 1.0);
  send("resume");
  waitend();
  EXPECT_EQ(send("intreturn2"), 0);
  EXPECT_EQ(playedsamples(), fromfile);
}

// No bytes, none at all, or more than the engine takes: a file that cannot
// be opened. What is not an Ogg file gets the result a file would.
TEST_F(Memory, NothingOrTooMuchCannotBeOpened) {
  openmemory(nullptr, 100);
  waitend();
  EXPECT_EQ(send("intreturn2"), zelov::resultcantopen);
  const char byte = 'x';
  openmemory(&byte, 0);
  waitend();
  EXPECT_EQ(send("intreturn2"), zelov::resultcantopen);
  openmemory(&byte, zelov::memorymost + 1);  // refused before any byte is read
  waitend();
  EXPECT_EQ(send("intreturn2"), zelov::resultcantopen);
  for (const char* name : {"garbage-large.bin", "notvorbis.ogg", "cut-codebook.ogg"}) {
    const int32_t fromfile = playthrough(fixture(name));
    const std::vector<char> bytes = filebytes(fixture(name));
    openmemory(bytes.data(), bytes.size());
    send("resume");
    waitend();
    EXPECT_EQ(send("intreturn2"), fromfile) << name;
  }
  EXPECT_EQ(playthrough(fixture("garbage-large.bin")), zelov::resultnotogg);
}

class Devices : public EngineTest {};

TEST_F(Devices, TheChosenDeviceOpensAndNamesAreRead) {
  simdevice::setdevicecount(3);
  EXPECT_EQ(send("devicecount"), 3);
  zelov::devicenamebuffer buffer{1, {}};
  EXPECT_EQ(send("devicename", reinterpret_cast<char*>(&buffer)), 1);
  EXPECT_EQ(std::u16string(buffer.name), u"Simulated device 1");
  buffer.index = 3;
  EXPECT_EQ(send("devicename", reinterpret_cast<char*>(&buffer)), 0);
  EXPECT_EQ(buffer.name[0], u'\0');

  sendlong("setdevice", 2);
  ASSERT_EQ(playthrough(fixture("short.ogg")), 0);
  EXPECT_EQ(simdevice::deviceid(0), 2u);
  sendlong("setdevice", zelov::anydevice);
  ASSERT_EQ(playthrough(fixture("short.ogg")), 0);
  EXPECT_EQ(simdevice::deviceid(0), WAVE_MAPPER);
  // A device that has gone since it was chosen: the file cannot play.
  sendlong("setdevice", 5);
  EXPECT_EQ(playthrough(fixture("short.ogg")), zelov::resultdeviceopen);
}

class Peak : public EngineTest {};

// The level is the peak of the section being heard, after the volume: 0
// before the device starts, while paused and after the end.
TEST_F(Peak, FollowsTheDevicesPosition) {
  const std::vector<int16_t> ref = reference::decode(fixture("tone.ogg")).samples;
  simdevice::reset(simdevice::mode::manual);
  open(fixture("tone.ogg"));
  ASSERT_TRUE(waituntil(soundready));
  EXPECT_EQ(askdouble("getpeak"), 0.0) << "not started";
  send("resume");
  const std::size_t section = 44100 * 4 / 50;  // bytes of 20 ms
  for (int block = 0; block < 3; ++block) {
    ASSERT_TRUE(waituntil([] { return simdevice::queuedcount() == 2; }));
    const std::size_t at = simdevice::played().size() / sizeof(int16_t);
    int expected = 0;
    for (std::size_t i = at; i < at + section / sizeof(int16_t); ++i) expected = std::max(expected, std::abs(int{ref[i]}));
    EXPECT_EQ(askdouble("getpeak"), expected / 32768.0) << "block " << block;
    EXPECT_GT(expected, 32768 * 0.55);
    ASSERT_TRUE(simdevice::playnext());
  }
  send("pause");
  EXPECT_EQ(askdouble("getpeak"), 0.0) << "paused";
  send("cancel");
  EXPECT_EQ(askdouble("getpeak"), 0.0) << "ended";
}

class Ready : public EngineTest {};

// "waitready" returns once the length and the comments can be read, or the
// run has ended; at once for a stream with no run.
TEST_F(Ready, TheLengthAndCommentsAreThereWhenItReturns) {
  EXPECT_EQ(send("waitready"), 1);
  for (int i = 0; i < 20; ++i) {
    simdevice::reset(simdevice::mode::manual);
    open(fixture("tags.ogg"));
    char wait[4];
    const int32_t ms = 10000;
    std::memcpy(wait, &ms, sizeof ms);
    ASSERT_EQ(send("waitready", wait), 1);
    EXPECT_EQ(askdouble("getduration"), 1.0);
    std::vector<char> tags(zelov::tagbuffersize);
    send("gettags", tags.data());
    EXPECT_NE(tags[0], '\0');
    send("cancel");
  }
  open(fixture("missing.ogg"));
  sendlong("waitready", 10000);
  EXPECT_EQ(send("intreturn2"), zelov::resultcantopen);
}
