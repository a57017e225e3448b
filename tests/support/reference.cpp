#include "tests/support/reference.h"

#include <FLAC/stream_decoder.h>
#include <opusfile.h>
#include <vorbis/codec.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace reference {
namespace {

int16_t to16(float x) {
  double v = std::trunc(static_cast<double>(x) * 32767.0);
  if (v > 32767.0) return 32767;
  if (v < -32768.0 || std::isnan(v)) return -32768;
  return static_cast<int16_t>(v);
}

// The decode loop: every page of every link, in file order. Calls
// onpcm(pcm, frames, channels) for each run of decoded frames.
template <class OnPcm>
void decodefile(const std::string& path, std::vector<link>& links, OnPcm onpcm) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return;
  ogg_sync_state oy;
  ogg_sync_init(&oy);
  ogg_page og;
  ogg_packet op;
  ogg_stream_state os;
  vorbis_info vi;
  vorbis_comment vc;
  vorbis_dsp_state vd;
  vorbis_block vb;
  int headers = 0;  // headers read in the current link
  bool instream = false;
  auto endlink = [&] {
    if (!instream) return;
    if (headers == 3) {
      vorbis_block_clear(&vb);
      vorbis_dsp_clear(&vd);
    }
    ogg_stream_clear(&os);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    instream = false;
  };
  for (;;) {
    int got = ogg_sync_pageout(&oy, &og);
    if (got == 0) {
      char* buffer = ogg_sync_buffer(&oy, 4096);
      size_t n = std::fread(buffer, 1, 4096, f);
      ogg_sync_wrote(&oy, static_cast<long>(n));
      if (n == 0) break;
      continue;
    }
    if (got < 0) continue;
    if (ogg_page_bos(&og)) {
      endlink();
      ogg_stream_init(&os, ogg_page_serialno(&og));
      vorbis_info_init(&vi);
      vorbis_comment_init(&vc);
      headers = 0;
      instream = true;
    }
    if (!instream || ogg_stream_pagein(&os, &og) < 0) continue;
    while ((got = ogg_stream_packetout(&os, &op)) != 0) {
      if (got < 0) continue;
      if (headers < 3) {
        if (vorbis_synthesis_headerin(&vi, &vc, &op) < 0) break;
        if (++headers == 3) {
          vorbis_synthesis_init(&vd, &vi);
          vorbis_block_init(&vd, &vb);
          links.push_back({static_cast<int>(vi.rate), vi.channels});
        }
        continue;
      }
      if (vorbis_synthesis(&vb, &op) == 0) vorbis_synthesis_blockin(&vd, &vb);
      float** pcm;
      int frames;
      while ((frames = vorbis_synthesis_pcmout(&vd, &pcm)) > 0) {
        onpcm(pcm, frames, vi.channels);
        vorbis_synthesis_read(&vd, frames);
      }
    }
  }
  endlink();
  ogg_sync_clear(&oy);
  std::fclose(f);
}

// Whether the file's first packet is an Opus head: its first page's body
// starts with one.
bool opusfile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char page[27 + 255 + 8] = {};
  const std::size_t n = std::fread(page, 1, sizeof page, f);
  std::fclose(f);
  if (n < 28 || std::memcmp(page, "OggS", 4) != 0) return false;
  const std::size_t body = 27 + page[26];
  return n >= body + 8 && std::memcmp(page + body, "OpusHead", 8) == 0;
}

// libopusfile's decode loop, every link, from the 48 kHz frame it seeks to
// first: calls onpcm(pcm, frames, channels) with interleaved samples.
template <class OnPcm>
void readopus(const std::string& path, int64_t frame, std::vector<link>& links, OnPcm onpcm) {
  int error = 0;
  OggOpusFile* of = op_open_file(path.c_str(), &error);
  if (!of) return;
  if (frame <= 0 || op_pcm_seek(of, frame) == 0) {
    for (int i = 0; i < op_link_count(of); ++i) links.push_back({48000, op_channel_count(of, i)});
    std::vector<float> pcm(5760 * 8);
    int link = 0, frames;
    while ((frames = op_read_float(of, pcm.data(), static_cast<int>(pcm.size()), &link)) != 0) {
      if (frames == OP_HOLE) continue;  // libopusfile goes on past a hole
      if (frames < 0) break;
      onpcm(pcm.data(), frames, op_channel_count(of, link));
    }
  }
  op_free(of);
}

}  // namespace

// libopusfile's own decode at 48 kHz with the same conversion, from the
// frame it seeks to first (after a seek the decoder starts over with its
// pre-roll, so its sound differs slightly from an unbroken decode).
decoded decodeopusfrom(const std::string& path, int64_t frame) {
  decoded out;
  readopus(path, frame, out.links, [&out](const float* pcm, int frames, int channels) {
    for (int i = 0; i < frames * channels; ++i) out.samples.push_back(to16(pcm[i]));
  });
  return out;
}

// Whether the file begins as native FLAC or as Ogg FLAC.
bool flacfile(const std::string& path, bool& ogg) {
  unsigned char head[64] = {};
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  const std::size_t got = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  ogg = got >= 28 && std::memcmp(head, "OggS", 4) == 0;
  if (got >= 4 && std::memcmp(head, "fLaC", 4) == 0) return true;
  return ogg && got >= 27u + head[26] + 5 && std::memcmp(head + 27 + head[26], "\x7F" "FLAC", 5) == 0;
}

// libFLAC's own decode of the whole file, each frame given to `write`.
bool runflac(const std::string& path, FLAC__StreamDecoderWriteCallback write, void* data) {
  bool ogg = false;
  if (!flacfile(path, ogg)) return false;
  FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
  auto error = [](const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {};
  const auto init = ogg ? FLAC__stream_decoder_init_ogg_file : FLAC__stream_decoder_init_file;
  if (init(decoder, path.c_str(), write, nullptr, error, data) == FLAC__STREAM_DECODER_INIT_STATUS_OK)
    FLAC__stream_decoder_process_until_end_of_stream(decoder);
  FLAC__stream_decoder_delete(decoder);
  return true;
}

flacdecoded decodeflac(const std::string& path) {
  flacdecoded out;
  runflac(path, [](const FLAC__StreamDecoder*, const FLAC__Frame* frame, const FLAC__int32* const buffer[], void* data) {
    auto& to = *static_cast<flacdecoded*>(data);
    to.rate = static_cast<int>(frame->header.sample_rate);
    to.channels = static_cast<int>(frame->header.channels);
    to.bits = static_cast<int>(frame->header.bits_per_sample);
    const double scale = std::ldexp(1.0, -(to.bits - 1));
    for (unsigned i = 0; i < frame->header.blocksize; ++i)
      for (int c = 0; c < to.channels; ++c) to.samples.push_back(static_cast<float>(buffer[c][i] * scale));
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }, &out);
  return out;
}

decoded decode(const std::string& path) {
  if (opusfile(path)) return decodeopusfrom(path, 0);
  bool ogg = false;
  if (flacfile(path, ogg)) {
    const flacdecoded flac = decodeflac(path);
    decoded out;
    out.links.push_back({flac.rate, flac.channels});
    // By 32768: a 16-bit file's own samples.
    for (float x : flac.samples)
      out.samples.push_back(static_cast<int16_t>(std::clamp(std::floor(x * 32768.0), -32768.0, 32767.0)));
    return out;
  }
  decoded out;
  decodefile(path, out.links, [&out](float** pcm, int frames, int channels) {
    for (int j = 0; j < frames; ++j)
      for (int k = 0; k < channels; ++k) out.samples.push_back(to16(pcm[k][j]));
  });
  return out;
}

uint64_t synthesize(const std::string& path) {
  std::vector<link> links;
  uint64_t frames = 0;
  auto count = [](const FLAC__StreamDecoder*, const FLAC__Frame* frame, const FLAC__int32* const[], void* data) {
    *static_cast<uint64_t*>(data) += frame->header.blocksize;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  };
  if (runflac(path, count, &frames)) return frames;
  if (opusfile(path)) {
    readopus(path, 0, links, [&frames](const float*, int n, int) { frames += static_cast<uint64_t>(n); });
    return frames;
  }
  decodefile(path, links, [&frames](float**, int n, int) { frames += static_cast<uint64_t>(n); });
  return frames;
}

}  // namespace reference
