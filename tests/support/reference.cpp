#include "tests/support/reference.h"

#include <vorbis/codec.h>

#include <cmath>
#include <cstdio>

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

}  // namespace

decoded decode(const std::string& path) {
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
  decodefile(path, links, [&frames](float**, int n, int) { frames += static_cast<uint64_t>(n); });
  return frames;
}

}  // namespace reference
