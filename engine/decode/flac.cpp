#include "engine/decode/flac.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "engine/streams/diag.h"
#include "engine/streams/made.h"

namespace zelov {

// What libFLAC tells of the file, and the frames it decoded last, waiting
// to be handed on. libFLAC gives its frames through a callback, also from
// within a seek (the frame the seek landed in, from the sample asked for),
// and sometimes more than one a call (the silence it puts in place of a
// damaged frame, then the next), so frames are only kept there and handed
// on by the run's own loop, once the seek's bookkeeping is done.
struct flacfile {
  ~flacfile() {
    if (decoder) FLAC__stream_decoder_delete(decoder);
    if (comments) FLAC__metadata_object_delete(comments);
    std::free(texts);
    std::free(lengths);
    std::free(pcm);
  }
  FLAC__StreamDecoder* decoder = nullptr;
  source* reader = nullptr;
  // The file's length, measured once: libFLAC asks whether it is at the end
  // before every read.
  int64_t length = -1;
  bool haveinfo = false;
  uint32_t rate = 0, channels = 0, bits = 0;
  uint64_t total = 0;  // frames, 0 when STREAMINFO does not say
  FLAC__StreamMetadata* comments = nullptr;  // a copy of the VORBIS_COMMENT block
  char** texts = nullptr;
  int* lengths = nullptr;

  // The frames waiting: `pending` frames of interleaved floats from
  // `start`.
  float* pcm = nullptr;
  std::size_t pcmsize = 0;  // floats
  std::size_t pending = 0;
  uint64_t start = 0;
  uint64_t next = 0;  // the frame after the last one decoded
  bool atend = false;  // sought to the very end
};

namespace {

// The most silence a damaged stretch is heard as: a FLAC frame is at most
// 65535 frames, and a frame number read from damage may be anything.
constexpr uint32_t mostsilence = 65535;

FLAC__StreamDecoderReadStatus readcb(const FLAC__StreamDecoder*, FLAC__byte out[], std::size_t* bytes, void* data) {
  flacfile& f = *static_cast<flacfile*>(data);
  *bytes = sourceread(out, 1, *bytes, f.reader);
  return *bytes == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderSeekStatus seekcb(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* data) {
  flacfile& f = *static_cast<flacfile*>(data);
  return sourceseek(f.reader, static_cast<ogg_int64_t>(offset), SEEK_SET) == 0 ? FLAC__STREAM_DECODER_SEEK_STATUS_OK
                                                                               : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
}

FLAC__StreamDecoderTellStatus tellcb(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* data) {
  const int64_t at = sourceposition(*static_cast<flacfile*>(data)->reader);
  if (at < 0) return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
  *offset = static_cast<FLAC__uint64>(at);
  return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

// The reader's whole length, its place kept.
int64_t sourcelength(source& reader) {
  if (!reader.file) return static_cast<int64_t>(reader.size);
  const int64_t at = sourceposition(reader);
  if (at < 0 || sourceseek(&reader, 0, SEEK_END) != 0) return -1;
  const int64_t length = sourceposition(reader);
  return sourceseek(&reader, at, SEEK_SET) == 0 ? length : -1;
}

FLAC__StreamDecoderLengthStatus lengthcb(const FLAC__StreamDecoder*, FLAC__uint64* length, void* data) {
  const int64_t bytes = static_cast<flacfile*>(data)->length;
  if (bytes < 0) return FLAC__STREAM_DECODER_LENGTH_STATUS_ERROR;
  *length = static_cast<FLAC__uint64>(bytes);
  return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__bool eofcb(const FLAC__StreamDecoder*, void* data) {
  flacfile& f = *static_cast<flacfile*>(data);
  return f.length >= 0 && sourceposition(*f.reader) >= f.length;
}

// Makes room for `frames` more frames waiting, and gives where they go.
float* room(flacfile& f, std::size_t frames) {
  const std::size_t need = (f.pending + frames) * f.channels;
  if (need > f.pcmsize) {
    auto* grown = static_cast<float*>(std::realloc(f.pcm, need * sizeof(float)));
    if (!grown) return nullptr;
    f.pcm = grown;
    f.pcmsize = need;
  }
  return f.pcm + f.pending * f.channels;
}

// Silence of `frames` frames after those waiting.
bool addsilence(flacfile& f, std::size_t frames) {
  float* to = room(f, frames);
  if (!to) return false;
  std::fill(to, to + frames * f.channels, 0.0f);
  if (f.pending == 0) f.start = f.next;
  f.pending += frames;
  f.next += frames;
  return true;
}

// Keeps the frame as floats, after those waiting: a sample of b bits over
// 2^(b-1), so that a 16-bit sample is exactly what the 16-bit path gives
// the mix.
FLAC__StreamDecoderWriteStatus writecb(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                       const FLAC__int32* const buffer[], void* data) {
  flacfile& f = *static_cast<flacfile*>(data);
  const uint32_t channels = frame->header.channels, frames = frame->header.blocksize;
  if (!f.haveinfo || channels != f.channels || frame->header.sample_rate != f.rate)
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;  // a format STREAMINFO did not announce
  const uint64_t at = frame->header.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER
                          ? frame->header.number.sample_number
                          : f.next;
  // Frames lost to damage before this one that libFLAC did not fill in
  // itself are heard as silence of their length: at most a frame's, and
  // never past the length STREAMINFO gives, so that a damaged frame number
  // cannot make hours of silence.
  uint64_t gap = at > f.next ? std::min<uint64_t>(at - f.next, mostsilence) : 0;
  if (f.total > 0) gap = std::min(gap, f.total > f.next ? f.total - f.next : 0);
  if (gap > 0 && !addsilence(f, static_cast<std::size_t>(gap))) return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  float* to = room(f, frames);
  if (!to) return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  const uint32_t bits = frame->header.bits_per_sample ? frame->header.bits_per_sample : f.bits;
  const float scale = 1.0f / static_cast<float>(uint64_t{1} << (std::clamp<uint32_t>(bits, 4, 32) - 1));
  uint32_t i = 0;
#ifdef __SSE2__
  // Stereo, the common case, eight frames a step: the conversion costs a
  // few per cent of libFLAC's decoding rather than a fifth.
  if (channels == 2) {
    const __m128 factor = _mm_set1_ps(scale);
    auto four = [&](const FLAC__int32* from) {
      return _mm_mul_ps(_mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from))), factor);
    };
    const FLAC__int32 *left = buffer[0], *right = buffer[1];
    float* out = to;
    for (; i + 8 <= frames; i += 8, left += 8, right += 8, out += 16) {
      const __m128 l0 = four(left), r0 = four(right), l1 = four(left + 4), r1 = four(right + 4);
      _mm_storeu_ps(out, _mm_unpacklo_ps(l0, r0));
      _mm_storeu_ps(out + 4, _mm_unpackhi_ps(l0, r0));
      _mm_storeu_ps(out + 8, _mm_unpacklo_ps(l1, r1));
      _mm_storeu_ps(out + 12, _mm_unpackhi_ps(l1, r1));
    }
  }
#endif
  for (uint32_t c = 0; c < channels; ++c)
    for (uint32_t j = i; j < frames; ++j) to[j * channels + c] = static_cast<float>(buffer[c][j]) * scale;
  if (f.pending == 0) f.start = at;
  f.pending += frames;
  f.next = at + frames;
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void metadatacb(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* data) {
  flacfile& f = *static_cast<flacfile*>(data);
  if (block->type == FLAC__METADATA_TYPE_STREAMINFO) {
    const auto& info = block->data.stream_info;
    f.rate = info.sample_rate;
    f.channels = info.channels;
    f.bits = info.bits_per_sample;
    f.total = info.total_samples;
    f.haveinfo = f.rate > 0 && f.channels >= 1 && f.channels <= 8;
  } else if (block->type == FLAC__METADATA_TYPE_VORBIS_COMMENT && !f.comments) {
    f.comments = FLAC__metadata_object_clone(block);
  }
}

void errorcb(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {
  diagerr("Corrupt or missing data in bitstream; continuing...\n");
}

// Hands on the frames waiting, a chunk at a time.
void handon(run& r) {
  flacfile& f = *r.flac;
  const uint32_t channels = f.channels;
  std::size_t done = 0;
  while (done < f.pending && !r.halted()) {
    const std::size_t take = std::min<std::size_t>(f.pending - done, static_cast<std::size_t>(r.chunklimit));
    if (r.gatherfill == 0) r.gathertime = static_cast<double>(f.start + done) / f.rate;
    std::memcpy(r.s.gatherblock + r.gatherfill, f.pcm + done * channels, take * channels * sizeof(float));
    done += take;
    acceptchunk(r, static_cast<uint32_t>(take * channels * sizeof(float)));
  }
  // What a halt left unheard is dropped: a seek or the end follows.
  f.pending = 0;
}

const char* const badinfo = "This FLAC stream has no readable STREAMINFO block.\n";

}  // namespace

bool looksflac(source& reader) {
  unsigned char head[300] = {};
  const std::size_t got = sourcereadall(head, sizeof head, reader);
  sourceseek(&reader, 0, SEEK_SET);
  if (got >= 4 && std::memcmp(head, "fLaC", 4) == 0) return true;
  if (got >= 10 && std::memcmp(head, "ID3", 3) == 0) return true;  // libFLAC passes over the tag
  // An Ogg page whose first packet is FLAC's mapping header.
  if (got < 27 || std::memcmp(head, "OggS", 4) != 0) return false;
  const std::size_t packet = 27 + head[26];
  return got >= packet + 5 && std::memcmp(head + packet, "\x7F" "FLAC", 5) == 0;
}

bool measureflac(run& r) {
  const bool ogg = r.measuredinput.bytes ? std::memcmp(r.measuredinput.bytes, "OggS", 4) == 0 : [&] {
    char magic[4] = {};
    const bool read = sourcereadall(magic, 4, r.measuredinput) == 4;
    sourceseek(&r.measuredinput, 0, SEEK_SET);
    return read && std::memcmp(magic, "OggS", 4) == 0;
  }();
  flacfile* f = make<flacfile>();
  if (!f || !(f->decoder = FLAC__stream_decoder_new())) {
    unmake(f);
    return false;
  }
  f->reader = &r.measuredinput;
  f->length = sourcelength(r.measuredinput);
  FLAC__stream_decoder_set_metadata_respond(f->decoder, FLAC__METADATA_TYPE_VORBIS_COMMENT);
  const auto init = ogg ? FLAC__stream_decoder_init_ogg_stream : FLAC__stream_decoder_init_stream;
  if (init(f->decoder, readcb, seekcb, tellcb, lengthcb, eofcb, writecb, metadatacb, errorcb, f) !=
      FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    unmake(f);
    sourceseek(&r.measuredinput, 0, SEEK_SET);
    return false;
  }
  r.flac = f;
  FLAC__stream_decoder_process_until_end_of_metadata(f->decoder);
  if (!f->haveinfo) return true;  // the run's pass says what is wrong
  r.totalframes = static_cast<uint32_t>(std::min<uint64_t>(f->total, UINT32_MAX));
  // Seekable first: a caller that sees the length may seek at once.
  r.s.seekable.store(f->total > 0);
  r.s.duration.store(f->total > 0 ? static_cast<double>(f->total) / f->rate : 0.0);
  return true;
}

void playflac(run& r) {
  flacfile& f = *r.flac;
  if (!f.haveinfo) return r.fail(resultbadheader, badinfo);
  // The comments as announce takes them, each text ended by libFLAC.
  int count = 0;
  const char* vendor = "";
  if (f.comments) {
    const auto& block = f.comments->data.vorbis_comment;
    vendor = reinterpret_cast<const char*>(block.vendor_string.entry ? block.vendor_string.entry : nullptr);
    if (!vendor) vendor = "";
    count = static_cast<int>(block.num_comments);
    f.texts = static_cast<char**>(std::calloc(count + 1, sizeof(char*)));
    f.lengths = static_cast<int*>(std::calloc(count + 1, sizeof(int)));
    if (!f.texts || !f.lengths) count = 0;
    for (int i = 0; i < count; ++i) {
      f.texts[i] = reinterpret_cast<char*>(block.comments[i].entry);
      f.lengths[i] = static_cast<int>(block.comments[i].length);
    }
  }
  // The file's average: its bytes over its length.
  const int64_t bytes = f.length;
  const double seconds = r.s.duration.load();
  const int32_t bitrate = bytes > 0 && seconds > 0 ? static_cast<int32_t>(std::min(8.0 * bytes / seconds, 2.0e9)) : 0;
  linkinfo link{static_cast<int32_t>(f.rate), static_cast<int>(f.channels), bitrate, 0, vendor, f.texts, f.lengths,
                count, true};
  r.linkrate = static_cast<int32_t>(f.rate);
  announce(r, link);
  if (r.halted()) return;
  r.serial = 0;
  decodeflacfromhere(r);
}

bool seekflac(run& r, double seconds, bool toend) {
  flacfile& f = *r.flac;
  f.pending = 0;
  const uint64_t frame = toend ? f.total : static_cast<uint64_t>(std::max(seconds, 0.0) * f.rate);
  // libFLAC seeks only to a frame before the last: the end is simply where
  // the decoding stops.
  f.atend = frame >= f.total;
  if (f.atend) {
    f.next = f.total;
    return true;
  }
  f.next = frame;
  // The frame the seek lands in is kept from the frame asked for.
  if (FLAC__stream_decoder_seek_absolute(f.decoder, frame)) return true;
  FLAC__stream_decoder_flush(f.decoder);
  return false;
}

double flactell(const run& r) {
  const flacfile& f = *r.flac;
  return static_cast<double>(f.pending ? f.start : f.next) / f.rate;
}

void decodeflacfromhere(run& r) {
  flacfile& f = *r.flac;
  while (!r.halted()) {
    if (f.pending) {
      r.framesdecoded += f.pending;
      handon(r);
      continue;
    }
    if (f.atend || FLAC__stream_decoder_get_state(f.decoder) == FLAC__STREAM_DECODER_END_OF_STREAM) return;
    // A file cut short ends where its frames end, whatever length
    // STREAMINFO gave it.
    if (!FLAC__stream_decoder_process_single(f.decoder)) return;  // damage it cannot pass
  }
}

void releaseflac(run& r) {
  unmake(r.flac);
  r.flac = nullptr;
}

}  // namespace zelov
