// Decode cost of the engine's worker against the bare library loop.
//   bench_decode engine FILE   the worker, on a device that never waits, on
//                              a stream that plays every codec
//   bench_decode floor FILE    decoding only, no conversion: libvorbis's
//                              synthesis, libopusfile's op_read_float, or
//                              libFLAC's decoding with a write callback
//                              that does nothing
// Run each under `valgrind --tool=callgrind` and compare the instruction
// counts (bench/run.sh does this and prints the table).
#include <cstdio>
#include <cstring>

#include "engine/streams/diag.h"
#include "engine/native/simdevice.h"
#include "engine/streams/state.h"
#include "engine/output/waveout.h"
#include "engine/decode/worker.h"
#include "tests/support/reference.h"

static void discard(zelov::diagstream, const char*) {}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_decode engine|floor FILE\n");
    return 2;
  }
  if (std::strcmp(argv[1], "floor") == 0) {
    std::printf("%llu frames\n", static_cast<unsigned long long>(reference::synthesize(argv[2])));
    return 0;
  }
  zelov::diagsink.store(discard);
  simdevice::reset(simdevice::mode::nowait);
  zelov::waverunoutms.store(0);
  zelov::stream* both = zelov::openstream();
  both->allcodecs = true;
  const int32_t result = zelov::playworker(*both, argv[2]);
  std::printf("result %d, %llu bytes played\n", result,
              static_cast<unsigned long long>(simdevice::playedbytes()));
  return result;
}
