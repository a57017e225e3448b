// libFuzzer target: the engine's whole playback path (measuring pass,
// page and header parsing, Vorbis, Opus and FLAC decoding, conversion,
// queueing) on arbitrary bytes, on a stream that plays every codec, on a
// simulated device that never waits. Every input must end the
// run with one of the engine's result codes, without a crash, a hang or a
// leak (AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer are
// linked in).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/streams/diag.h"
#include "engine/native/simdevice.h"
#include "engine/streams/state.h"
#include "engine/output/waveout.h"
#include "engine/decode/worker.h"

namespace {

void discard(zelov::diagstream, const char*) {}

// The input as a file the engine can open by name.
const char* asfile(const uint8_t* data, size_t size) {
  static int fd = memfd_create("zelfuzz", 0);
  static char path[64];
  if (fd < 0 || ftruncate(fd, 0) != 0 || (size && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))) std::abort();
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zelov::diagsink.store(discard);
  simdevice::reset(simdevice::mode::nowait);
  zelov::waverunoutms.store(0);  // the device never waits: nothing to run out
  static zelov::stream* both = [] {
    zelov::stream* s = zelov::openstream();
    if (!s) std::abort();
    s->allcodecs = true;
    return s;
  }();
  const int32_t result = zelov::playworker(*both, asfile(data, size), nullptr);
  if (result != 0 && (result < 2 || result > 10)) std::abort();  // not a result the engine may give
  return 0;
}
