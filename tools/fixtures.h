// The test files: Ogg Vorbis streams made with libvorbisenc, Ogg Opus
// streams made with libopusenc, FLAC files (native and Ogg) made with
// libFLAC, and broken files built from hand-made Ogg pages.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace fixtures {

using bytes = std::vector<uint8_t>;

struct sound {
  int rate = 44100;
  int channels = 2;
  double seconds = 3.0;
  float quality = 0.3f;
  float noise = 0.05f;  // share of white noise; more makes a denser stream
  double pitch = 330.0;      // the tone of the first channel; each next one is 110 Hz higher
  double amplitude = 0.6;    // of the tone
  uint32_t serial = 1;
  std::string vendor;   // empty: the encoder's own
  // "NAME=value" user comments; empty: TITLE=fixture alone.
  std::vector<std::string> comments;
};

// An encoded stream, with where its header pages lie.
struct stream {
  bytes data;
  std::size_t commentpage = 0;   // offset of the page holding the comment header
  std::size_t codebookpage = 0;  // offset of the page holding the codebook header
  std::size_t audiostart = 0;    // offset of the first audio page
  std::vector<std::size_t> audiopages;
};

stream encode(const sound& s);
// The same sound as Ogg Opus (libopusenc resamples any rate to 48 kHz; the
// quality is not used; more than two channels take mapping family 1).
bytes encodeopus(const sound& s);

// The same sound as FLAC of `bits` bits a sample (the quality is not used),
// native or in Ogg, with a PICTURE block of `picturebytes` in front of the
// comments when that is not 0.
bytes encodeflac(const sound& s, int bits, bool ogg = false, std::size_t picturebytes = 0);

// One Ogg page with the given body and lacing values, checksum set.
bytes makepage(uint32_t serial, uint32_t sequence, int64_t granule, uint8_t flags,
               const std::vector<uint8_t>& lacing, const bytes& body, uint8_t version = 0);

// Bytes that hold no Ogg capture pattern.
bytes garbage(std::size_t size, uint32_t seed);

bool writefile(const std::string& path, const bytes& data);

// Writes every test file into dir and returns their names.
std::vector<std::string> writeall(const std::string& dir);

}  // namespace fixtures
