// Every result code a file can give, from the generated fixtures.
#include <cstring>

#include "tests/engine/support.h"

using namespace enginetest;

struct outcome {
  const char* file;
  int32_t result;
  const char* errline;  // written to standard error, or nullptr
  bool deviceopened;
};

class Results : public EngineTest, public ::testing::WithParamInterface<outcome> {};

TEST_P(Results, EndWithTheirCode) {
  const outcome& o = GetParam();
  EXPECT_EQ(playthrough(fixture(o.file)), o.result);
  EXPECT_EQ(send("intreturn"), o.result);
  if (o.errline) {
    EXPECT_NE(lines.err().find(o.errline), std::string::npos) << lines.err();
  }
  EXPECT_EQ(simdevice::opencount() > 0, o.deviceopened);
  if (!o.deviceopened) {
    EXPECT_EQ(send("flagdewave"), 0);
    EXPECT_EQ(zelov::pcmbytes.load(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, Results,
    ::testing::Values(
        outcome{"empty.ogg", 0, "Done.\n", false},
        outcome{"garbage-small.bin", 0, "Done.\n", false},
        outcome{"garbage-large.bin", 3, "Input does not appear to be an Ogg bitstream.\n", false},
        outcome{"badversion.ogg", 4, "Error reading first page of Ogg bitstream data.\n", false},
        outcome{"partialpacket.ogg", 5, "Error reading initial header packet.\n", false},
        outcome{"notvorbis.ogg", 6, "This Ogg bitstream does not contain Vorbis audio data.\n", false},
        outcome{"bad-comment.ogg", 7, "Corrupt secondary header.  Exiting.\n", false},
        outcome{"bad-codebook.ogg", 7, "Corrupt secondary header.  Exiting.\n", false},
        outcome{"chained-badlink.ogg", 7, "Corrupt secondary header.  Exiting.\n", true},
        outcome{"cut-comment.ogg", 8, "End of file before finding all Vorbis headers!\n", false},
        outcome{"cut-codebook.ogg", 8, "End of file before finding all Vorbis headers!\n", false},
        outcome{"corrupt-page.ogg", 0, "Corrupt or missing data in bitstream; continuing...\n", true},
        outcome{"page-gap.ogg", 0, "Done.\n", true},
        outcome{"trailing-garbage.ogg", 3, "Input does not appear to be an Ogg bitstream.\n", true}),
    [](const ::testing::TestParamInfo<outcome>& info) {
      std::string name = info.param.file;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

class Damaged : public EngineTest {};

TEST_F(Damaged, TheLinkBeforeABrokenOnePlaysWhole) {
  EXPECT_EQ(playthrough(fixture("chained-badlink.ogg")), 7);
  const reference::decoded expected = reference::decode(fixture("chained-badlink.ogg"));
  ASSERT_EQ(expected.links.size(), 1u);  // the reference stops at the broken link too
  EXPECT_EQ(playedsamples(), expected.samples);
}

TEST_F(Damaged, SoundBeforeTrailingGarbagePlaysWhole) {
  EXPECT_EQ(playthrough(fixture("trailing-garbage.ogg")), 3);
  const auto expected = reference::decode(fixture("trailing-garbage.ogg")).samples;
  EXPECT_EQ(playedsamples(), expected);
}

TEST_F(Damaged, AGapLosesOnlyTheMissingAudio) {
  EXPECT_EQ(playthrough(fixture("page-gap.ogg")), 0);
  const auto whole = reference::decode(fixture("stereo44100.ogg")).samples;
  const auto played = playedsamples();
  EXPECT_LT(played.size(), whole.size());
  EXPECT_GT(played.size(), whole.size() * 8 / 10);
  EXPECT_TRUE(std::equal(played.begin(), played.begin() + 1000, whole.begin()));
}

TEST_F(Damaged, FailedHeadersLeaveThePreviousStreamWords) {
  ASSERT_EQ(playthrough(fixture("mono22050.ogg")), 0);
  EXPECT_EQ(playthrough(fixture("bad-codebook.ogg")), 7);
  EXPECT_EQ(send("samplerate"), 22050);
  EXPECT_EQ(send("intchannels"), 1);
  EXPECT_EQ(send("getseconds"), 0);
}

TEST_F(Damaged, ALongVendorTextIsCutNotOverrun) {
  EXPECT_EQ(playthrough(fixture("long-vendor.ogg")), 0);
  char text[300];
  std::memset(text, 'Z', sizeof text);
  send("intvendor", text);
  EXPECT_EQ(std::strlen(text), 255u);
  EXPECT_EQ(std::string(text, 3), "Avv");
  EXPECT_EQ(text[256], 'Z');
}
