// Decodes a file with the libvorbis build it is linked with and writes the
// 16-bit samples the player promises, raw and interleaved:
//   refdecode IN.ogg OUT.raw
#include <cstdio>

#include "tests/support/reference.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: refdecode IN.ogg OUT.raw\n");
    return 2;
  }
  const reference::decoded d = reference::decode(argv[1]);
  FILE* out = std::fopen(argv[2], "wb");
  if (!out) return 1;
  const bool ok = std::fwrite(d.samples.data(), 2, d.samples.size(), out) == d.samples.size();
  return std::fclose(out) == 0 && ok ? 0 : 1;
}
