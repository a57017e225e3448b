// A bare libvorbis decode of a whole file (every chained link), written
// independently of the engine, to compare with what the device played; a
// file that starts with an Opus link is decoded by libopusfile instead, and
// a FLAC file (native or Ogg) by libFLAC.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace reference {

struct link {
  int rate;
  int channels;
};

struct decoded {
  std::vector<int16_t> samples;  // interleaved, all links one after another
  std::vector<link> links;
};

// Decodes with the 16-bit conversion the player promises: sample x 32767,
// cut toward zero, clamped to the 16-bit range.
decoded decode(const std::string& path);
// An Opus file decoded by libopusfile from the 48 kHz frame it seeks to.
decoded decodeopusfrom(const std::string& path, int64_t frame);

// A FLAC file by libFLAC's own decoder: each sample over 2^(bits-1), as
// floats, interleaved (16-bit files give exactly their 16-bit samples
// through decode above). Empty when libFLAC refuses the file.
struct flacdecoded {
  std::vector<float> samples;
  int rate = 0, channels = 0, bits = 0;
};
flacdecoded decodeflac(const std::string& path);

// The floor of any decoder: synthesis only (libopusfile's decode for an
// Opus file, libFLAC's for a FLAC one), no conversion. Returns the frames
// decoded.
uint64_t synthesize(const std::string& path);

}  // namespace reference
