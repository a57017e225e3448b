// One run of the worker: measure the stream, then read, decode, convert and
// queue it to the wave-out device, one logical stream after another.
#include "worker.h"

#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "convert.h"
#include "diag.h"
#include "state.h"
#include "waveout.h"

namespace zelov {

constexpr int readsize = 4096;
// A block is queued once more than this is gathered.
constexpr uint32_t gatherlimit = 100000;
constexpr uint32_t chunksamples = 4096;  // a chunk is at most 4096 samples
static_assert(gatherlimit + chunksamples * sizeof(int16_t) <= slotsize,
              "a full gathered block and one more chunk fit a slot");

namespace {

// The state of one run, on the worker's stack.
struct run {
  FILE* input = nullptr;
  int32_t result = 0;
  uint32_t totalframes = 0;
  bool stop = false;  // a failure or a cancel ends the run
  bool reopening = false;  // the device was closed for a link of another format
  bool deviceopen = false;
  // The device is to start once its first block is queued: a sound server
  // fed a block at once begins sooner than one started with nothing queued.
  bool startdue = false;

  int32_t chunklimit = chunksamples;  // frames of the current stream per chunk
  uint32_t gatherfill = 0;            // bytes gathered in gatherblock
  int nextslot = 0;                   // the play slot the next full block goes to

  ogg_sync_state sync{};
  ogg_stream_state stream{};
  ogg_page page{};
  ogg_packet packet{};
  vorbis_info info{};
  vorbis_comment comment{};
  vorbis_dsp_state dsp{};
  vorbis_block block{};
  bool syncready = false, streamready = false, headersready = false, dspready = false,
       blockready = false;

  // Reads one block into the sync state; returns the bytes read.
  long readblock() {
    char* buffer = ogg_sync_buffer(&sync, readsize);
    long n = static_cast<long>(std::fread(buffer, 1, readsize, input));
    ogg_sync_wrote(&sync, n);
    return n;
  }

  void fail(int32_t code, const char* line) {
    diagerr("%s", line);
    result = code;
    stop = true;
  }

  void releasestream() {
    if (streamready) ogg_stream_clear(&stream);
    if (blockready) vorbis_block_clear(&block);
    if (dspready) vorbis_dsp_clear(&dsp);
    if (headersready) {
      vorbis_comment_clear(&comment);
      vorbis_info_clear(&info);
    }
    streamready = headersready = dspready = blockready = false;
  }
};

bool drainoutput(run& r);

static const char* const corruptheader = "Corrupt secondary header.  Exiting.\n";

// The three header packets of the logical stream whose first page is in
// r.page. On failure sets the result and r.stop.
void readheaders(run& r) {
  ogg_stream_init(&r.stream, ogg_page_serialno(&r.page));
  vorbis_info_init(&r.info);
  vorbis_comment_init(&r.comment);
  r.streamready = r.headersready = true;

  if (ogg_stream_pagein(&r.stream, &r.page) < 0)
    return r.fail(resultfirstpage, "Error reading first page of Ogg bitstream data.\n");
  if (ogg_stream_packetout(&r.stream, &r.packet) != 1)
    return r.fail(resultfirstpacket, "Error reading initial header packet.\n");
  if (vorbis_synthesis_headerin(&r.info, &r.comment, &r.packet) < 0)
    return r.fail(resultnotvorbis, "This Ogg bitstream does not contain Vorbis audio data.\n");

  int i = 0;
  while (i < 2) {
    while (i < 2) {
      int got = ogg_sync_pageout(&r.sync, &r.page);
      if (got == 0) break;
      if (got < 0) continue;
      ogg_stream_pagein(&r.stream, &r.page);
      while (i < 2) {
        got = ogg_stream_packetout(&r.stream, &r.packet);
        if (got == 0) break;
        // A damaged comment or codebook header leaves libvorbis with no
        // vendor text or with a cleared info (no channels): stop here.
        if (got < 0 || vorbis_synthesis_headerin(&r.info, &r.comment, &r.packet) < 0)
          return r.fail(resultbadheader, corruptheader);
        ++i;
      }
    }
    // One more block is read after the third header, as before decoding.
    if (r.readblock() == 0 && i < 2)
      return r.fail(resultshortheaders, "End of file before finding all Vorbis headers!\n");
  }
}

// Announces the stream and makes its settings visible to the queries.
void publishstream(run& r) {
  for (int i = 0; i < r.comment.comments; ++i) diagerr("%s\n", r.comment.user_comments[i]);
  diagerr("\nBitstream is %d channel, %ldHz\n", r.info.channels, static_cast<long>(r.info.rate));

  // A chained link of another rate or channel count cannot play on the
  // device opened for the links before it: let that device play out, close
  // it, and open a new one for this link at its first chunk.
  if (r.deviceopen && (static_cast<DWORD>(r.info.rate) != waveformat.nSamplesPerSec ||
                        r.info.channels != waveformat.nChannels)) {
    if (!drainoutput(r)) {
      if (wavelost) r.result = resultdeviceopen;
      r.stop = true;
      return;
    }
    waveclose();
    r.deviceopen = false;
    r.reopening = true;
  }

  const uint32_t rate = static_cast<uint32_t>(r.info.rate);
  totalseconds.store(rate == 0 ? 0 : r.totalframes / rate);
  enginetrace("Numero de segundos %d \n ", static_cast<int>(totalseconds.load()));

  streambitrate.store(static_cast<int32_t>(r.info.bitrate_nominal));
  streamversion.store(r.info.version);
  streamrate.store(static_cast<int32_t>(r.info.rate));
  streamchannels.store(r.info.channels);
  setvendor(r.comment.vendor);

  if (r.info.channels < 1 || r.comment.vendor == nullptr)
    return r.fail(resultbadheader, corruptheader);
  r.chunklimit = static_cast<int32_t>(chunksamples) / r.info.channels;

  if (vorbis_synthesis_init(&r.dsp, &r.info) != 0) return r.fail(resultbadheader, corruptheader);
  r.dspready = true;
  if (vorbis_block_init(&r.dsp, &r.block) != 0) return r.fail(resultbadheader, corruptheader);
  r.blockready = true;
}

// Queues a block, and starts the device if its start is due.
bool queue(run& r, waveslot& slot, uint32_t length) {
  const bool queued = wavequeue(slot, length);
  if (r.startdue) {
    r.startdue = false;
    if (!pauseflag.load()) {
      wavestart();
      if (pauseflag.load()) waveOutPause(waveout.load());  // a "pause" came meanwhile
    }
  }
  return queued;
}

// Hands one converted chunk of `bytes` to the output: gathers it, and
// queues a block through the next play slot once more than 100000 bytes
// are gathered.
void acceptchunk(run& r, uint32_t bytes) {
  if (!r.deviceopen) {
    if (!waveopen()) {
      enginetrace("Error opening waveout \n");
      r.result = resultdeviceopen;
      r.stop = true;
      return;
    }
    enginetrace("Iniciou wave out bem \n");
    r.deviceopen = true;
    // A device reopened in the middle of a run plays on unless the listener
    // has paused it; the first device waits for the first "resume", which
    // may already have come while there was no device to start.
    const bool resumed = resumepending.exchange(0) != 0;
    r.startdue = (r.reopening || resumed) && !pauseflag.load();
    r.reopening = false;
  }
  if (cancelflag.load()) {
    r.stop = true;
    return;
  }
  if (pauseflag.load()) {
    cancelwait(50);
    if (cancelflag.load()) {
      r.stop = true;
      return;
    }
  }
  pcmbytes.fetch_add(bytes);
  waveflag.store(1);

  // The chunk was converted in place at the end of the gathered sound.
  const bool blockfull = r.gatherfill > gatherlimit;
  r.gatherfill += bytes;
  if (!blockfull) return;

  waveslot& slot = playslots[r.nextslot];
  if (!wavereclaim(slot)) {
    if (wavelost) r.result = resultdeviceopen;
    r.stop = true;
    return;
  }
  std::swap(slot.data, gatherblock);
  r.nextslot ^= 1;
  queue(r, slot, r.gatherfill);
  r.gatherfill = 0;
}

// Decodes the audio of the current logical stream until it ends or the run
// must stop.
void decodestream(run& r) {
  bool ended = false;
  while (!ended && !r.stop) {
    int got = ogg_sync_pageout(&r.sync, &r.page);
    if (got == 0) {
      if (r.readblock() == 0) ended = true;
      continue;
    }
    if (got < 0) {
      diagerr("Corrupt or missing data in bitstream; continuing...\n");
      continue;
    }
    ogg_stream_pagein(&r.stream, &r.page);
    while (!r.stop) {
      got = ogg_stream_packetout(&r.stream, &r.packet);
      if (got == 0) {
        if (ogg_page_eos(&r.page)) ended = true;
        break;
      }
      if (got < 0) continue;
      if (vorbis_synthesis(&r.block, &r.packet) == 0) vorbis_synthesis_blockin(&r.dsp, &r.block);
      float** pcm;
      int frames;
      while (!r.stop && (frames = vorbis_synthesis_pcmout(&r.dsp, &pcm)) > 0) {
        const int take = std::min(frames, r.chunklimit);
        // Converted straight behind the sound gathered so far; it counts as
        // gathered only once acceptchunk takes it.
        convertframes(pcm, r.info.channels, take, reinterpret_cast<int16_t*>(gatherblock + r.gatherfill));
        acceptchunk(r, static_cast<uint32_t>(take * r.info.channels * 2));
        vorbis_synthesis_read(&r.dsp, take);
      }
    }
  }
}

// Frames in the whole file by libvorbisfile, or 0 when it cannot tell; the
// file is closed afterwards. Returns false when there is no file.
bool measure(FILE* file, uint32_t& totalframes) {
  if (!file) return false;
  OggVorbis_File vf;
  if (ov_open(file, &vf, nullptr, 0) < 0) {
    enginetrace("Input does not appear to be an Ogg bitstream.\n");
    std::fclose(file);  // a failed ov_open leaves the stream to us
  } else {
    enginetrace("Valid ogg bitstream\n");
    ogg_int64_t total = ov_pcm_total(&vf, -1);
    totalframes = total < 0 ? 0 : static_cast<uint32_t>(total);
    ov_clear(&vf);  // closes the file
  }
  enginetrace("Filesize %d \n ", static_cast<int>(totalframes));
  return true;
}

// Opens the input by its ANSI name, or by its wide name when it has one.
FILE* openinput(const char* path, const char16_t* widepath) {
  return widepath ? widefopen(widepath) : std::fopen(path, "rb");
}

int32_t cantopen(const char* path, const char16_t* widepath) {
  char shown[pathsize];
  if (widepath) {  // the wide name as far as plain ASCII shows it
    std::size_t n = 0;
    for (; widepath[n] != u'\0' && n + 1 < sizeof shown; ++n) shown[n] = widepath[n] < 128 ? static_cast<char>(widepath[n]) : '?';
    shown[n] = '\0';
    path = shown;
  }
  diagout("can't open [%s]\n", path);
  diagperror("reason:");
  return resultcantopen;
}

// Queues what is gathered and waits until the device has played everything
// it holds. False when a cancel was seen first or the device was lost.
bool drainoutput(run& r) {
  bool tailqueued = false;
  if (r.gatherfill > 0) {
    std::memcpy(tailslot.data, gatherblock, r.gatherfill);
    tailqueued = queue(r, tailslot, r.gatherfill);
    r.gatherfill = 0;
  }
  // Blocks play in order: the tail's end means everything before it has
  // played. Without a tail on the device, wait for the play slots instead
  // so that the last blocks are not cut off by the close.
  if (tailqueued) return wavewaitdone(tailslot);
  return wavereclaim(playslots[r.nextslot]) && wavereclaim(playslots[r.nextslot ^ 1]);
}

// The end of a run that got past opening its input.
void finishrun(run& r) {
  if (r.syncready) ogg_sync_clear(&r.sync);
  diagerr("Done.\n");
  std::fclose(r.input);

  // Plays out what is left, unless the run was cancelled or lost its device.
  if (waveout.load() && !cancelflag.load() && !wavelost) {
    if (!drainoutput(r) && wavelost) r.result = resultdeviceopen;
  }
  waveclose();
}

}  // namespace

int32_t playworker(const char* path, const char16_t* widepath) {
  pcmbytes.store(0);
  totalseconds.store(0);
  run r;
  diagout("Testando *** \n");

  if (filepathtoolong) {
    errno = ENAMETOOLONG;
    return cantopen(path, widepath);
  }
  FILE* measured = openinput(path, widepath);
  if (!measured || !measure(measured, r.totalframes)) return cantopen(path, widepath);
  r.input = openinput(path, widepath);
  if (!r.input) return cantopen(path, widepath);

  if (wavecount() == 0) {
    r.result = resultnodevice;
    finishrun(r);
    return r.result;
  }

  ogg_sync_init(&r.sync);
  r.syncready = true;
  for (;;) {
    const long n = r.readblock();
    diagout("Buffers lidos %d \n", static_cast<int>(n));
    if (ogg_sync_pageout(&r.sync, &r.page) != 1) {
      if (n < readsize) break;
      diagerr("Input does not appear to be an Ogg bitstream.\n");
      r.result = resultnotogg;
      break;
    }
    readheaders(r);
    if (!r.stop) publishstream(r);
    if (!r.stop) decodestream(r);
    r.releasestream();
    if (r.stop) break;
  }
  finishrun(r);
  return r.result;
}

DWORD WINAPI playthread(LPVOID) {
  lastresult.store(0);
  const int32_t result = playworker(filepath, wideopen ? widefilepath : nullptr);
  playstate.store(result);
  lastresult.store(result);
  workerlive.store(0);
  workerdone();
  return static_cast<DWORD>(result);
}

}  // namespace zelov
