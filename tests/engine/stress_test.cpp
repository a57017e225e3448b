// Random sequences of every command from the caller's thread against running
// workers. Run under ThreadSanitizer too: no race, no hang, and the state
// always one the command table allows. ZEL_STRESS_STEPS makes it longer
// (2000 steps, some 60 runs, by default).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "tests/engine/support.h"

using namespace enginetest;

class Stress : public EngineTest {};

// 0 to 10 are results, one more when the pause flag was left set (11 at
// most); 1000 and 1001 are running and paused.
static bool validintreturn(LRESULT value) {
  return value == 1000 || value == 1001 || (value >= 0 && value <= 11);
}

TEST_F(Stress, RandomCommandsAgainstRunningWorkers) {
  const char* files[] = {"short.ogg",        "stereo44100.ogg",  "mono22050.ogg",       "chained.ogg",
                         "garbage-large.bin", "bad-codebook.ogg", "chained-badlink.ogg", "no-such-file.ogg"};
  constexpr int filecount = sizeof files / sizeof files[0];
  const char* setting = std::getenv("ZEL_STRESS_STEPS");
  const int steps = setting ? std::atoi(setting) : 2000;
  const char* queries[] = {"intreturn2", "samplerate", "bitrate", "intchannels", "intversion",
                           "flagdewave", "gettime", "getseconds", "nonsense"};
  const char* textqueries[] = {"intvendor", "gettimestring", "getsecondsstring"};
  std::mt19937 random(20261207);
  simdevice::reset(simdevice::mode::manual);
  int opens = 0;
  for (int step = 0; step < steps; ++step) {
    switch (random() % 8) {
      case 0:
        if (random() % 4 == 0) {
          open(fixture(files[random() % filecount]));
          ++opens;
        }
        break;
      case 1: send("pause"); break;
      case 2: send("resume"); break;
      case 3:
        if (random() % 8 == 0) {
          send("cancel");
          ASSERT_TRUE(workerended()) << "cancel returned before its worker ended";
          ASSERT_FALSE(simdevice::isopen()) << "a cancelled run left its device open";
          ASSERT_LT(send("intreturn"), 999);
        }
        break;
      case 4: send(queries[random() % 9]); break;
      case 5: {
        char text[256];
        std::memset(text, ' ', sizeof text - 1);
        text[255] = '\0';
        send(textqueries[random() % 3], text);
        ASSERT_LE(std::strlen(text), 255u);
        break;
      }
      case 6:
        for (int blocks = random() % 3; blocks > 0; --blocks) simdevice::playnext();
        break;
      case 7: std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000)); break;
    }
    const LRESULT state = send("intreturn");
    ASSERT_TRUE(validintreturn(state)) << "intreturn gave " << state << " at step " << step;
  }
  send("cancel");
  EXPECT_TRUE(workerended());
  EXPECT_GT(opens, steps / 64);
  std::printf("%d steps, %d runs opened\n", steps, opens);
}
