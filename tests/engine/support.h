// Helpers shared by the engine tests: the generated fixtures, a capture of
// the diagnostic lines, and ways to drive the engine to a known point.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/streams/diag.h"
#include "engine/interface1.h"
#include "engine/native/simdevice.h"
#include "engine/streams/state.h"
#include "tests/support/reference.h"

namespace enginetest {

// The generated test file of that name (made once per test process).
std::string fixture(const std::string& name);

LRESULT send(const char* command, char* text = nullptr);
LRESULT open(const std::string& path);
// The words with binary data: a double read, an int32 given.
double askdouble(const char* word);
void sendlong(const char* word, int32_t value);

// A stream of its own: a word run on it by "onstream", a double read from
// it, what its devices played, whether its run has ended.
LRESULT on(int32_t stream, const char* word, char* text = nullptr);
double askdouble(int32_t stream, const char* word);
std::vector<int16_t> heard(int32_t stream);
bool ended(int32_t stream);

// A simulated sound card's mix as 16-bit samples, converted by 32768 as the
// sound server converts float; and samples from their first sounding frame
// on, up to their last one unless `keeptail` (a card's mix starts, and
// ends, with the silence around the sounds).
std::vector<int16_t> asint16(const std::vector<float>& mix);
std::vector<int16_t> sounding(const std::vector<int16_t>& samples, bool keeptail = false);

// Re-tests the condition every few milliseconds; false if it did not hold
// within the limit (a guard against hangs, not a timing assumption).
bool waituntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(30));

// True once the worker of the last "open" has finished.
bool workerended();
// True once the run of the last "open" has handed sound to the device (or
// has ended).
bool soundready();
// Waits for the running worker to finish; fails the test if it does not.
void waitend();

// Plays a file on an instant device: "open", "resume" once sound is ready,
// wait for the end. Returns the result code.
int32_t playthrough(const std::string& path);

// What the device played, as 16-bit samples.
std::vector<int16_t> playedsamples();

// Every diagnostic line the engine wrote since the capture started, by
// stream.
class diagcapture {
 public:
  diagcapture();
  ~diagcapture();
  std::string out() const;
  std::string err() const;
  std::string trace() const;
};

// Each test starts with no worker, a fresh instant device and the engine's
// lines captured.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  diagcapture lines;
};

}  // namespace enginetest
