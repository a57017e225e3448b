// Writes the test files into a folder:  makefixtures DIR
// or one dense stereo file of the given length:  makefixtures --dense SECONDS FILE
// or one long, small file (8 kHz mono, low bitrate):  makefixtures --long SECONDS FILE
// or the dense stereo sound as Ogg Opus at 48 kHz:  makefixtures --dense-opus SECONDS FILE
// or the dense stereo sound as 16-bit FLAC:  makefixtures --dense-flac SECONDS FILE
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/fixtures.h"

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--dense") == 0) {
    fixtures::sound s;
    s.seconds = std::atof(argv[2]);
    s.quality = 0.6f;
    s.noise = 0.3f;
    return fixtures::writefile(argv[3], fixtures::encode(s).data) ? 0 : 1;
  }
  if (argc == 4 && std::strcmp(argv[1], "--dense-opus") == 0) {
    fixtures::sound s;
    s.rate = 48000;
    s.seconds = std::atof(argv[2]);
    s.noise = 0.3f;
    return fixtures::writefile(argv[3], fixtures::encodeopus(s)) ? 0 : 1;
  }
  if (argc == 4 && std::strcmp(argv[1], "--dense-flac") == 0) {
    fixtures::sound s;
    s.seconds = std::atof(argv[2]);
    s.noise = 0.3f;
    return fixtures::writefile(argv[3], fixtures::encodeflac(s, 16)) ? 0 : 1;
  }
  if (argc == 4 && std::strcmp(argv[1], "--long") == 0) {
    fixtures::sound s;
    s.rate = 8000;
    s.channels = 1;
    s.seconds = std::atof(argv[2]);
    s.quality = -0.1f;
    return fixtures::writefile(argv[3], fixtures::encode(s).data) ? 0 : 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: makefixtures DIR | makefixtures --dense|--dense-opus|--dense-flac|--long SECONDS FILE\n");
    return 2;
  }
  auto names = fixtures::writeall(argv[1]);
  if (names.empty()) {
    std::fprintf(stderr, "makefixtures: cannot write into %s\n", argv[1]);
    return 1;
  }
  std::printf("%zu files in %s\n", names.size(), argv[1]);
  return 0;
}
