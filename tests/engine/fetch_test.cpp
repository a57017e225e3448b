// The fetch of a file or a live stream from a web server, over the tests'
// scripted servers: a file read back whole and resumed by a range where it
// broke off; a live stream connected again when it drops, and given up
// after a few tries; the first read held for the prebuffer; memory bounded
// by the ring however fast the server; the server's failures as results;
// a cancel during a slow connect or a stalled read seen within a step.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "engine/native/simhttp.h"
#include "engine/net/fetch.h"
#include "engine/protocol.h"
#include "engine/streams/platform.h"

using zelov::fetch;
using zelov::httpanswer;
using clock_type = std::chrono::steady_clock;

namespace {

std::string bytes(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
  return s;
}

// Reads until the end or a failure, `most` bytes at most; `last` is the
// last read's answer.
std::string readall(fetch& f, const std::atomic<int32_t>& cancel, long& last, std::size_t most = SIZE_MAX) {
  std::string out;
  char buffer[3000];
  while (out.size() < most && (last = zelov::fetchread(f, buffer, std::min(sizeof buffer, most - out.size()), cancel)) > 0)
    out.append(buffer, static_cast<std::size_t>(last));
  return out;
}

double since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

class Fetch : public ::testing::Test {
 protected:
  void SetUp() override {
    simhttp::reset();
    threads = simlibrary::references();
  }
  // A fetch's thread ends by itself once its server's call returns: the
  // test waits for every one it started, so that none outlives it.
  void TearDown() override {
    const auto start = clock_type::now();
    while (simlibrary::references() > threads && since(start) < 10)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(simlibrary::references(), threads) << "every fetch's thread has ended";
    simhttp::reset();
  }
  std::atomic<int32_t> cancel{0};
  int threads = 0;
};

}  // namespace

TEST_F(Fetch, AFileIsReadWholeAndResumedByARangeWhereItBroke) {
  const std::u16string url = u"http://files.test/a.ogg";
  const std::string body = bytes(300000);
  simhttp::server s;
  s.body = body;
  s.breaks = 1;
  s.breakat = 100000;
  simhttp::serve(url, s);
  fetch* f = zelov::fetchopen(url.c_str(), 0, 0);
  ASSERT_NE(f, nullptr);
  httpanswer answer;
  ASSERT_TRUE(zelov::fetchanswer(*f, answer, cancel));
  EXPECT_EQ(answer.length, 300000);
  EXPECT_TRUE(answer.ranges);
  long last = 0;
  EXPECT_TRUE(readall(*f, cancel, last) == body) << "byte for byte across the break";
  EXPECT_EQ(last, 0);
  EXPECT_EQ(zelov::fetchfailure(*f), 0);
  EXPECT_EQ(simhttp::connections(url), 2);
  EXPECT_EQ(simhttp::lastfrom(url), 100000u) << "resumed where it broke";
  EXPECT_EQ(simhttp::served(url), 300000u) << "nothing fetched twice";
  zelov::fetchclose(f);

  // A connection closed before the length was all there is no end either.
  const std::u16string closing = u"http://files.test/closing.ogg";
  s.close = true;
  simhttp::serve(closing, s);
  f = zelov::fetchopen(closing.c_str(), 0, 0);
  EXPECT_TRUE(readall(*f, cancel, last) == body) << "resumed after the early close";
  EXPECT_EQ(simhttp::connections(closing), 2);
  zelov::fetchclose(f);

  // From a byte (a seek): that byte on.
  f = zelov::fetchopen(url.c_str(), 250000, 0);
  EXPECT_TRUE(readall(*f, cancel, last) == body.substr(250000));
  zelov::fetchclose(f);
}

TEST_F(Fetch, ALiveStreamIsConnectedAgainAfterADropAndGivenUpAfterAFew) {
  const std::u16string url = u"http://radio.test/live.ogg";
  simhttp::server s;
  s.body = bytes(50000);
  s.length = s.ranges = false;
  s.endless = true;
  s.station = true;
  s.breaks = 1;
  s.breakat = 20000;
  simhttp::serve(url, s);
  fetch* f = zelov::fetchopen(url.c_str(), 0, 0);
  long last = 0;
  const std::string heard = readall(*f, cancel, last, 30000);
  EXPECT_TRUE(heard == s.body.substr(0, 20000) + s.body.substr(0, 10000)) << "the stream anew after the drop";
  EXPECT_EQ(simhttp::connections(url), 2);
  zelov::fetchclose(f);

  // Breaking after a few bytes every time: four tries over some 1.75 s,
  // then the failure.
  const std::u16string flaky = u"http://radio.test/flaky.ogg";
  s.breaks = 1000;
  s.breakat = 1000;
  simhttp::serve(flaky, s);
  const auto start = clock_type::now();
  f = zelov::fetchopen(flaky.c_str(), 0, 0);
  readall(*f, cancel, last);
  EXPECT_EQ(last, -1);
  EXPECT_EQ(zelov::fetchfailure(*f), zelov::resultconnectionlost);
  EXPECT_EQ(simhttp::connections(flaky), 1 + zelov::fetchretries);
  EXPECT_GE(since(start), (1 + 2 + 4) * zelov::fetchretryms / 1000.0) << "a growing wait between the tries";
  zelov::fetchclose(f);

  // A body of no length that is not a station's (a file sent in chunks)
  // ends where it ends, played once; broken, it is lost.
  const std::u16string chunked = u"http://files.test/chunked.ogg";
  simhttp::server plain;
  plain.body = bytes(30000);
  plain.length = plain.ranges = false;
  simhttp::serve(chunked, plain);
  f = zelov::fetchopen(chunked.c_str(), 0, 0);
  EXPECT_TRUE(readall(*f, cancel, last) == plain.body);
  EXPECT_EQ(last, 0);
  EXPECT_EQ(simhttp::connections(chunked), 1);
  zelov::fetchclose(f);
  plain.breaks = 1;
  plain.breakat = 10000;
  simhttp::serve(u"http://files.test/broken.ogg", plain);
  f = zelov::fetchopen(u"http://files.test/broken.ogg", 0, 0);
  EXPECT_EQ(readall(*f, cancel, last).size(), 10000u);
  EXPECT_EQ(zelov::fetchfailure(*f), zelov::resultconnectionlost);
  zelov::fetchclose(f);
}

TEST_F(Fetch, TheFirstReadWaitsForThePrebufferAndTheRingBoundsTheMemory) {
  const std::u16string paced = u"http://radio.test/paced.ogg";
  simhttp::server s;
  s.body = bytes(200000);
  s.length = s.ranges = false;
  s.endless = true;
  s.bytespersecond = 100000;
  simhttp::serve(paced, s);
  auto start = clock_type::now();
  fetch* f = zelov::fetchopen(paced.c_str(), 0, 50000);
  char buffer[100];
  ASSERT_EQ(zelov::fetchread(*f, buffer, sizeof buffer, cancel), 100);
  EXPECT_GE(since(start), 0.45) << "half a second of it first";
  zelov::fetchclose(f);

  // A fast endless server and a reader that takes little: what is fetched
  // stays within the ring and a read's worth.
  const std::u16string fast = u"http://radio.test/fast.ogg";
  s.bytespersecond = 0;
  simhttp::serve(fast, s);
  f = zelov::fetchopen(fast.c_str(), 0, 0);
  for (int i = 0; i < 5; ++i) {
    ASSERT_GT(zelov::fetchread(*f, buffer, sizeof buffer, cancel), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_LE(simhttp::served(fast), 500 + zelov::fetchringsize + 16384);
  EXPECT_EQ(zelov::fetchlevel(*f), 100);
  zelov::fetchclose(f);
}

TEST_F(Fetch, TheServersFailuresAreResultsAndACancelIsSeenWithinAStep) {
  simhttp::server missing;
  missing.status = 404;
  simhttp::serve(u"http://files.test/missing.ogg", missing);
  simhttp::server untrusted;
  untrusted.failure = zelov::resultcertificate;
  simhttp::serve(u"https://files.test/a.ogg", untrusted);
  const struct {
    const char16_t* url;
    int32_t failure;
  } cases[] = {{u"http://files.test/missing.ogg", zelov::resulthttpstatus},
               {u"http://nowhere.test/a.ogg", zelov::resultunreachable},
               {u"https://files.test/a.ogg", zelov::resultcertificate}};
  for (const auto& c : cases) {
    fetch* f = zelov::fetchopen(c.url, 0, 0);
    httpanswer answer;
    EXPECT_FALSE(zelov::fetchanswer(*f, answer, cancel));
    EXPECT_EQ(answer.failure, c.failure);
    if (c.failure == zelov::resulthttpstatus) {
      EXPECT_EQ(answer.status, 404);
    }
    zelov::fetchclose(f);
  }

  // A connect that takes two seconds, cancelled after a tenth.
  simhttp::server slow;
  slow.body = bytes(1000);
  slow.connectms = 2000;
  simhttp::serve(u"http://slow.test/a.ogg", slow);
  fetch* f = zelov::fetchopen(u"http://slow.test/a.ogg", 0, 0);
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    cancel.store(1);
  });
  auto start = clock_type::now();
  httpanswer answer;
  EXPECT_FALSE(zelov::fetchanswer(*f, answer, cancel));
  EXPECT_LT(since(start), 0.1 + 0.075) << "within a step of the cancel";
  canceller.join();
  zelov::fetchclose(f);  // its thread ends once the connect returns

  // A read on a server gone silent, cancelled likewise.
  cancel.store(0);
  zelov::httptimeoutms.store(3000);
  simhttp::server silent;
  silent.body = bytes(100000);
  silent.breaks = 1;
  silent.breakat = 1000;
  silent.stall = true;
  simhttp::serve(u"http://silent.test/a.ogg", silent);
  f = zelov::fetchopen(u"http://silent.test/a.ogg", 0, 0);
  char buffer[2000];
  EXPECT_EQ(zelov::fetchread(*f, buffer, sizeof buffer, cancel), 1000);
  int32_t level = -1;
  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    level = zelov::fetchlevel(*f);
    cancel.store(1);
  });
  start = clock_type::now();
  EXPECT_EQ(zelov::fetchread(*f, buffer, sizeof buffer, cancel), -1);
  EXPECT_LT(since(start), 0.1 + 0.075);
  later.join();
  EXPECT_EQ(level, 0) << "rebuffering, nothing in";
  zelov::fetchclose(f);

  // A server that goes silent on every connection: rebuffering, then the
  // failure once the tries are spent.
  cancel.store(0);
  zelov::httptimeoutms.store(50);
  silent.length = silent.ranges = false;
  silent.station = true;
  silent.breaks = 1000;
  silent.breakat = 0;
  simhttp::serve(u"http://silent.test/live.ogg", silent);
  f = zelov::fetchopen(u"http://silent.test/live.ogg", 0, 10);
  long last = 0;
  readall(*f, cancel, last);
  EXPECT_EQ(last, -1);
  EXPECT_EQ(zelov::fetchfailure(*f), zelov::resultstalled);
  zelov::fetchclose(f);
}
