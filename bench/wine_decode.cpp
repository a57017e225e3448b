// Decode cost of a Windows build of the engine, measured as the process's
// CPU time (user and kernel) by GetProcessTimes:
//   wine_decode engine FILE N   the engine's worker on a device that never
//                               waits, N times over
//   wine_decode floor FILE N    the bare libvorbis synthesis loop, no
//                               conversion, N times over
// Both are compiled with the same compiler and flags as zelov.dll. Several
// passes make the figure much longer than the clock's tick (10 ms under
// Wine).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/cputime.h"
#include "engine/streams/diag.h"
#include "engine/output/waveout.h"
#include "engine/decode/worker.h"
#include "tests/support/reference.h"

extern uint64_t nowaitplayedbytes;

namespace {

void discard(zelov::diagstream, const char*) {}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: wine_decode engine|floor FILE PASSES\n");
    return 2;
  }
  const int passes = std::atoi(argv[3]);
  const bool floor = std::strcmp(argv[1], "floor") == 0;
  zelov::diagsink.store(discard);
  zelov::waverunoutms.store(0);  // the device never waits: nothing to run out
  const double start = processcpuseconds();
  uint64_t amount = 0;
  int result = 0;
  for (int pass = 0; pass < passes && result == 0; ++pass) {
    if (floor) {
      amount += reference::synthesize(argv[2]) * 4;  // as stereo 16-bit bytes
    } else {
      result = zelov::playworker(argv[2]);
      amount = nowaitplayedbytes;
    }
  }
  std::printf("%s cpu %.3f s, %llu bytes, result %d\n", argv[1], processcpuseconds() - start,
              static_cast<unsigned long long>(amount), result);
  return result;
}
