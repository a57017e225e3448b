// The state of one run of the worker, shared by the decoding of its
// codecs: worker.cpp (the run, and Vorbis), opus.cpp (Opus) and flac.cpp
// (FLAC).
#pragma once
#include <ogg/ogg.h>
#include <opus/opus_multistream.h>
#include <opus/opusfile.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <cstdlib>

#include "engine/streams/diag.h"
#include "engine/decode/source.h"
#include "engine/streams/state.h"

namespace zelov {

constexpr int readsize = 4096;
// A block is queued once more than this is gathered; the first block of a
// mixed stream's start or seek once more than firstblocklimit is.
constexpr uint32_t gatherlimit = 100000;
constexpr uint32_t firstblocklimit = 16384;
// A chunk is at most 4096 16-bit samples' bytes (2048 floats). A block is
// found full only after a chunk has gone past the limit, and the next chunk
// is converted behind it before it is queued.
constexpr uint32_t chunksamples = 4096;
static_assert(gatherlimit + 2 * chunksamples * sizeof(int16_t) <= slotsize,
              "a block gathered past its limit and two more chunks fit a slot");

// The codec of a link, told by its first packet.
enum class codec { vorbis, opus };
// The most frames one Opus packet decodes to: 120 ms at 48 kHz.
constexpr int opusmaxframes = 5760;

struct run;
void releaseopus(run& r);
struct flacfile;
void releaseflac(run& r);

// A looping file whose whole pass converts to at most this many bytes is
// kept after a pass from its start and repeated from memory: seeking back
// and decoding again every few frames would keep a core busy (a one-sample
// file looped 44100 times a second), where a copy costs what any sound does.
constexpr uint32_t loopkeepsize = 65536;

// The state of one run, on the worker's stack.
struct run {
  explicit run(stream& played) : s(played) {}
  ~run() { std::free(loopbytes); }
  run(const run&) = delete;
  run& operator=(const run&) = delete;
  stream& s;

  // The volume the decoded samples are converted at: a mixed stream's is
  // applied in the mix instead.
  int32_t convertvolume() const { return s.mixed ? fullvolume : s.volume.load(); }

  // A failure or a cancel ends the run; a seek asked for interrupts the
  // decoding where it is.
  bool halted() const { return stop || s.seekpending(); }

  source input;  // the run's own pass
  // The file as libvorbisfile opened it to measure it, kept for seeking,
  // through a reader of its own.
  source measuredinput;
  OggVorbis_File vf{};
  bool measured = false;
  long serial = -1;  // the logical stream last announced
  int32_t result = 0;
  uint32_t totalframes = 0;
  bool stop = false;  // a failure or a cancel ends the run
  bool reopening = false;  // the device was closed for a link of another format
  bool deviceopen = false;
  // A web server's stream has gathered its first buffer; its blocks are
  // queued once more than blocklimit is gathered.
  bool buffered = false;
  uint32_t blocklimit = gatherlimit;
  // The device is to start once its first block is queued: a sound server
  // fed a block at once begins sooner than one started with nothing queued.
  bool startdue = false;

  int32_t chunklimit = chunksamples;  // frames of the current stream per chunk
  uint32_t gatherfill = 0;            // bytes gathered in s.gatherblock
  int nextslot = 0;                   // the play slot the next full block goes to
  bool blockqueued = false;           // a block was queued since the start or the last seek
  double gathertime = 0;              // the file time of the gathered sound's first frame

  // Where the stream being read stands in the file, without a seek: the
  // time its link starts at, and the frames decoded of it.
  double linkstart = 0;
  uint64_t linkframes = 0;
  int32_t linkrate = 0;
  float* planes[256] = {};  // the channels of a chunk after a seek (Vorbis has at most 255)
  uint64_t framesdecoded = 0;  // by libvorbisfile, since it last went back to the start
  bool looped = false;
  // A short looping file's pass as converted (loopkeepsize bytes, made on
  // first use): `loopkeeping` while a pass from the start is being kept,
  // `loopkept` once one was kept whole. A seek or a volume change (which
  // is taken as a seek) drops it, since it was converted at the old volume.
  char* loopbytes = nullptr;
  uint32_t loopfill = 0;
  bool loopkeeping = false;
  bool loopkept = false;

  ogg_sync_state sync{};
  ogg_stream_state logical{};  // the logical Ogg stream being read
  ogg_page page{};
  ogg_packet packet{};
  vorbis_info info{};
  vorbis_comment comment{};
  vorbis_dsp_state dsp{};
  vorbis_block block{};
  bool syncready = false, streamready = false, headersready = false, dspready = false,
       blockready = false;

  // An Opus link (opus.cpp): its decoder, its channels, the frames still
  // to drop from its start (the pre-skip), the frames given out, and where
  // its last page ends it.
  codec linkcodec = codec::vorbis;
  OpusMSDecoder* opusdecoder = nullptr;
  int opuschannels = 0;
  int32_t opusskip = 0;
  int64_t opusgiven = 0;
  OpusHead opushead{};
  OpusTags opustags{};
  bool opustagsready = false;
  float opuspcm[opusmaxframes * 2] = {};
  // A file that is Opus from its start is measured and sought through
  // libopusfile rather than libvorbisfile.
  OggOpusFile* of = nullptr;
  // A FLAC file (flac.cpp) is measured, sought and decoded through libFLAC
  // alone.
  flacfile* flac = nullptr;

  // Reads one block into the sync state; returns the bytes read.
  long readblock() {
    char* buffer = ogg_sync_buffer(&sync, readsize);
    long n = static_cast<long>(sourceread(buffer, 1, readsize, &input));
    ogg_sync_wrote(&sync, n);
    return n;
  }

  void closemeasured() {
    if (measured) ov_clear(&vf);  // closes its reader
    measured = false;
    if (of) op_free(of);  // closes its reader
    of = nullptr;
    if (flac) {
      releaseflac(*this);
      sourceclose(&measuredinput);  // libFLAC leaves its reader to us
    }
  }

  void fail(int32_t code, const char* line) {
    diagerr("%s", line);
    result = code;
    stop = true;
  }

  void releasestream() {
    releaseopus(*this);
    if (streamready) ogg_stream_clear(&logical);
    if (blockready) vorbis_block_clear(&block);
    if (dspready) vorbis_dsp_clear(&dsp);
    if (headersready) {
      vorbis_comment_clear(&comment);
      vorbis_info_clear(&info);
    }
    streamready = headersready = dspready = blockready = false;
  }
};

// What a link says of itself when it starts: the settings the queries and
// the Settings event show, and its comments.
struct linkinfo {
  int32_t rate;
  int channels;
  int32_t bitrate;
  int version;
  const char* vendor;
  char* const* comments;
  const int* lengths;
  int count;
  bool floats = false;  // its blocks carry floats (FLAC) rather than 16-bit samples
};

// Shared by the two codecs (worker.cpp): a link's settings made visible,
// the device of another format opened for it; a chunk converted at the end
// of the gathered sound taken; one block of the file read.
void announce(run& r, const linkinfo& link);
void acceptchunk(run& r, uint32_t bytes);

}  // namespace zelov
