#include <cstring>
#include <string>

#include "engine/queries.h"
#include "tests/engine/support.h"

using namespace enginetest;

namespace {

void setstream(int32_t rate, int32_t channels, uint32_t bytes, uint32_t seconds) {
  zelov::streamrate.store(rate);
  zelov::streamchannels.store(channels);
  zelov::pcmbytes.store(bytes);
  zelov::totalseconds.store(seconds);
}

std::string textof(const char* command) {
  char buffer[256];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(send(command, buffer), 0);
  return buffer;
}

}  // namespace

TEST(TimeText, FormatsTwoDigitFields) {
  char text[16];
  zelov::formathms(3725, text, sizeof text);
  EXPECT_STREQ(text, "01:02:05");
  zelov::formathms(59, text, sizeof text);
  EXPECT_STREQ(text, "00:00:59");
  zelov::formathms(0, text, sizeof text);
  EXPECT_STREQ(text, "00:00:00");
  zelov::formathms(60 * 3600 - 1, text, sizeof text);
  EXPECT_STREQ(text, "59:59:59");
  zelov::formathms(100 * 3600 + 1, text, sizeof text);  // past 60 hours the field widens
  EXPECT_STREQ(text, "100:00:01");
  zelov::formathms(0xffffffffu, text, sizeof text);
  EXPECT_STREQ(text, "1193046:28:15");
  zelov::formathms(3725, text, 5);  // cut to the buffer, still terminated
  EXPECT_STREQ(text, "01:0");
}

TEST(TimeText, ElapsedSecondsLagTheCountByOneSecond) {
  EXPECT_EQ(zelov::elapsedseconds(176400, 44100, 2), 0u);
  EXPECT_EQ(zelov::elapsedseconds(352799, 44100, 2), 0u);
  EXPECT_EQ(zelov::elapsedseconds(352800, 44100, 2), 1u);
  EXPECT_EQ(zelov::elapsedseconds(529199, 44100, 2), 1u);
  EXPECT_EQ(zelov::elapsedseconds(441000, 22050, 1), 9u);
  EXPECT_EQ(zelov::elapsedseconds(4294967295u, 44100, 2), 24346u);
  EXPECT_EQ(zelov::elapsedseconds(7ull * 3600 * 176400, 44100, 2), 7u * 3600 - 1) << "past 32 bits of bytes";
  EXPECT_EQ(zelov::elapsedseconds(1000000, 0, 2), 0u);
  EXPECT_EQ(zelov::elapsedseconds(1000000, 44100, 0), 0u);  // never divides by zero
}

class Queries : public EngineTest {};

TEST_F(Queries, TimeCommandsReadTheStateWords) {
  setstream(44100, 2, 176400, 3725);
  EXPECT_EQ(send("gettime"), 0);
  EXPECT_EQ(textof("gettimestring"), "00:00:00");
  setstream(44100, 2, 352800, 3725);
  EXPECT_EQ(send("gettime"), 1);
  EXPECT_EQ(textof("gettimestring"), "00:00:01");
  setstream(22050, 1, 441000, 3725);
  EXPECT_EQ(send("gettime"), 9);
  EXPECT_EQ(textof("gettimestring"), "00:00:09");
  EXPECT_EQ(textof("getsecondsstring"), "01:02:05");  // nothing subtracted
  EXPECT_EQ(send("getseconds"), 3725);
  setstream(0, 2, 999999, 0);
  EXPECT_EQ(send("gettime"), 0);
  EXPECT_EQ(textof("gettimestring"), "00:00:00");
  EXPECT_EQ(textof("getsecondsstring"), "00:00:00");
}

TEST_F(Queries, TextAnswersLeaveTheRestOfTheBufferAlone) {
  setstream(44100, 2, 352800, 59);
  char buffer[32];
  std::memset(buffer, 'Z', sizeof buffer);
  send("getsecondsstring", buffer);
  EXPECT_STREQ(buffer, "00:00:59");
  EXPECT_EQ(buffer[9], 'Z');
}

TEST_F(Queries, NumberQueriesIgnoreTheirTextArgument) {
  setstream(48000, 1, 0, 0);
  zelov::streambitrate.store(128000);
  zelov::streamversion.store(0);
  char text[] = " ";
  EXPECT_EQ(send("samplerate", text), 48000);
  EXPECT_EQ(send("intchannels", text), 1);
  EXPECT_EQ(send("bitrate", text), 128000);
  EXPECT_EQ(send("intversion", text), 0);
  EXPECT_STREQ(text, " ");
}

TEST_F(Queries, VendorAnswerIsCutToTheCallersBuffer) {
  std::string longtext(5000, 'v');
  zelov::setvendor(longtext.c_str());
  char buffer[400];
  std::memset(buffer, 'Z', sizeof buffer);
  send("intvendor", buffer);
  EXPECT_EQ(std::strlen(buffer), 255u);
  EXPECT_EQ(buffer[256], 'Z') << "wrote past the 256-byte answer buffer";
  char whole[1100];
  zelov::getvendor(whole, sizeof whole);
  EXPECT_EQ(std::strlen(whole), 1019u);  // the engine's own store holds 1019 and the NUL
  zelov::setvendor("short vendor");
  send("intvendor", buffer);
  EXPECT_STREQ(buffer, "short vendor");
}
