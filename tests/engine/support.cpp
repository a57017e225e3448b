#include "tests/engine/support.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "engine/native/simendpoint.h"
#include "engine/output/card.h"
#include "engine/output/waveout.h"
#include "tools/fixtures.h"

namespace enginetest {
namespace {

std::mutex linelock;
std::string captured[3];

void sink(zelov::diagstream stream, const char* text) {
  std::lock_guard<std::mutex> hold(linelock);
  captured[static_cast<int>(stream)] += text;
}

std::string capturedof(zelov::diagstream stream) {
  std::lock_guard<std::mutex> hold(linelock);
  return captured[static_cast<int>(stream)];
}

}  // namespace

std::string fixture(const std::string& name) {
  static const std::string dir = [] {
    char pattern[] = "/tmp/zelfixtures.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made || fixtures::writeall(made).empty()) std::abort();
    return std::string(made);
  }();
  return dir + "/" + name;
}

LRESULT send(const char* command, char* text) {
  char third[] = "0";
  return interface1(command, text, third, nullptr);
}

LRESULT open(const std::string& path) {
  std::string copy = path;
  return send("open", copy.data());
}

bool waituntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool workerended() { return zelov::workerlive.load() == 0; }

bool soundready() {
  // The device is open only while a run holds it, so this cannot be the
  // wave flag left over from an earlier run.
  return (simdevice::isopen() && send("flagdewave") == 1) || workerended();
}

void waitend() { ASSERT_TRUE(waituntil(workerended)) << "the worker did not end"; }

int32_t playthrough(const std::string& path) {
  open(path);
  // Resume as soon as sound reaches the device, as the control does.
  EXPECT_TRUE(waituntil(soundready));
  send("resume");
  EXPECT_TRUE(waituntil(workerended));
  return static_cast<int32_t>(send("intreturn2"));
}

std::vector<int16_t> playedsamples() {
  const std::vector<uint8_t> bytes = simdevice::played();
  std::vector<int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return samples;
}

diagcapture::diagcapture() {
  std::lock_guard<std::mutex> hold(linelock);
  for (auto& s : captured) s.clear();
  zelov::diagsink.store(sink);
}

diagcapture::~diagcapture() { zelov::diagsink.store(nullptr); }
std::string diagcapture::out() const { return capturedof(zelov::diagstream::out); }
std::string diagcapture::err() const { return capturedof(zelov::diagstream::err); }
std::string diagcapture::trace() const { return capturedof(zelov::diagstream::trace); }

double askdouble(const char* word) {
  char data[8] = {};
  send(word, data);
  double value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

void sendlong(const char* word, int32_t value) {
  char data[4];
  std::memcpy(data, &value, sizeof value);
  send(word, data);
}

LRESULT on(int32_t stream, const char* word, char* text) {
  return interface1("onstream", text, &stream, const_cast<char*>(word));
}

double askdouble(int32_t stream, const char* word) {
  char data[8] = {};
  on(stream, word, data);
  double value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

std::vector<int16_t> heard(int32_t stream) {
  const std::vector<uint8_t> bytes = simdevice::played(static_cast<DWORD_PTR>(stream));
  std::vector<int16_t> samples(bytes.size() / 2);
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

std::vector<int16_t> asint16(const std::vector<float>& mix) {
  std::vector<int16_t> out;
  for (float f : mix) out.push_back(static_cast<int16_t>(std::clamp(std::lrint(f * 32768.0f), -32768L, 32767L)));
  return out;
}

std::vector<int16_t> sounding(const std::vector<int16_t>& samples, bool keeptail) {
  std::size_t first = 0, last = samples.size();
  while (first + 1 < last && samples[first] == 0 && samples[first + 1] == 0) first += 2;
  while (!keeptail && last >= first + 2 && samples[last - 1] == 0 && samples[last - 2] == 0) last -= 2;
  return std::vector<int16_t>(samples.begin() + static_cast<long>(first), samples.begin() + static_cast<long>(last));
}

bool ended(int32_t stream) { return on(stream, "intreturn") < zelov::endedbelow; }

void EngineTest::SetUp() {
  fixture("");  // generated before any timing matters
  send("cancel");
  // The default stream keeps its loop and device from run to run.
  int32_t off = 0, anydevice = -1;
  send("setloop", reinterpret_cast<char*>(&off));
  send("setdevice", reinterpret_cast<char*>(&anydevice));
  // The simulated device holds nothing back: no silence after the last
  // block, except where a test asks for it.
  zelov::waverunoutms.store(0);
  simdevice::reset(simdevice::mode::instant);
  // The mixer's cards close soon after their last sound, so that a test
  // ends with their threads gone.
  zelov::lingerms.store(50);
  simendpoint::reset();
}

void EngineTest::TearDown() {
  send("cancel");
  EXPECT_FALSE(simdevice::isopen()) << "a run left the device open";
  // A card's thread holds the library until its output has lingered.
  EXPECT_TRUE(waituntil([] { return simlibrary::references() == 0; }))
      << "a worker's or a card's thread still holds the engine library";
}

}  // namespace enginetest
