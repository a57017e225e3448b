// The control's methods and timer ticks, driven against the real engine on
// the simulated device, with the bridge over the in-memory system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bridge/calls.h"
#include "bridge/deployment.h"
#include "bridge/failure.h"
#include "bridge/link.h"
#include "bridge/ownership.h"
#include "bridge/paths.h"
#include "control/player.h"
#include "engine/protocol.h"
#include "bridge/native/memorysystem.h"
#include "bridge/system.h"
#include "engine/native/simendpoint.h"
#include "engine/native/simhttp.h"
#include "tests/engine/support.h"
#include "tools/fixtures.h"

using namespace control;
using base::wtext;
using memorysystem::now;
using enginetest::fixture;

namespace {

std::string narrow(const wtext& text) { return std::string(text.begin(), text.end()); }

intptr_t engineentry(const char* command, char* text, void* third, void* fourth) {
  return interface1(command, text, third, fourth);
}

// Records every event as a line, and lets a test act inside a handler.
class Recorder : public PlayerHost {
 public:
  std::vector<std::string> events;
  std::function<void(const std::string&)> onevent;
  int32_t newbitrate = -1;  // written into Bitrate by the settings handler when set

  void SetTimer(int, bool) override {}
  void Status(wtext& value) override { add("Status " + narrow(value)); }
  void Finished() override { add("Finished"); }
  void OggVorbisSettings(int32_t& rate, int32_t& bitrate, int32_t& channels, int32_t& version,
                         wtext& vendor) override {
    if (newbitrate >= 0) bitrate = newbitrate;
    add("Settings " + std::to_string(rate) + " " + std::to_string(channels) + " " + std::to_string(version) +
        " " + narrow(vendor));
  }
  void Progress(int32_t& seconds, wtext& text) override {
    add("Progress " + std::to_string(seconds) + " " + narrow(text));
  }
  void TimePosition(int32_t& seconds, wtext& text) override {
    add("TimePosition " + std::to_string(seconds) + " " + narrow(text));
  }
  void ErrorCode(int32_t& number, wtext& description) override {
    add("ErrorCode " + std::to_string(number) + " " + narrow(description));
  }
  void FadeDone() override { add("FadeDone"); }
  void Marker(double& seconds) override { add("Marker " + std::to_string(seconds)); }
  void NearEnd() override { add("NearEnd"); }
  void Queued() override { add("Queued"); }
  void CommentsChanged() override { add("CommentsChanged"); }

  std::vector<std::string> take() { return std::exchange(events, {}); }

 private:
  void add(const std::string& line) {
    events.push_back(line);
    if (onevent) onevent(line);
  }
};

class PlayerTest : public enginetest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    memorysystem::reset();
    bridge::Link() = bridge::LinkState{};
    now().resources[1] = memorysystem::engineimage();
    now().entry = engineentry;
  }
  void TearDown() override {
    bridge::Link() = bridge::LinkState{};
    EngineTest::TearDown();
  }

  // A fixture as the control's file checks see it.
  wtext file(const std::string& name) {
    const std::string path = name.empty() ? std::string() : fixture(name);
    if (!name.empty() && name.find("missing") == std::string::npos) now().files[path].content = {1, 2, 3};
    return base::widen(path.c_str());
  }
  // Ticks Timer3 until it has started the output.
  void startoutput() {
    ASSERT_TRUE(enginetest::waituntil([&] {
      player.Tick(Timer3);
      return !player.TimerEnabled(Timer3);
    }));
  }
  void waitend() { ASSERT_TRUE(enginetest::waituntil(enginetest::workerended)); }
  // On the manual device: plays what is queued until the worker has ended.
  void playout() {
    ASSERT_TRUE(enginetest::waituntil([] {
      simdevice::playnext();
      return enginetest::workerended();
    }));
  }

  Recorder host;
  Player player{host};
};

}  // namespace

TEST_F(PlayerTest, StatusBeforeAnyFileIsStopAndLoadsTheEngine) {
  EXPECT_EQ(player.GetStatus(), u"stop");
  EXPECT_TRUE(bridge::Link().EngineLoaded);
  EXPECT_TRUE(host.events.empty());
}

TEST_F(PlayerTest, APlayedFileEndsWithStopFinishedAndNoError) {
  player.PlayFile(file("stereo44100.ogg"));
  EXPECT_TRUE(player.TimerEnabled(Timer1) && player.TimerEnabled(Timer2) && player.TimerEnabled(Timer3));
  player.Tick(Timer1);
  EXPECT_EQ(host.take(), std::vector<std::string>{"Status playing"});
  startoutput();
  EXPECT_FALSE(simdevice::ispaused());
  waitend();
  player.Tick(Timer2);
  const auto settings = host.take();
  ASSERT_EQ(settings.size(), 3u);
  EXPECT_EQ(settings[0].rfind("Settings 44100 2 0 Xiph.Org libVorbis", 0), 0u) << settings[0];
  EXPECT_EQ(settings[1], "Progress 2 00:00:02");  // the engine counts a second behind
  EXPECT_EQ(settings[2], "TimePosition 3 00:00:03");
  player.Tick(Timer1);
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Status stop", "Finished", "ErrorCode 0 No error"}));
  EXPECT_FALSE(player.TimerEnabled(Timer1));
  EXPECT_FALSE(player.TimerEnabled(Timer2));
  player.Tick(Timer2);  // switched off: no more times
  EXPECT_TRUE(host.events.empty());
}

TEST_F(PlayerTest, OpenFileStaysSilentUntilResumed) {
  player.OpenFile(file("stereo44100.ogg"));
  EXPECT_FALSE(player.TimerEnabled(Timer3));
  ASSERT_TRUE(enginetest::waituntil(enginetest::soundready));
  EXPECT_TRUE(simdevice::ispaused());
  EXPECT_EQ(simdevice::playedbytes(), 0u);
  EXPECT_EQ(player.GetStatus(), u"playing");
  player.ResumePlayback();
  EXPECT_FALSE(simdevice::ispaused());
  waitend();
}

TEST_F(PlayerTest, PauseAndResumeReachTheHostAsStatus) {
  simdevice::reset(simdevice::mode::manual);
  player.PlayFile(file("stereo44100.ogg"));
  player.Tick(Timer1);
  startoutput();
  player.PausePlayback();
  player.Tick(Timer1);
  EXPECT_EQ(player.GetStatus(), u"paused");
  player.ResumePlayback();
  player.Tick(Timer1);
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Status playing", "Status paused", "Status playing"}));
  player.CancelPlayback();
  EXPECT_TRUE(enginetest::workerended());
  EXPECT_FALSE(player.TimerEnabled(Timer1));
  player.Tick(Timer1);
  EXPECT_TRUE(host.events.empty());  // a cancelled file raises nothing
}

TEST_F(PlayerTest, AnEmptyPathCancelsThePlayingFileAndReports3) {
  simdevice::reset(simdevice::mode::manual);
  player.PlayFile(file("stereo44100.ogg"));
  player.OpenFile(u"");
  EXPECT_TRUE(enginetest::workerended());
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Finished", "ErrorCode 3 The input file is empty "}));
  EXPECT_FALSE(player.TimerEnabled(Timer1));
  EXPECT_FALSE(player.TimerEnabled(Timer2));
}

TEST_F(PlayerTest, AnUnreadablePathReports5AndNeverReachesTheEngine) {
  const int calls = [&] { player.GetStatus(); return now().entrycalls; }();
  player.PlayFile(file("missing.ogg"));
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Finished", "ErrorCode 5 The input file or path is invalid"}));
  EXPECT_EQ(now().entrycalls, calls + 1);  // only the "cancel"
  EXPECT_FALSE(player.TimerEnabled(Timer3));
}

TEST_F(PlayerTest, EngineFailuresArriveAsFinishedAndErrors20To29) {
  const std::pair<const char*, const char*> cases[] = {
      {"garbage-large.bin", "ErrorCode 23 Input does not appear to be an Ogg bitstream"},
      {"badversion.ogg", "ErrorCode 24 Error reading first page of Ogg bitstream data"},
      {"partialpacket.ogg", "ErrorCode 25 Error reading initial header packet"},
      {"notvorbis.ogg", "ErrorCode 26 This Ogg bitstream does not contain Vorbis"},
      {"bad-comment.ogg", "ErrorCode 27 Corrupt secondary header"},
      {"cut-codebook.ogg", "ErrorCode 28 End of file before finding all Vorbis headers!"},
      {"empty.ogg", "ErrorCode 0 No error"},
  };
  for (auto [name, error] : cases) {
    SCOPED_TRACE(name);
    player.OpenFile(file(name));
    waitend();
    player.Tick(Timer1);
    auto events = host.take();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "Finished");
    EXPECT_EQ(events.back(), error);
  }
}

TEST_F(PlayerTest, NoDeviceGives29AndAnUnopenableDeviceGives22) {
  simdevice::setdevicecount(0);
  player.PlayFile(file("stereo44100.ogg"));
  waitend();
  player.Tick(Timer1);
  EXPECT_EQ(host.take().back(), "ErrorCode 29 No valid devices in the system");
  simdevice::reset(simdevice::mode::instant);
  simdevice::setopenresult(MMSYSERR_ALLOCATED);
  player.PlayFile(file("stereo44100.ogg"));
  waitend();
  player.Tick(Timer1);
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Status stop", "Finished", "ErrorCode 22 Error opening waveout"}));
}

TEST_F(PlayerTest, TheSameFailureTwiceRaisesNoSecondStatus) {
  for (int round = 0; round < 2; ++round) {
    player.OpenFile(file("garbage-large.bin"));
    waitend();
    player.Tick(Timer1);
  }
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Status stop", "Finished", "ErrorCode 23 Input does not appear to be an Ogg bitstream",
                                                   "Finished", "ErrorCode 23 Input does not appear to be an Ogg bitstream"}));
}

TEST_F(PlayerTest, AfterACancelTheNextFileRaisesNoPlaying) {
  simdevice::reset(simdevice::mode::manual);
  player.PlayFile(file("stereo44100.ogg"));
  player.Tick(Timer1);
  player.CancelPlayback();
  player.PlayFile(file("mono22050.ogg"));
  player.Tick(Timer1);
  EXPECT_EQ(host.take(), std::vector<std::string>{"Status playing"});
  player.CancelPlayback();
}

TEST_F(PlayerTest, SettingsAreRaisedOnlyWhenTheBitrateChanges) {
  for (const char* name : {"stereo44100.ogg", "stereo44100.ogg", "mono22050.ogg"}) {
    player.OpenFile(file(name));
    ASSERT_TRUE(enginetest::waituntil(enginetest::soundready));
    player.Tick(Timer2);
  }
  int settings = 0;
  for (const auto& line : host.take()) settings += line.rfind("Settings", 0) == 0;
  EXPECT_EQ(settings, 2);
}

TEST_F(PlayerTest, AHandlerThatWritesTheBitrateChangesWhatIsRemembered) {
  host.newbitrate = 12345;
  player.OpenFile(file("stereo44100.ogg"));
  ASSERT_TRUE(enginetest::waituntil(enginetest::soundready));
  player.Tick(Timer2);
  EXPECT_EQ(player.LastBitrate, 12345);
  player.Tick(Timer2);  // the stream's own bitrate differs from 12345: raised again
  int settings = 0;
  for (const auto& line : host.take()) settings += line.rfind("Settings", 0) == 0;
  EXPECT_EQ(settings, 2);
}

TEST_F(PlayerTest, CancelledWhilePausedEndsWithoutAnError) {
  simdevice::reset(simdevice::mode::manual);
  player.OpenFile(file("stereo44100.ogg"));
  player.Tick(Timer1);
  player.PausePlayback();
  enginetest::send("cancel");  // ended underneath the control: run state 1
  player.Tick(Timer1);
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Status playing", "Status stop", "Finished"}));
}

TEST_F(PlayerTest, APlaylistDrivenFromFinishedIsMonitored) {
  const wtext second = file("mono22050.ogg");
  bool started = false;
  host.onevent = [&](const std::string& line) {
    if (line == "Finished" && !started) {
      started = true;
      player.PlayFile(second);
    }
  };
  // The manual device: no file can end before the first tick has seen it.
  simdevice::reset(simdevice::mode::manual);
  player.PlayFile(file("short.ogg"));
  player.Tick(Timer1);
  startoutput();
  playout();
  player.Tick(Timer1);
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Status playing", "Status stop", "Finished", "ErrorCode 0 No error"}));
  ASSERT_TRUE(player.TimerEnabled(Timer1) && player.TimerEnabled(Timer2) && player.TimerEnabled(Timer3));
  startoutput();
  player.Tick(Timer1);
  playout();
  player.Tick(Timer1);
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Status playing", "Status stop", "Finished", "ErrorCode 0 No error"}));
}

TEST_F(PlayerTest, ATimer3LeftRunningStartsTheNextOpenedFile) {
  simdevice::reset(simdevice::mode::manual);
  simdevice::setdevicecount(0);
  player.PlayFile(file("stereo44100.ogg"));  // fails before any sound
  waitend();
  EXPECT_TRUE(player.TimerEnabled(Timer3));
  simdevice::setdevicecount(1);
  player.OpenFile(file("stereo44100.ogg"));
  ASSERT_TRUE(enginetest::waituntil(enginetest::soundready));
  EXPECT_TRUE(simdevice::ispaused());
  startoutput();
  EXPECT_FALSE(simdevice::ispaused());
  player.CancelPlayback();
}

TEST_F(PlayerTest, ATickIsNotReenteredFromItsOwnHandler) {
  int nested = 0;
  host.onevent = [&](const std::string& line) {
    if (line.rfind("Progress", 0) == 0 && nested++ == 0) player.Tick(Timer2);
  };
  player.OpenFile(file("stereo44100.ogg"));
  player.Tick(Timer2);
  int progress = 0;
  for (const auto& line : host.take()) progress += line.rfind("Progress", 0) == 0;
  EXPECT_EQ(progress, 1);
  player.CancelPlayback();
}

TEST_F(PlayerTest, DeploymentFailureFailsTheMethodAndSkipsTheTick) {
  now().readonlyfolders.insert(now().temp);
  EXPECT_THROW(player.PlayFile(file("stereo44100.ogg")), bridge::AutomationError);
  EXPECT_TRUE(host.events.empty());
}

TEST_F(PlayerTest, WithoutAnEngineAnOpenedFileEndsAtOnceWithUnexpectedError) {
  now().resources[1] = {'n', 'o', 'p', 'e'};
  EXPECT_EQ(player.GetStatus(), u"stop");
  EXPECT_EQ(now().messageboxes.size(), 2u);  // once loading, once calling
  player.PlayFile(file("stereo44100.ogg"));
  EXPECT_EQ(now().messageboxes.size(), 4u);  // the method's own two, no more
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Finished", "ErrorCode 255 Unexpected error"}));
  for (int timer : {Timer1, Timer2, Timer3}) EXPECT_FALSE(player.TimerEnabled(timer));
  // A deployment mended meanwhile is found by the next method.
  now().resources[1] = memorysystem::engineimage();
  player.PlayFile(file("stereo44100.ogg"));
  EXPECT_EQ(now().messageboxes.size(), 4u);
  EXPECT_TRUE(player.TimerEnabled(Timer1));
  waitend();
  player.Tick(Timer1);
  EXPECT_EQ(host.take().back(), "ErrorCode 0 No error");
}

TEST_F(PlayerTest, PlayFileIsHeardWithoutATickAndAPauseRightAfterItHolds) {
  simdevice::reset(simdevice::mode::manual);
  player.PlayFile(file("stereo44100.ogg"));
  ASSERT_TRUE(enginetest::waituntil(enginetest::soundready));
  ASSERT_TRUE(simdevice::waitfor([] { return simdevice::isopen() && !simdevice::ispaused(); }));
  EXPECT_TRUE(player.TimerEnabled(Timer3));  // it still runs, as hosts expect

  player.PausePlayback();
  EXPECT_TRUE(simdevice::ispaused());
  player.Tick(Timer3);
  EXPECT_FALSE(player.TimerEnabled(Timer3));
  EXPECT_TRUE(simdevice::ispaused());
  EXPECT_EQ(player.GetStatus(), u"paused");
  player.CancelPlayback();
}

TEST_F(PlayerTest, AFileStartedFromTheStatusHandlerIsMonitored) {
  const wtext second = file("mono22050.ogg");
  bool started = false;
  host.onevent = [&](const std::string& line) {
    if (line == "Status stop" && !started) {
      started = true;
      player.PlayFile(second);
    }
  };
  // The manual device: no file can end before the first tick has seen it.
  simdevice::reset(simdevice::mode::manual);
  player.PlayFile(file("short.ogg"));
  player.Tick(Timer1);
  playout();
  player.Tick(Timer1);
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Status playing", "Status stop", "Finished", "ErrorCode 0 No error"}));
  ASSERT_TRUE(player.TimerEnabled(Timer1) && player.TimerEnabled(Timer2));
  player.Tick(Timer1);
  playout();
  player.Tick(Timer1);
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Status playing", "Status stop", "Finished", "ErrorCode 0 No error"}));
}

TEST_F(PlayerTest, AControlReportsOnlyItsOwnFile) {
  simdevice::reset(simdevice::mode::manual);
  Recorder otherhost;
  Player other{otherhost};
  player.PlayFile(file("stereo44100.ogg"));
  player.Tick(Timer1);
  other.PlayFile(file("mono22050.ogg"));  // cuts the first control's file short

  player.Tick(Timer2);
  player.Tick(Timer1);
  EXPECT_EQ(host.take(), (std::vector<std::string>{"Status playing", "Finished", "ErrorCode 255 Unexpected error"}));
  EXPECT_FALSE(player.TimerEnabled(Timer1) || player.TimerEnabled(Timer2));
  EXPECT_EQ(player.GetStatus(), u"stop");
  // Nor may it hold or end the other's file.
  player.PausePlayback();
  player.CancelPlayback();
  EXPECT_EQ(other.GetStatus(), u"playing");

  other.Tick(Timer1);
  EXPECT_EQ(otherhost.take(), std::vector<std::string>{"Status playing"});
  other.CancelPlayback();
  EXPECT_TRUE(enginetest::workerended());
}

TEST_F(PlayerTest, TheLastControlOfAThreadLeavesAnotherThreadsPlaybackAlone) {
  simdevice::reset(simdevice::mode::manual);
  bridge::AttachControl();
  player.PlayFile(file("stereo44100.ogg"));
  std::thread([] {
    bridge::AttachControl();
    bridge::EnsureEngineLoaded(false);
    bridge::DetachControl();
  }).join();
  EXPECT_EQ(player.GetStatus(), u"playing");
  bridge::DetachControl();  // this thread's own playback is cancelled
  EXPECT_TRUE(enginetest::workerended());
}

TEST_F(PlayerTest, APathTheCodePageCannotCarryPlaysByItsWideName) {
  // A real file with such a name, on a file system without short names.
  const std::string named = testing::TempDir() + "\u041c\u0443\u0437\u044b\u043a\u0430 \u4e2d\u6587.ogg";
  ASSERT_TRUE(fixtures::writefile(named, [] {
    fixtures::sound sound;
    sound.seconds = 0.5;
    return fixtures::encode(sound).data;
  }()));
  const std::u16string wide = std::u16string(named.begin(), named.end() - std::string("\u041c\u0443\u0437\u044b\u043a\u0430 \u4e2d\u6587.ogg").size()) +
                              u"\u041c\u0443\u0437\u044b\u043a\u0430 \u4e2d\u6587.ogg";
  const wtext path(wide.data(), wide.size());
  now().files[std::string(bridge::sys::toansi(path).c_str())].content = {1, 2, 3};
  player.PlayFile(path);
  waitend();
  player.Tick(Timer1);
  EXPECT_EQ(host.take().back(), "ErrorCode 0 No error");
  EXPECT_GT(simdevice::writes().size(), 0u);
}

// A long file played to its end: its last times give its whole length, with
// nothing wrapped. 120 s of 8 kHz mono by default; ZEL_LONG_SECONDS=7200
// makes it the two-hour file.
TEST_F(PlayerTest, ALongFileReportsItsWholeLength) {
  const char* wanted = std::getenv("ZEL_LONG_SECONDS");
  const int seconds = wanted ? std::atoi(wanted) : 120;
  fixtures::sound sound;
  sound.rate = 8000;
  sound.channels = 1;
  sound.seconds = seconds;
  sound.quality = -0.1f;
  const std::string path = testing::TempDir() + "long-" + std::to_string(seconds) + ".ogg";
  ASSERT_TRUE(fixtures::writefile(path, fixtures::encode(sound).data));
  now().files[path].content = {1, 2, 3};
  const auto hms = [](int t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
    return std::string(text);
  };

  player.PlayFile(base::widen(path.c_str()));
  waitend();
  player.Tick(Timer2);
  player.Tick(Timer1);
  const auto events = host.take();
  ASSERT_EQ(events.size(), 5u) << ::testing::PrintToString(events);  // no Status: the first tick sees the end
  EXPECT_EQ(events[1], "Progress " + std::to_string(seconds - 1) + " " + hms(seconds - 1));
  EXPECT_EQ(events[2], "TimePosition " + std::to_string(seconds) + " " + hms(seconds));
  EXPECT_EQ(events.back(), "ErrorCode 0 No error");
}

// What a simulated sound card was given, as 16-bit samples from its first
// sounding frame on, and a decode likewise.
std::vector<int16_t> cardsound(const std::u16string& card) {
  return enginetest::sounding(enginetest::asint16(simendpoint::captured(card)), true);
}
std::vector<int16_t> sounding(const std::vector<int16_t>& samples) { return enginetest::sounding(samples, true); }

// ZelOggPlayEx: each control plays on a stream of its own, beside the
// others of either class, mixed on its sound card. The volume is the
// control's, kept from file to file and heard in its own sound only; the
// device's volume (on Windows the whole program's) is never touched.
TEST_F(PlayerTest, ExtendedControlsPlayOnStreamsOfTheirOwnBesideTheOthers) {
  simdevice::reset(simdevice::mode::manual);
  simendpoint::addcard(u"card-b", u"Headphones (Simulated Audio)", 44100, 2);
  Recorder exhost, otherhost;
  Player ex{exhost, true}, other{otherhost, true};
  EXPECT_FALSE(ex.SetVolume(101));
  EXPECT_FALSE(ex.SetVolume(-1));
  EXPECT_EQ(ex.Volume(), 100);
  EXPECT_TRUE(ex.SetVolume(50));  // before any file: kept for the next
  EXPECT_EQ(ex.GetStatus(), u"stop");
  EXPECT_EQ(ex.Duration(), 0.0);
  EXPECT_TRUE(ex.Tags().empty());
  ASSERT_TRUE(other.SetDevice(1));  // each on a card of its own, heard alone

  ex.OpenFile(file("tags.ogg"));       // stream 1
  other.OpenFile(file("short.ogg"));   // stream 2
  player.OpenFile(file("stereo44100.ogg"));  // a ZelOggPlay, on the default stream
  ASSERT_TRUE(enginetest::waituntil([&] { return simdevice::opendevices() == 1; }));
  EXPECT_EQ(ex.Tag(u"artist"), wtext(u"First; Second"));
  EXPECT_EQ(ex.Duration(), 1.0);
  EXPECT_DOUBLE_EQ(other.Duration(), 0.2);
  other.PausePlayback();
  EXPECT_EQ(ex.GetStatus(), u"playing");
  EXPECT_EQ(player.GetStatus(), u"playing");
  for (Player* p : {&ex, &other, &player}) p->ResumePlayback();
  ASSERT_TRUE(enginetest::waituntil([&] {
    simdevice::playnext();
    return ex.GetStatus() == u"stop" && other.GetStatus() == u"stop" && player.GetStatus() == u"stop";
  }));
  for (Player* p : {&ex, &other, &player}) p->Tick(Timer1);
  for (Recorder* h : {&exhost, &otherhost, &host}) EXPECT_EQ(h->take().back(), "ErrorCode 0 No error");

  const std::vector<int16_t> tags = sounding(reference::decode(fixture("tags.ogg")).samples);
  const std::vector<int16_t> halved = cardsound(u"card-a");
  ASSERT_GE(halved.size(), tags.size());
  std::size_t off = 0;
  for (std::size_t i = 0; i < tags.size(); ++i) off += std::abs(halved[i] - tags[i] / 2) > 1;
  EXPECT_EQ(off, 0u) << "the control's volume, in its own sound";
  const std::vector<int16_t> shortsound = sounding(reference::decode(fixture("short.ogg")).samples);
  const std::vector<int16_t> onb = cardsound(u"card-b");
  ASSERT_GE(onb.size(), shortsound.size());
  EXPECT_TRUE(std::equal(shortsound.begin(), shortsound.end(), onb.begin())) << "at volume 100, exactly as decoded";
  EXPECT_TRUE(std::all_of(onb.begin() + static_cast<long>(shortsound.size()), onb.end(), [](int16_t v) { return v == 0; }));
  auto samples = [](DWORD_PTR stream) {
    const std::vector<uint8_t> bytes = simdevice::played(stream);
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
  };
  EXPECT_EQ(samples(0), reference::decode(fixture("stereo44100.ogg")).samples);
  EXPECT_EQ(simdevice::volumecalls(), 0);

  // Muted, the next file of the same control is silent, its volume kept.
  const std::size_t before = simendpoint::captured(u"card-a").size();
  ex.SetMute(true);
  ex.PlayFile(file("short.ogg"));
  ASSERT_TRUE(enginetest::waituntil([&] { return ex.GetStatus() == u"stop"; }));
  const std::vector<float> all = simendpoint::captured(u"card-a");
  ASSERT_GT(all.size(), before);
  EXPECT_TRUE(std::all_of(all.begin() + static_cast<long>(before), all.end(), [](float v) { return v == 0; }));
  EXPECT_EQ(ex.Volume(), 50);
}

// A control of its own stream returns from the open with the length and
// the comments known, from a file or from its bytes; its loop and card go
// to its stream before the file opens and are kept from file to file. Its
// cards are those Windows lists, by their full names and by their ids.
TEST_F(PlayerTest, ExtendedControlsKnowTheFileWhenTheOpenReturnsAndKeepTheirSettings) {
  const std::u16string longname = u"Headphones (High Definition Audio Device on the Front Panel Jack)";
  simendpoint::addcard(u"card-b", longname, 44100, 2);
  Recorder exhost;
  Player ex{exhost, true};
  EXPECT_EQ(ex.PeakLevel(), 0.0);
  EXPECT_EQ(ex.DeviceCount(), 2);
  EXPECT_FALSE(ex.SetDevice(2));
  EXPECT_FALSE(ex.SetDevice(-2));
  EXPECT_TRUE(ex.SetDevice(1));
  EXPECT_EQ(ex.DeviceId(), wtext(u"card-b"));
  EXPECT_FALSE(ex.SetDeviceId(u"no-such-card"));
  EXPECT_EQ(ex.Device(), 1) << "nothing changed";
  EXPECT_TRUE(ex.SetDeviceId(u"card-a"));
  EXPECT_EQ(ex.Device(), 0);
  EXPECT_TRUE(ex.SetDeviceId(u"card-b"));
  EXPECT_EQ(ex.Device(), 1);
  ex.SetLoop(true);
  wtext name;
  EXPECT_TRUE(ex.DeviceName(1, name));
  EXPECT_EQ(name, wtext(longname.c_str())) << "the whole name";
  EXPECT_FALSE(ex.DeviceName(2, name));
  for (int i = 0; i < 10; ++i) {
    ex.OpenFile(file("tags.ogg"));
    EXPECT_EQ(ex.Duration(), 1.0);
    EXPECT_EQ(ex.Tag(u"artist"), wtext(u"First; Second"));
  }
  FILE* f = std::fopen(fixture("short.ogg").c_str(), "rb");
  ASSERT_TRUE(f);
  std::vector<char> bytes(1 << 20);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  ex.PlayMemory(bytes.data(), bytes.size());
  EXPECT_DOUBLE_EQ(ex.Duration(), 0.2);
  ASSERT_TRUE(enginetest::waituntil([&] { return cardsound(u"card-b").size() > 3 * 0.2 * 44100 * 2; }))
      << "the card and the loop chosen before the first file";
  EXPECT_TRUE(cardsound(u"card-a").empty());
  EXPECT_EQ(ex.GetStatus(), u"playing");
  ex.SetLoop(false);
  ASSERT_TRUE(enginetest::waituntil([&] { return ex.GetStatus() == u"stop"; }));
  ex.Tick(Timer1);
  EXPECT_EQ(exhost.take().back(), "ErrorCode 0 No error");
}

// Pan and Rate chosen before the first file are heard in it and kept for
// the next; out of their ranges they change nothing. At rate 2 the file
// takes half its time, while its length stays the file's.
TEST_F(PlayerTest, ExtendedControlsPanAndRateTheirSoundFromFileToFile) {
  Recorder exhost;
  Player ex{exhost, true};
  EXPECT_EQ(ex.Pan(), 0.0);
  EXPECT_EQ(ex.Rate(), 1.0);
  EXPECT_FALSE(ex.SetPan(1.5));
  EXPECT_FALSE(ex.SetPan(std::nan("")));
  EXPECT_FALSE(ex.SetRate(0.2));
  EXPECT_FALSE(ex.SetRate(std::numeric_limits<double>::infinity()));
  EXPECT_TRUE(ex.SetPan(-1));
  EXPECT_TRUE(ex.SetRate(2));
  EXPECT_EQ(ex.Pan(), -1.0);
  EXPECT_EQ(ex.Rate(), 2.0);
  const std::size_t whole = enginetest::sounding(reference::decode(fixture("short.ogg")).samples).size();
  for (int round = 0; round < 2; ++round) {
    simendpoint::reset();
    ex.PlayFile(file("short.ogg"));
    EXPECT_DOUBLE_EQ(ex.Duration(), 0.2);
    ASSERT_TRUE(enginetest::waituntil([&] { return ex.GetStatus() == u"stop"; }));
    const std::vector<int16_t> heard = cardsound(u"card-a");
    EXPECT_NEAR(static_cast<double>(heard.size()), whole / 2.0, whole * 0.05) << "half the time, file " << round;
    bool rightsilent = true;
    for (std::size_t i = 1; i < heard.size(); i += 2) rightsilent = rightsilent && heard[i] == 0;
    EXPECT_TRUE(rightsilent) << "all to the left, file " << round;
  }
}

// A fade slides the sound to its volume and FadeDone follows at its end,
// the volume reading its target at once; a Volume put during a fade wins
// (no FadeDone); FadeOutAndStop ends the file after its fade, the volume
// kept for the next.
TEST_F(PlayerTest, ExtendedControlsFadeAndSayWhenTheFadeIsDone) {
  Recorder exhost;
  Player ex{exhost, true};
  EXPECT_FALSE(ex.FadeTo(101, 100));
  EXPECT_FALSE(ex.FadeTo(50, -1));
  EXPECT_FALSE(ex.FadeOutAndStop(zelov::fademost + 1));
  ex.SetLoop(true);
  ex.PlayFile(file("stereo44100.ogg"));
  ASSERT_TRUE(enginetest::waituntil([&] { return cardsound(u"card-a").size() > 44100; }));
  exhost.take();
  ASSERT_TRUE(ex.FadeTo(0, 300));
  EXPECT_EQ(ex.Volume(), 0);
  const auto faded = [&] {
    ex.Tick(Timer3);
    return !exhost.events.empty();
  };
  ASSERT_TRUE(enginetest::waituntil(faded));
  EXPECT_EQ(exhost.take(), std::vector<std::string>{"FadeDone"});
  EXPECT_EQ(ex.GetStatus(), u"playing");
  const std::size_t quiet = simendpoint::captured(u"card-a").size();
  ASSERT_TRUE(enginetest::waituntil([&] { return simendpoint::captured(u"card-a").size() > quiet + 2 * 4410; }));
  const std::vector<float> after = simendpoint::captured(u"card-a");
  EXPECT_TRUE(std::all_of(after.begin() + static_cast<long>(quiet), after.end(), [](float v) { return v == 0; }))
      << "silent after the fade";

  ASSERT_TRUE(ex.FadeTo(100, 500));
  EXPECT_TRUE(ex.SetVolume(50));
  for (int i = 0; i < 70; ++i) {
    ex.Tick(Timer3);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(exhost.take().empty()) << "the put won: no FadeDone";

  ASSERT_TRUE(ex.FadeOutAndStop(200));
  ASSERT_TRUE(enginetest::waituntil(faded));
  EXPECT_EQ(exhost.take(), std::vector<std::string>{"FadeDone"});
  EXPECT_TRUE(enginetest::waituntil([&] { return ex.GetStatus() == u"stop"; }));
  EXPECT_EQ(ex.Volume(), 50) << "kept for the next file";
}

// Markers are raised as the sound at their time is heard, within a tick of
// the quick timer; several passed within one tick give one event, for the
// latest (a flood of them does not flood the host); NearEnd comes once as
// the end nears. Out-of-range times change nothing.
TEST_F(PlayerTest, ExtendedControlsRaiseMarkersAndNearEndAsTheSoundIsHeard) {
  Recorder exhost;
  Player ex{exhost, true};
  EXPECT_FALSE(ex.AddMarker(-0.5));
  EXPECT_FALSE(ex.AddMarker(std::nan("")));
  EXPECT_FALSE(ex.SetNearEndSeconds(-1));
  ex.OpenFile(file("stereo44100.ogg"));
  EXPECT_FALSE(ex.AddMarker(3.5)) << "past the file's 3 s";
  for (double at : {0.5, 1.0, 2.0}) EXPECT_TRUE(ex.AddMarker(at));
  for (int i = 0; i < 10000; ++i) EXPECT_TRUE(ex.AddMarker(2.5 + i * 0.00002));  // a flood within 0.2 s
  EXPECT_TRUE(ex.SetNearEndSeconds(0.5));
  std::vector<std::pair<std::string, double>> seen;
  exhost.onevent = [&](const std::string& e) { seen.emplace_back(e, ex.Position()); };
  ex.ResumePlayback();
  int ticks = 0;
  while (ex.GetStatus() != u"stop" && ticks < 1000) {
    ex.Tick(Timer3);
    ++ticks;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::vector<double> markers;
  int nearend = 0, flood = 0;
  for (const auto& [event, heard] : seen) {
    if (event == "NearEnd") {
      ++nearend;
      EXPECT_NEAR(heard, 2.5, 0.1) << "as the last half second begins";
    }
    if (event.rfind("Marker ", 0) != 0) continue;
    const double at = std::stod(event.substr(7));
    if (at >= 2.5) ++flood;
    else markers.push_back(at);
    EXPECT_GE(heard, at) << event << ": not before it is heard";
    EXPECT_LT(heard - at, 0.1) << event << ": within a tick or so";
  }
  EXPECT_EQ(markers, (std::vector<double>{0.5, 1.0, 2.0}));
  EXPECT_EQ(nearend, 1);
  EXPECT_GE(flood, 1);
  EXPECT_LE(flood, 0.3 / 0.02) << "no more than a tick's worth";
}

TEST_F(PlayerTest, BeyondTheStreamLimitAFileEndsAtOnceWith30) {
  simdevice::reset(simdevice::mode::manual);
  std::vector<std::unique_ptr<Recorder>> hosts;
  std::vector<std::unique_ptr<Player>> players;
  for (int i = 0; i <= zelov::maxstreams; ++i) {
    hosts.push_back(std::make_unique<Recorder>());
    players.push_back(std::make_unique<Player>(*hosts.back(), true));
    players.back()->OpenFile(file("short.ogg"));
  }
  for (int i = 0; i < zelov::maxstreams; ++i) EXPECT_TRUE(hosts[i]->events.empty()) << i;
  EXPECT_EQ(hosts.back()->take(), (std::vector<std::string>{"Finished", "ErrorCode 30 Too many sounds playing at once"}));
  EXPECT_FALSE(players.back()->TimerEnabled(Timer1));
  // One gives its stream back: the next file of the last one plays.
  players.front().reset();
  players.back()->OpenFile(file("short.ogg"));
  EXPECT_TRUE(hosts.back()->events.empty());
  EXPECT_TRUE(players.back()->TimerEnabled(Timer1));
}

// A queued file begins on the sample after the last of the one before (a
// mono file after a stereo one here): the card hears the two decodes back
// to back. Queued says so, the control then speaks of the new file, and
// Finished comes once, at the end of the last. A queued file that cannot be
// opened lets the one playing end whole and then ends the control with its
// error; a CrossFade out of range changes nothing.
TEST_F(PlayerTest, ExtendedControlsPlayAQueuedFileOnTheNextSampleAndThenSpeakOfIt) {
  Recorder exhost;
  Player ex{exhost, true};
  EXPECT_FALSE(ex.SetCrossFade(-1));
  EXPECT_FALSE(ex.SetCrossFade(61));
  EXPECT_FALSE(ex.SetCrossFade(std::nan("")));
  EXPECT_EQ(ex.CrossFade(), 0.0);
  const auto tickuntil = [&](const char* event) {
    return enginetest::waituntil([&] {
      ex.Tick(Timer1);
      ex.Tick(Timer3);
      return std::find(exhost.events.begin(), exhost.events.end(), event) != exhost.events.end();
    });
  };
  const auto count = [&](const char* event) { return std::count(exhost.events.begin(), exhost.events.end(), event); };

  simendpoint::reset();
  ex.PlayFile(file("short.ogg"));
  ex.QueueFile(file("mono44100.ogg"));
  EXPECT_DOUBLE_EQ(ex.Duration(), 0.2) << "the file playing, until the queued one begins";
  // The host's timer comes late, once the first file's run has ended.
  ASSERT_TRUE(enginetest::waituntil([&] { return cardsound(u"card-a").size() > 2 * 44100 / 2; }));
  ASSERT_TRUE(tickuntil("Queued"));
  EXPECT_EQ(count("Finished"), 0);
  EXPECT_EQ(std::count_if(exhost.events.begin(), exhost.events.end(),
                          [](const std::string& e) { return e.rfind("ErrorCode", 0) == 0; }),
            0) << "the first file's end is not the control's";
  EXPECT_NEAR(ex.Duration(), reference::decode(fixture("mono44100.ogg")).samples.size() / 44100.0, 1e-3);
  ASSERT_TRUE(tickuntil("Finished"));
  EXPECT_EQ(count("Queued"), 1);
  EXPECT_EQ(count("Finished"), 1);
  EXPECT_EQ(std::count_if(exhost.events.begin(), exhost.events.end(),
                          [](const std::string& e) { return e.rfind("ErrorCode", 0) == 0 && e != "ErrorCode 0 No error"; }),
            0);
  std::vector<int16_t> expected = sounding(reference::decode(fixture("short.ogg")).samples);
  for (int16_t s : reference::decode(fixture("mono44100.ogg")).samples) expected.insert(expected.end(), {s, s});
  std::vector<int16_t> heard = cardsound(u"card-a");
  ASSERT_GE(heard.size(), expected.size());
  heard.resize(expected.size());
  EXPECT_TRUE(heard == expected) << "not a sample between them, nor one lost";

  exhost.take();
  simendpoint::reset();
  ex.PlayFile(file("short.ogg"));
  ex.QueueFile(file("missing.ogg"));
  ASSERT_TRUE(tickuntil("Finished"));
  ASSERT_TRUE(enginetest::waituntil([&] { return ex.GetStatus() == u"stop"; }));
  EXPECT_EQ(count("Queued"), 0);
  EXPECT_EQ(exhost.events.back(), "ErrorCode 5 The input file or path is invalid");
  const std::vector<int16_t> first = sounding(reference::decode(fixture("short.ogg")).samples);
  heard = cardsound(u"card-a");
  ASSERT_GE(heard.size(), first.size());
  EXPECT_TRUE(std::equal(first.begin(), first.end(), heard.begin())) << "the one playing ends whole";

  // One that is there but not Ogg: no Queued, its 23 at the end.
  exhost.take();
  ex.PlayFile(file("short.ogg"));
  ex.QueueFile(file("garbage-large.bin"));
  ASSERT_TRUE(tickuntil("Finished"));
  ASSERT_TRUE(enginetest::waituntil([&] { return ex.GetStatus() == u"stop"; }));
  EXPECT_EQ(count("Queued"), 0);
  EXPECT_EQ(exhost.events.back(), "ErrorCode 23 Input does not appear to be an Ogg bitstream");
}

// A file from a web server (the tests' scripted one) plays as a file does:
// its length when PlayUrl returns, every sample of it heard, CommentsChanged
// as its second link begins; a server's refusal ends it with 32 and the
// status; BufferSeconds out of range changes nothing.
TEST_F(PlayerTest, ExtendedControlsPlayAFileFromAWebServerAndSayWhyOneFails) {
  Recorder exhost;
  Player ex{exhost, true};
  EXPECT_FALSE(ex.SetBufferSeconds(0.05));
  EXPECT_FALSE(ex.SetBufferSeconds(std::nan("")));
  EXPECT_EQ(ex.BufferSeconds(), 1.0);
  std::FILE* f = std::fopen(fixture("chained.ogg").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  simhttp::server server;
  for (int c; (c = std::fgetc(f)) != EOF;) server.body.push_back(static_cast<char>(c));
  std::fclose(f);
  simhttp::serve(u"http://files.test/chained.ogg", server);
  simendpoint::reset();
  ex.PlayUrl(u"http://files.test/chained.ogg");
  EXPECT_DOUBLE_EQ(ex.Duration(), 4.0);
  ASSERT_TRUE(enginetest::waituntil([&] {
    ex.Tick(Timer1);
    return !exhost.events.empty() && exhost.events.back().rfind("ErrorCode", 0) == 0;
  }));
  EXPECT_EQ(exhost.events.back(), "ErrorCode 0 No error");
  EXPECT_EQ(std::count(exhost.events.begin(), exhost.events.end(), "CommentsChanged"), 1);

  simhttp::server missing;
  missing.status = 404;
  simhttp::serve(u"http://files.test/missing.ogg", missing);
  exhost.take();
  ex.PlayUrl(u"http://files.test/missing.ogg");
  ASSERT_TRUE(enginetest::waituntil([&] {
    ex.Tick(Timer1);
    return !exhost.events.empty() && exhost.events.back().rfind("ErrorCode", 0) == 0;
  }));
  EXPECT_EQ(exhost.events.back(), "ErrorCode 32 The server refused the request (HTTP 404)");
  simhttp::reset();
}

// A station of a lower bitrate than 128 kbit/s (48 kbit/s mono) sounds once
// its headers and BufferSeconds of it at its own rate are in, not the bytes
// of a second at 128 kbit/s; what came with the headers in the server's
// first burst is not played before the rest of that second, and then it
// plays on without a break.
TEST_F(PlayerTest, AStationSoundsOnceItsBufferIsInAtItsOwnRate) {
  fixtures::sound sound;
  sound.seconds = 8;
  sound.channels = 1;
  sound.quality = 0.0f;
  const fixtures::stream encoded = fixtures::encode(sound);
  const double persecond = static_cast<double>(encoded.data.size() - encoded.audiostart) / sound.seconds;
  ASSERT_LT(persecond * 8, 80000) << "a lower bitrate";
  simhttp::server station;
  station.body.assign(encoded.data.begin(), encoded.data.end());
  station.length = station.ranges = false;
  station.station = true;
  station.bytespersecond = static_cast<uint32_t>(persecond);
  // Its first burst: the headers and the whole pages of some 0.4 s.
  station.burst = *std::find_if(encoded.audiopages.begin(), encoded.audiopages.end(),
                                [&](std::size_t at) { return at >= encoded.audiostart + 0.4 * persecond; });
  const std::u16string url = u"http://radio.test/low.ogg";
  simhttp::serve(url, station);
  simendpoint::reset();
  Recorder exhost;
  Player ex{exhost, true};
  ex.PlayUrl(u"http://radio.test/low.ogg");
  ASSERT_TRUE(enginetest::waituntil([&] { return !cardsound(u"card-a").empty(); }));
  const double buffered = static_cast<double>(simhttp::served(url)) - static_cast<double>(encoded.audiostart);
  EXPECT_GT(buffered, 0.85 * persecond) << "its second's worth is waited for";
  EXPECT_LT(buffered, 1.6 * persecond) << "and no more";
  ASSERT_TRUE(enginetest::waituntil([&] { return cardsound(u"card-a").size() > 2 * 44100 * 2; }));
  const std::vector<int16_t> heard = cardsound(u"card-a");
  std::size_t silent = 0, longest = 0;
  for (std::size_t i = 0; i + 1 < 2 * 44100 * 2; i += 2) {
    silent = heard[i] == 0 && heard[i + 1] == 0 ? silent + 1 : 0;
    longest = std::max(longest, silent);
  }
  // A break of the buffer's time gathered behind the first sound is what
  // is looked for; a decoder slowed by the sanitizers on a busy machine
  // may leave a few milliseconds.
  EXPECT_LT(longest, 8820u) << "two seconds without a break of 0.2 s";
  ex.CancelPlayback();
  simhttp::reset();
}
