#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "bridge/calls.h"
#include "bridge/deployment.h"
#include "bridge/failure.h"
#include "bridge/link.h"
#include "bridge/ownership.h"
#include "bridge/paths.h"
#include "bridge/native/memorysystem.h"

using namespace bridge;
using memorysystem::now;

namespace {

// A stand-in engine entry that answers "gettimestring" like the engine and
// remembers what it was given.
std::vector<std::string> received;
std::vector<std::string> words;  // every command, in order
std::u16string receivedwide;  // the text of "openwide"
intptr_t fakeentry(const char* command, char* text, void* third, void* fourth) {
  received = {command, text ? text : "", static_cast<const char*>(third)};
  words.push_back(command);
  if (std::strcmp(command, "openwide") == 0) receivedwide = reinterpret_cast<const char16_t*>(text);
  if (std::strcmp(command, "gettimestring") == 0) std::memcpy(text, "00:01:02", 9);
  if (std::strcmp(command, "open") == 0) received.push_back(static_cast<const char*>(fourth));
  return 77;
}

const std::string Folder = "C:\\Users\\me\\Temp\\ZelSoftware\\";
const std::string Deployed = Folder + "zelov.dll";

class Bridge : public ::testing::Test {
 protected:
  void SetUp() override {
    memorysystem::reset();
    Link() = LinkState{};
    now().resources[1] = memorysystem::engineimage();
    now().entry = fakeentry;
  }
  void TearDown() override { Link() = LinkState{}; }
  static void ensure() { EnsureEngineLoaded(false); }
};

}  // namespace

TEST_F(Bridge, FirstUseCreatesTheFolderWritesTheEngineAndLoadsIt) {
  ensure();
  EXPECT_TRUE(now().folders.count(Folder));
  ASSERT_TRUE(now().files.count(Deployed));
  EXPECT_EQ(now().files[Deployed].content, now().resources[1]);
  EXPECT_TRUE(Link().EngineLoaded);
  EXPECT_EQ(Link().EnginePath, Deployed.c_str());
  EXPECT_EQ(now().loads[Deployed], 1);
  EXPECT_NE(Link().EngineEntry, nullptr);
  EXPECT_TRUE(now().messageboxes.empty());
}

TEST_F(Bridge, CreatesEveryMissingFolderOfTheChain) {
  now().temp = "C:\\Users\\me\\Temp\\a\\b";  // no trailing backslash, two folders missing
  ensure();
  EXPECT_TRUE(now().folders.count("C:\\Users\\me\\Temp\\a\\"));
  EXPECT_EQ(Link().EnginePath, "C:\\Users\\me\\Temp\\a\\b\\ZelSoftware\\zelov.dll");
  EXPECT_TRUE(Link().EngineLoaded);
}

TEST_F(Bridge, AnIdenticalDeployedFileIsLeftUntouched) {
  now().folders.insert(Folder);
  now().files[Deployed].content = now().resources[1];
  ensure();
  EXPECT_EQ(now().files[Deployed].writes, 0);
  EXPECT_TRUE(Link().EngineLoaded);
}

TEST_F(Bridge, ADeployedFileThatDiffersAnywhereIsRewritten) {
  const auto image = now().resources[1];
  auto changed = image;
  changed[3000] ^= 1;
  auto longer = image;
  longer.push_back(0);
  auto shorter = image;
  shorter.pop_back();
  for (const auto& content : {changed, longer, shorter, sys::bytes{}}) {
    SCOPED_TRACE(content.size());
    Link() = LinkState{};
    now().folders.insert(Folder);
    now().files[Deployed] = memorysystem::file{content};
    ensure();
    EXPECT_EQ(now().files[Deployed].content, image);
    EXPECT_EQ(now().files[Deployed].writes, 1);
    EXPECT_TRUE(Link().EngineLoaded);
  }
}

TEST_F(Bridge, AFolderThatCannotBeMadeFailsWith5001) {
  now().readonlyfolders.insert("C:\\Users\\me\\Temp\\");
  try {
    ensure();
    FAIL() << "no failure raised";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, 5001);
    EXPECT_EQ(e.description, u"Unexpected error , please contact the developer support@zel.example");
  }
  EXPECT_EQ(Link().EnginePath, Deployed.c_str());
  EXPECT_FALSE(Link().EngineLoaded);
  EXPECT_EQ(Link().EngineModule, nullptr);
}

TEST_F(Bridge, AnUnreadableDeployedFileFailsWith5001) {
  now().folders.insert(Folder);
  now().files[Deployed].content = now().resources[1];
  now().files[Deployed].unreadable = true;
  EXPECT_THROW(ensure(), AutomationError);
  EXPECT_FALSE(Link().EngineLoaded);
}

TEST_F(Bridge, NoTemporaryFolderFailsWith5001) {
  now().temp.clear();
  EXPECT_THROW(ensure(), AutomationError);
}

TEST_F(Bridge, OnlyTheCarriedEngineIsLoadedAndOnlyWhileItIsHeld) {
  // Another program holds a library of its own in the engine's place:
  // neither delete nor write works, and it is never loaded.
  const auto foreign = memorysystem::engineimage(4096, 9);
  now().folders.insert(Folder);
  now().files[Deployed] = memorysystem::file{foreign};
  now().files[Deployed].locked = true;
  ensure();
  EXPECT_EQ(now().files[Deployed].content, foreign);
  EXPECT_TRUE(now().loads.empty());
  EXPECT_FALSE(Link().EngineLoaded);
  EXPECT_EQ(now().messageboxes, std::vector<std::string>{"error loading the dll"});
  // Let go, it is replaced and the engine loads, from the file held since
  // its comparison.
  now().files[Deployed].locked = false;
  ensure();
  EXPECT_EQ(now().files[Deployed].content, now().resources[1]);
  EXPECT_TRUE(Link().EngineLoaded);
  EXPECT_EQ(now().loads[Deployed], 1);
  EXPECT_EQ(now().unheldloads, 0);
  EXPECT_EQ(now().files[Deployed].holders, 0);
}

// An installation that put the engine beside the control library: that
// copy is loaded, held from its comparison, and nothing is written to the
// temporary folder. One that is not the carried engine is never loaded,
// and the temporary folder's copy is used as before.
TEST_F(Bridge, AnEngineBesideTheControlIsLoadedOnlyWhenItIsTheCarriedOne) {
  const std::string beside = now().modulefolder + "zelov.dll";
  now().folders.insert(now().modulefolder);
  now().files[beside] = memorysystem::file{now().resources[1]};
  ensure();
  EXPECT_TRUE(Link().EngineLoaded);
  EXPECT_EQ(Link().EnginePath, beside.c_str());
  EXPECT_EQ(now().loads[beside], 1);
  EXPECT_EQ(now().unheldloads, 0);
  EXPECT_FALSE(now().files.count(Deployed)) << "nothing written to the temporary folder";

  UnloadEngine();
  now().loads.clear();
  now().files[beside] = memorysystem::file{memorysystem::engineimage(4096, 9)};
  ensure();
  EXPECT_TRUE(Link().EngineLoaded);
  EXPECT_EQ(Link().EnginePath, Deployed.c_str());
  EXPECT_EQ(now().loads.count(beside), 0u) << "a library that differs is never loaded";
  EXPECT_EQ(now().loads[Deployed], 1);
  EXPECT_TRUE(now().messageboxes.empty());
}

TEST_F(Bridge, WithoutItsResourceTheBridgeLoadsNothing) {
  now().resources.clear();
  now().folders.insert(Folder);
  now().files[Deployed] = memorysystem::file{memorysystem::engineimage()};
  ensure();
  EXPECT_TRUE(now().loads.empty());
  EXPECT_EQ(now().messageboxes, std::vector<std::string>{"error loading the dll"});
}

TEST_F(Bridge, ALibraryThatDoesNotLoadIsToldTwicePerMethodAndRetried) {
  now().resources[1] = {'n', 'o', 't', ' ', 'a', ' ', 'd', 'l', 'l'};
  ensure();
  EXPECT_EQ(now().messageboxes, std::vector<std::string>{"error loading the dll"});
  EXPECT_FALSE(Link().EngineLoaded);
  EXPECT_EQ(CallEngine(u"intreturn", u" ", u" ", u" "), 0);
  EXPECT_EQ(now().messageboxes.size(), 2u);
  EXPECT_EQ(now().entrycalls, 0);
  ensure();  // not loaded: the whole pass again, with its message
  EXPECT_EQ(now().messageboxes.size(), 3u);
}

TEST_F(Bridge, ALibraryWithoutInterface1IsToldAndStaysUnloaded) {
  now().resources[1] = {'M', 'Z', 0, 0, 'n', 'o', 'n', 'e'};
  ensure();
  EXPECT_EQ(now().messageboxes, std::vector<std::string>{"error locating the interface1 function "});
  EXPECT_FALSE(Link().EngineLoaded);
  wtext command = u"intvendor", text(255, u'\0'), third = u" ";
  EXPECT_EQ(CallEngineText(command, text, third, 0), 0);
  EXPECT_EQ(now().messageboxes.back(), "error locating the interface1 function ");
  EXPECT_EQ(text, wtext(255, u'\0'));  // untouched
  ensure();
  EXPECT_EQ(now().messageboxes.size(), 3u);
}

TEST_F(Bridge, OnceLoadedOnlyForceRunsThePassAgain) {
  ensure();
  const int listings = now().listings;
  ensure();
  ensure();
  EXPECT_EQ(now().listings, listings);
  EXPECT_EQ(now().loads[Deployed], 1);
  EnsureEngineLoaded(true);
  EXPECT_GT(now().listings, listings);
  EXPECT_EQ(now().loads[Deployed], 1);  // the new reference replaces the old one
  UnloadEngine();
  EXPECT_FALSE(now().loads.count(Deployed));
}

TEST_F(Bridge, AForcedPassThatFindsAnotherLibraryKeepsTheOneThatMayBeRunning) {
  ensure();
  now().temp = "C:\\Other\\";
  now().folders.insert("C:\\Other\\");
  EnsureEngineLoaded(true);
  EXPECT_EQ(now().loads[Deployed], 1);
  EXPECT_EQ(now().loads["C:\\Other\\ZelSoftware\\zelov.dll"], 1);
}

TEST_F(Bridge, ALibraryWithoutInterface1IsHeldOnceAndLetGoWithTheLastControl) {
  now().resources[1] = {'M', 'Z', 0, 0, 'n', 'o', 'n', 'e'};
  AttachControl();
  ensure();
  ensure();
  ensure();
  EXPECT_EQ(now().loads[Deployed], 1);
  DetachControl();
  EXPECT_FALSE(now().loads.count(Deployed));
  EXPECT_EQ(now().entrycalls, 0);  // there is no entry to cancel through
}

TEST_F(Bridge, CallEngineHandsNulTerminatedAnsiBuffers) {
  ensure();
  EXPECT_EQ(CallEngine(u"open", u"C:\\music\\caf\u00e9.ogg", u" ", u"4"), 77);
  EXPECT_EQ(received, (std::vector<std::string>{"open", "C:\\music\\caf\xe9.ogg", " ", "4"}));
}

TEST_F(Bridge, CallEngineTextHandsBackTheWholeBuffer) {
  ensure();
  wtext command = u"gettimestring", text(255, u' '), third = u" ";
  EXPECT_EQ(CallEngineText(command, text, third, 0), 77);
  ASSERT_EQ(text.size(), 256u);
  EXPECT_EQ(text.substr(0, 9), wtext(u"00:01:02\0", 9));
  EXPECT_EQ(text.substr(9, 246), wtext(246, u' '));
  EXPECT_EQ(text.back(), u'\0');
  EXPECT_EQ(command, wtext(u"gettimestring\0", 14));
  EXPECT_EQ(third, wtext(u" \0", 2));
}

TEST_F(Bridge, EmptyTextIsOnlyTheEmptyString) {
  EXPECT_TRUE(IsEmptyText(u""));
  EXPECT_FALSE(IsEmptyText(u" "));
}

TEST_F(Bridge, FileReadableOpensAndReadsAtMost255Bytes) {
  now().files["C:\\a\\empty.ogg"].content = {};
  now().files["C:\\a\\ten.ogg"].content = sys::bytes(10, 1);
  now().files["C:\\a\\big.ogg"].content = sys::bytes(1 << 20, 1);
  now().files["C:\\a\\locked.ogg"].unreadable = true;
  EXPECT_FALSE(FileReadable(u"C:\\a\\missing.ogg"));
  EXPECT_FALSE(FileReadable(u"C:\\a\\locked.ogg"));
  EXPECT_TRUE(FileReadable(u"C:\\a\\empty.ogg"));
  EXPECT_EQ(now().lastheadread, 0u);
  EXPECT_TRUE(FileReadable(u"C:\\a\\ten.ogg"));
  EXPECT_EQ(now().lastheadread, 10u);
  EXPECT_TRUE(FileReadable(u"C:\\a\\big.ogg"));
  EXPECT_EQ(now().lastheadread, 255u);
}

// A file system without short names, as new Windows volumes are: a path
// the code page cannot spell, or one of 256 bytes or more, goes by its wide
// name; every other path goes by "open" as it always has.
TEST_F(Bridge, APathOpenCannotTakeGoesByItsWideName) {
  ensure();
  OpenInEngine(u"C:\\music\\caf\u00e9.ogg");
  EXPECT_EQ(received[0], "open");
  EXPECT_EQ(received[1], "C:\\music\\caf\xe9.ogg");
  const std::u16string wide = u"C:\\music\\\u4e2d\u6587 \u041c\u0443\u0437\u044b\u043a\u0430.ogg";
  OpenInEngine(wtext(wide.data(), wide.size()));
  EXPECT_EQ(received[0], "openwide");
  EXPECT_EQ(receivedwide, wide);
  const std::u16string fits = u"C:\\" + std::u16string(252, u'a');  // 255 bytes
  OpenInEngine(wtext(fits.data(), fits.size()));
  EXPECT_EQ(received[0], "open");
  const std::u16string longer = fits + u"a";
  OpenInEngine(wtext(longer.data(), longer.size()));
  EXPECT_EQ(received[0], "openwide");
  EXPECT_EQ(receivedwide, longer);
}

TEST_F(Bridge, OnlyTheLastControlOfAThreadReleasesTheEngine) {
  AttachControl();
  AttachControl();
  ensure();
  ClaimPlayback(NewControlNumber());  // a control of this thread started a file
  DetachControl();
  EXPECT_EQ(now().loads[Deployed], 1);
  EXPECT_TRUE(Link().EngineLoaded);
  words.clear();
  DetachControl();
  // Playback ends before its code goes, and no card's output lingers.
  EXPECT_EQ(words, (std::vector<std::string>{"cancel", "endlinger"}));
  EXPECT_FALSE(now().loads.count(Deployed));
  EXPECT_FALSE(Link().EngineLoaded);
  EXPECT_EQ(Link().EngineModule, nullptr);
  AttachControl();
  ensure();  // a later control loads the engine again
  EXPECT_EQ(now().loads[Deployed], 1);
  DetachControl();
}

TEST_F(Bridge, EachThreadHasItsOwnLink) {
  ensure();
  bool other = true;
  std::thread([&] { other = Link().EngineLoaded; }).join();
  EXPECT_FALSE(other);
  EXPECT_TRUE(Link().EngineLoaded);
}
