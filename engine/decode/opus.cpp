#include "engine/decode/opus.h"

#include <algorithm>
#include <cstring>

#include "engine/decode/convert.h"
#include "engine/streams/diag.h"

namespace zelov {

namespace {

// libopusfile reads through the run's reader, as libvorbisfile does.
int opusread(void* from, unsigned char* out, int bytes) {
  return static_cast<int>(sourceread(out, 1, static_cast<std::size_t>(std::max(bytes, 0)), from));
}
int opusseek(void* from, opus_int64 offset, int whence) { return sourceseek(from, offset, whence); }
opus_int64 opustellsource(void* from) { return sourceposition(*static_cast<source*>(from)); }
int opusclose(void* from) { return sourceclose(from); }
const OpusFileCallbacks opuscallbacks = {opusread, opusseek, opustellsource, opusclose};

const char* const notopus = "This Ogg bitstream does not contain Vorbis audio data.\n";
const char* const corruptopus = "Corrupt secondary header.  Exiting.\n";

// A link's settings and comments as announce takes them. The bitrate is the
// whole file's average (its bytes over its length) where libopusfile
// measured it: Opus has no nominal one.
linkinfo opuslink(const run& r, const OpusHead& head, const OpusTags& tags) {
  const opus_int32 average = r.of ? op_bitrate(r.of, -1) : 0;
  return {opusrate, head.channel_count, average > 0 ? average : 0, 0,
          tags.vendor ? tags.vendor : "", tags.user_comments, tags.comment_lengths, tags.comments};
}

// Hands on `frames` frames of r.opuspcm from frame `from`, a chunk at a
// time, each stamped with its time in the file.
void handon(run& r, int from, int frames, int channels, double start) {
  for (int done = 0; done < frames && !r.halted();) {
    const int take = std::min(frames - done, r.chunklimit);
    if (r.gatherfill == 0) r.gathertime = start + static_cast<double>(done) / opusrate;
    convertinterleaved(r.opuspcm + static_cast<std::ptrdiff_t>(from + done) * channels, take * channels,
                       reinterpret_cast<int16_t*>(r.s.gatherblock + r.gatherfill), r.convertvolume());
    acceptchunk(r, static_cast<uint32_t>(take * channels * bytespersample));
    done += take;
  }
}

}  // namespace

bool isopushead(const ogg_packet& packet) {
  return packet.bytes >= 8 && std::memcmp(packet.packet, "OpusHead", 8) == 0;
}

void releaseopus(run& r) {
  if (r.opusdecoder) opus_multistream_decoder_destroy(r.opusdecoder);
  r.opusdecoder = nullptr;
  if (r.opustagsready) opus_tags_clear(&r.opustags);
  r.opustagsready = false;
  r.linkcodec = codec::vorbis;
}

void readopuslink(run& r) {
  r.linkcodec = codec::opus;
  // More than two channels, a head of a later version or a damaged one:
  // not a stream this engine plays.
  if (opus_head_parse(&r.opushead, r.packet.packet, static_cast<std::size_t>(r.packet.bytes)) != 0 ||
      r.opushead.channel_count > 2)
    return r.fail(resultnotvorbis, notopus);

  // The comment header, which may span pages.
  bool tags = false;
  while (!tags) {
    const int got = ogg_stream_packetout(&r.logical, &r.packet);
    if (got > 0) {
      opus_tags_init(&r.opustags);
      r.opustagsready = true;
      if (opus_tags_parse(&r.opustags, r.packet.packet, static_cast<std::size_t>(r.packet.bytes)) != 0)
        return r.fail(resultbadheader, corruptopus);
      tags = true;
    } else if (got < 0) {
      return r.fail(resultbadheader, corruptopus);
    } else {
      const int page = ogg_sync_pageout(&r.sync, &r.page);
      if (page > 0) ogg_stream_pagein(&r.logical, &r.page);
      else if (page == 0 && r.readblock() == 0)
        return r.fail(resultshortheaders, "End of file before finding all Vorbis headers!\n");
    }
  }

  if (r.linkrate > 0) r.linkstart += static_cast<double>(r.linkframes) / r.linkrate;
  r.linkframes = 0;
  r.linkrate = opusrate;
  announce(r, opuslink(r, r.opushead, r.opustags));
  if (r.halted()) return;
  r.serial = r.logical.serialno;

  int error = 0;
  r.opusdecoder = opus_multistream_decoder_create(opusrate, r.opushead.channel_count, r.opushead.stream_count,
                                                  r.opushead.coupled_count, r.opushead.mapping, &error);
  if (!r.opusdecoder) return r.fail(resultbadheader, corruptopus);
  opus_multistream_decoder_ctl(r.opusdecoder, OPUS_SET_GAIN(r.opushead.output_gain));
  r.opuschannels = r.opushead.channel_count;
  r.opusskip = static_cast<int32_t>(r.opushead.pre_skip);
  r.opusgiven = 0;
}

void decodeopuspacket(run& r) {
  const int frames = opus_multistream_decode_float(r.opusdecoder, r.packet.packet, static_cast<opus_int32>(r.packet.bytes),
                                                   r.opuspcm, opusmaxframes, 0);
  if (frames < 0) {
    diagerr("Corrupt or missing data in bitstream; continuing...\n");
    return;
  }
  const int skipped = std::min(frames, r.opusskip);
  r.opusskip -= skipped;
  int64_t count = frames - skipped;
  // The link's last page says where its sound ends: the encoder padded its
  // last packet to a whole frame.
  const ogg_int64_t granule = ogg_page_granulepos(&r.page);
  if (ogg_page_eos(&r.page) && granule >= 0)
    count = std::clamp<int64_t>(granule - r.opushead.pre_skip - r.opusgiven, 0, count);
  r.opusgiven += count;
  const double start = r.linkstart + static_cast<double>(r.linkframes) / opusrate;
  r.linkframes += static_cast<uint64_t>(count);
  handon(r, skipped, static_cast<int>(count), r.opuschannels, start);
}

bool measureopus(run& r) {
  int error = 0;
  r.of = op_open_callbacks(&r.measuredinput, &opuscallbacks, nullptr, 0, &error);
  if (!r.of) return false;
  for (int link = 0; link < op_link_count(r.of); ++link) {
    if (op_channel_count(r.of, link) > 2) {  // the run's own pass refuses it
      op_free(r.of);
      r.of = nullptr;
      r.measuredinput = source{};  // closed with it
      return true;
    }
  }
  const ogg_int64_t total = op_pcm_total(r.of, -1);
  r.totalframes = total < 0 ? 0 : static_cast<uint32_t>(total);
  r.s.duration.store(total > 0 ? static_cast<double>(total) / opusrate : 0.0);
  r.s.seekable.store(op_seekable(r.of) != 0 && total > 0);
  return true;
}

bool seekopus(run& r, double seconds, bool toend) {
  const ogg_int64_t frame = toend ? op_pcm_total(r.of, -1) : static_cast<ogg_int64_t>(seconds * opusrate);
  return op_pcm_seek(r.of, frame) == 0;
}

double opustell(run& r) { return static_cast<double>(op_pcm_tell(r.of)) / opusrate; }

void decodeopusfromhere(run& r) {
  while (!r.halted()) {
    const double at = opustell(r);
    int link = 0;
    const int frames = op_read_float(r.of, r.opuspcm, opusmaxframes * 2, &link);
    if (frames == OP_HOLE) {
      diagerr("Corrupt or missing data in bitstream; continuing...\n");
      continue;
    }
    if (frames <= 0) return;  // the end, or damage it cannot pass
    r.framesdecoded += static_cast<uint64_t>(frames);
    // As libogg gives a serial number: its 32 bits, signed.
    const long serial = static_cast<int32_t>(op_serialno(r.of, link));
    if (serial != r.serial) {
      announce(r, opuslink(r, *op_head(r.of, link), *op_tags(r.of, link)));
      if (r.halted()) return;
      r.serial = serial;
    }
    handon(r, 0, frames, op_channel_count(r.of, link), at);
  }
}

}  // namespace zelov
