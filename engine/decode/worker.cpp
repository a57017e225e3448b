// One run of the worker: measure the stream, then read, decode, convert and
// queue it to the wave-out device, one logical stream after another. After
// a seek the run decodes through libvorbisfile, which found the place.
#include "engine/decode/worker.h"

#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/decode/convert.h"
#include "engine/streams/diag.h"
#include "engine/decode/flac.h"
#include "engine/decode/opus.h"
#include "engine/output/mixer.h"
#include "engine/output/output.h"
#include "engine/decode/run.h"
#include "engine/decode/source.h"
#include "engine/net/fetch.h"
#include "engine/streams/library.h"
#include "engine/streams/state.h"
#include "engine/output/waveout.h"

namespace zelov {

namespace {

bool drainoutput(run& r, bool last);
void seekdecode(run& r);

// A Vorbis link's settings and comments as announce takes them.
linkinfo vorbislink(const vorbis_info& info, const vorbis_comment& comment) {
  return {static_cast<int32_t>(info.rate), info.channels, static_cast<int32_t>(info.bitrate_nominal), info.version,
          comment.vendor, comment.user_comments, comment.comment_lengths, comment.comments};
}

static const char* const corruptheader = "Corrupt secondary header.  Exiting.\n";

// The three header packets of the logical stream whose first page is in
// r.page. On failure sets the result and r.stop.
void readheaders(run& r) {
  ogg_stream_init(&r.logical, ogg_page_serialno(&r.page));
  vorbis_info_init(&r.info);
  vorbis_comment_init(&r.comment);
  r.streamready = r.headersready = true;

  if (ogg_stream_pagein(&r.logical, &r.page) < 0)
    return r.fail(resultfirstpage, "Error reading first page of Ogg bitstream data.\n");
  if (ogg_stream_packetout(&r.logical, &r.packet) != 1)
    return r.fail(resultfirstpacket, "Error reading initial header packet.\n");
  // A link of the codec that did not measure the file cannot be sought
  // through it.
  const bool opus = r.s.allcodecs && isopushead(r.packet);
  if (opus ? r.of == nullptr : !r.measured) r.s.seekable.store(false);
  if (opus) return readopuslink(r);
  if (vorbis_synthesis_headerin(&r.info, &r.comment, &r.packet) < 0)
    return r.fail(resultnotvorbis, "This Ogg bitstream does not contain Vorbis audio data.\n");

  int i = 0;
  while (i < 2) {
    while (i < 2) {
      int got = ogg_sync_pageout(&r.sync, &r.page);
      if (got == 0) break;
      if (got < 0) continue;
      ogg_stream_pagein(&r.logical, &r.page);
      while (i < 2) {
        got = ogg_stream_packetout(&r.logical, &r.packet);
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

// What a link that does not say its rate is taken to have.
constexpr int64_t assumedbitrate = 128000;

// A stream from a web server reads its headers as they come; then, before
// its first sound, it gathers its buffer's time at its link's own rate (at
// 128 kbit/s when the link does not say its rate, as an Opus link does
// not), and gathers that again whenever it runs dry or a seek starts a new
// connection. A live stream's blocks hold an eighth of that time at most:
// it has only its buffer's time in hand, and a block is queued only once
// it is whole; the most of it is to stay in the buffer, which gathers again
// only once it has run dry. (A file comes as fast as its server sends it.)
void bufferlink(run& r, const linkinfo& link) {
  const int64_t ms = std::max(r.s.bufferms.load(), 0);
  const int64_t rate = link.bitrate > 0 ? link.bitrate : assumedbitrate;
  r.input.prebuffer = static_cast<uint32_t>(rate / 8 * ms / 1000);
  fetchsetprebuffer(*r.input.net, r.input.prebuffer);
  const int64_t sound = int64_t{link.rate} * link.channels * (link.floats ? 4 : 2);
  if (!r.input.seekable) r.blocklimit = static_cast<uint32_t>(std::clamp<int64_t>(sound * ms / 8000, 1, gatherlimit));
}

// Waits for the first buffer before the first sound, counting what the
// reads of the headers brought along.
void gatherfirst(run& r) {
  if (r.buffered) return;
  r.buffered = true;
  long held = 0;
  if (r.syncready) held += r.sync.fill - r.sync.returned;
  if (r.streamready) held += r.logical.body_fill - r.logical.body_returned;
  const uint32_t bytes = r.input.prebuffer;
  fetchwaitfor(*r.input.net, bytes > held ? bytes - static_cast<uint32_t>(held) : 0, r.s.cancelflag);
}

}  // namespace

// Announces a logical stream and makes its settings visible to the queries.
void announce(run& r, const linkinfo& link) {
  for (int i = 0; i < link.count; ++i) diagerr("%s\n", link.comments[i]);
  diagerr("\nBitstream is %d channel, %ldHz\n", link.channels, static_cast<long>(link.rate));

  // A chained link of another rate or channel count cannot play on the
  // device opened for the links before it: let that device play out, close
  // it, and open a new one for this link at its first chunk.
  if (r.deviceopen && (static_cast<DWORD>(link.rate) != r.s.waveformat.nSamplesPerSec ||
                        link.channels != r.s.waveformat.nChannels || link.floats != r.s.floatblocks)) {
    if (!drainoutput(r, false)) {
      if (r.s.seekpending()) return;  // the listener moved on meanwhile
      if (r.s.wavelost) r.result = resultdeviceopen;
      r.stop = true;
      return;
    }
    waveclose(r.s);
    r.deviceopen = false;
    r.reopening = true;
  }

  const uint32_t rate = static_cast<uint32_t>(link.rate);
  r.s.totalseconds.store(rate == 0 ? 0 : r.totalframes / rate);
  enginetrace("Numero de segundos %d \n ", static_cast<int>(r.s.totalseconds.load()));

  r.s.streambitrate.store(link.bitrate);
  r.s.streamversion.store(link.version);
  r.s.streamrate.store(link.rate);
  r.s.streamchannels.store(link.channels);
  r.s.floatblocks = link.floats;
  if (r.input.net) bufferlink(r, link);
  setvendor(r.s, link.vendor);
  settags(r.s, link.comments, link.lengths, link.count);

  runready(r.s);  // the length and the comments are known
  if (link.channels < 1 || link.vendor == nullptr)
    return r.fail(resultbadheader, corruptheader);
  if (r.input.net) gatherfirst(r);
  // A chunk is at most chunksamples 16-bit samples' bytes, of floats half
  // as many samples.
  r.chunklimit = static_cast<int32_t>(chunksamples) / link.channels / (link.floats ? 2 : 1);
}

namespace {

// Announces the stream just read and readies its decoding (an Opus link
// did both as it read its headers).
void publishstream(run& r) {
  if (r.linkcodec == codec::opus) return;
  if (r.linkrate > 0) r.linkstart += static_cast<double>(r.linkframes) / r.linkrate;
  r.linkframes = 0;
  r.linkrate = static_cast<int32_t>(r.info.rate);
  announce(r, vorbislink(r.info, r.comment));
  if (r.halted()) return;
  r.serial = r.logical.serialno;

  if (vorbis_synthesis_init(&r.dsp, &r.info) != 0) return r.fail(resultbadheader, corruptheader);
  r.dspready = true;
  if (vorbis_block_init(&r.dsp, &r.block) != 0) return r.fail(resultbadheader, corruptheader);
  r.blockready = true;
}

// Starts the device if its start is due.
void startifdue(run& r) {
  if (!r.startdue) return;
  r.startdue = false;
  if (!r.s.pauseflag.load()) {
    wavestart(r.s);
    if (r.s.pauseflag.load()) outpause(r.s, r.s.waveout.load());  // a "pause" came meanwhile
  }
}

// Tells a mixed stream's voice where its file ends, after the block just
// queued: the count of its bytes mixed that the file's length comes to
// (for a crossfade into a file that follows). Unknown while it loops.
void markend(run& r, const waveslot& slot, uint32_t length) {
  voice& v = *r.s.mixvoice;
  const double duration = r.s.duration.load();
  const uint32_t frame = v.framebytes();
  if (r.s.looping.load() || duration <= 0 || v.rate <= 0 || frame == 0) {
    v.endbytes.store(UINT64_MAX, std::memory_order_release);
    return;
  }
  const double after = duration - slot.time - static_cast<double>(length / frame) / v.rate;
  const uint64_t left = after > 0 ? static_cast<uint64_t>(std::llround(after * v.rate)) * frame : 0;
  v.endbytes.store(v.queuedbytes + left, std::memory_order_release);
}

// Queues a block, and starts the device if its start is due.
bool queue(run& r, waveslot& slot, uint32_t length) {
  const bool queued = wavequeue(r.s, slot, length);
  if (queued && r.s.mixed) markend(r, slot, length);
  startifdue(r);
  return queued;
}

}  // namespace

// Hands one converted chunk of `bytes` to the output: gathers it, and
// queues a block through the next play slot once more than 100000 bytes
// are gathered.
void acceptchunk(run& r, uint32_t bytes) {
  if (r.loopkeeping) {
    if (r.loopfill + bytes <= loopkeepsize) {
      std::memcpy(r.loopbytes + r.loopfill, r.s.gatherblock + r.gatherfill, bytes);
      r.loopfill += bytes;
    } else {
      r.loopkeeping = false;  // too long to be worth keeping
    }
  }
  if (!r.deviceopen) {
    if (!waveopen(r.s)) {
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
    const bool resumed = r.s.resumepending.exchange(0) != 0;
    r.startdue = (r.reopening || resumed) && !r.s.pauseflag.load();
    r.reopening = false;
  }
  if (r.s.cancelflag.load()) {
    r.stop = true;
    return;
  }
  if (r.s.pauseflag.load()) {
    cancelwait(r.s, waitstepms);
    if (r.s.cancelflag.load()) {
      r.stop = true;
      return;
    }
  }
  r.s.pcmbytes.fetch_add(bytes);
  r.s.waveflag.store(1);

  // The chunk was converted in place at the end of the gathered sound. A
  // mixed stream's first block after a start or a seek is a short one, so
  // that the mix has the sound sooner; the decoding of the next one takes
  // a small part of its length.
  const uint32_t limit = std::min(r.s.mixed && !r.blockqueued ? firstblocklimit : gatherlimit, r.blocklimit);
  const bool blockfull = r.gatherfill > limit;
  r.gatherfill += bytes;
  if (!blockfull) return;

  waveslot& slot = r.s.playslots[r.nextslot];
  if (!wavereclaim(r.s, slot)) {
    if (r.s.seekpending()) return;  // what is gathered will not be heard
    if (r.s.wavelost) r.result = resultdeviceopen;
    r.stop = true;
    return;
  }
  std::swap(slot.data, r.s.gatherblock);
  slot.time = r.gathertime;
  r.nextslot ^= 1;
  queue(r, slot, r.gatherfill);
  r.gatherfill = 0;
  r.blockqueued = true;
}

namespace {

// Decodes the audio of the current logical stream until it ends or the run
// must stop.
void decodestream(run& r) {
  bool ended = false;
  while (!ended && !r.halted()) {
    int got = ogg_sync_pageout(&r.sync, &r.page);
    if (got == 0) {
      if (r.readblock() == 0) ended = true;
      continue;
    }
    if (got < 0) {
      diagerr("Corrupt or missing data in bitstream; continuing...\n");
      continue;
    }
    ogg_stream_pagein(&r.logical, &r.page);
    while (!r.halted()) {
      got = ogg_stream_packetout(&r.logical, &r.packet);
      if (got == 0) {
        if (ogg_page_eos(&r.page)) ended = true;
        break;
      }
      if (got < 0) continue;
      if (r.linkcodec == codec::opus) {
        decodeopuspacket(r);
        continue;
      }
      if (vorbis_synthesis(&r.block, &r.packet) == 0) vorbis_synthesis_blockin(&r.dsp, &r.block);
      float** pcm;
      int frames;
      while (!r.halted() && (frames = vorbis_synthesis_pcmout(&r.dsp, &pcm)) > 0) {
        const int take = std::min(frames, r.chunklimit);
        if (r.gatherfill == 0) r.gathertime = r.linkstart + static_cast<double>(r.linkframes) / r.linkrate;
        r.linkframes += static_cast<uint64_t>(take);
        // Converted straight behind the sound gathered so far; it counts as
        // gathered only once acceptchunk takes it.
        convertframes(pcm, r.info.channels, take, reinterpret_cast<int16_t*>(r.s.gatherblock + r.gatherfill),
                      r.convertvolume());
        acceptchunk(r, static_cast<uint32_t>(take * r.info.channels * bytespersample));
        vorbis_synthesis_read(&r.dsp, take);
      }
    }
  }
}

// Frames in the whole file by libvorbisfile, or 0 when it cannot tell, and
// its length in seconds. A file libvorbisfile can open stays open with it
// for seeking.
void measure(run& r) {
  if (r.s.allcodecs && looksflac(r.measuredinput) && measureflac(r)) {
    enginetrace("Valid FLAC stream\n");
    enginetrace("Filesize %d \n ", static_cast<int>(r.totalframes));
    return;
  }
  if (ov_open_callbacks(&r.measuredinput, &r.vf, nullptr, 0, sourcecallbacks) < 0) {
    enginetrace("Input does not appear to be an Ogg bitstream.\n");
    // A failed open leaves the reader to us: libopusfile may take it.
    if (!r.s.allcodecs || sourceseek(&r.measuredinput, 0, SEEK_SET) != 0 || !measureopus(r))
      sourceclose(&r.measuredinput);
  } else {
    enginetrace("Valid ogg bitstream\n");
    r.measured = true;
    ogg_int64_t total = ov_pcm_total(&r.vf, -1);
    r.totalframes = total < 0 ? 0 : static_cast<uint32_t>(total);
    const double seconds = ov_time_total(&r.vf, -1);
    r.s.duration.store(seconds > 0 ? seconds : 0.0);
    r.s.seekable.store(ov_seekable(&r.vf) != 0 && total > 0);
  }
  enginetrace("Filesize %d \n ", static_cast<int>(r.totalframes));
}

// Takes the seek asked for: the device drops what it holds unheard, and
// libvorbisfile finds the frame, within a link or in another one.
void seek(run& r) {
  double asked = r.s.seekto.exchange(-1.0);
  if (r.s.replaypending.exchange(false) && asked < 0) {
    // The place being heard, read once the device has stopped moving: the
    // sound goes on from exactly there, nothing heard twice or skipped.
    if (HWAVEOUT device = r.s.waveout.load()) outpause(r.s, device);
    asked = waveposition(r.s);
  }
  if (asked < 0) return;
  const double end = r.s.duration.load();
  // libvorbisfile takes the end itself only as a frame number.
  const bool sought = r.flac ? seekflac(r, asked, asked >= end)
                      : r.of ? seekopus(r, asked, asked >= end)
                             : (asked < end ? ov_time_seek(&r.vf, asked) : ov_pcm_seek(&r.vf, ov_pcm_total(&r.vf, -1))) == 0;
  if (!sought) {
    diagerr("Seek failed.\n");
    r.stop = true;
    return;
  }
  const double landed = r.flac ? flactell(r) : r.of ? opustell(r) : ov_time_tell(&r.vf);
  r.loopkeeping = r.loopkept = false;
  wavediscard(r.s, landed);
  r.gatherfill = 0;
  r.blockqueued = false;
  r.gathertime = landed;
  // A device that was playing plays on from its first new block, and so
  // does one whose start was already due (a "resume" that came before the
  // device opened); one that is paused, or not yet resumed, stays so.
  r.startdue = (r.startdue || (r.deviceopen && r.s.wavestarted.load())) && !r.s.pauseflag.load();
  if (r.flac)
    r.s.pcmbytes.store(static_cast<uint64_t>(landed * r.s.streamrate.load()) *
                       static_cast<uint64_t>(r.s.streamchannels.load()) * samplebytes(r.s));
  else if (r.of)
    r.s.pcmbytes.store(static_cast<uint64_t>(landed * opusrate) *
                       static_cast<uint64_t>(op_channel_count(r.of, -1)) * bytespersample);
  else if (const vorbis_info* info = ov_info(&r.vf, -1))
    r.s.pcmbytes.store(static_cast<uint64_t>(landed * info->rate) * static_cast<uint64_t>(info->channels) * bytespersample);
}

// Decodes through libvorbisfile (libopusfile for an Opus file) from where
// it stands to the end of the file, or until the run must stop or seek
// again.
void decodefromhere(run& r) {
  if (r.flac) return decodeflacfromhere(r);
  if (r.of) return decodeopusfromhere(r);
  while (!r.halted()) {
    const double at = ov_time_tell(&r.vf);
    float** pcm = nullptr;
    int link = 0;
    const long frames = ov_read_float(&r.vf, &pcm, static_cast<int>(chunksamples), &link);
    if (frames == OV_HOLE) {
      diagerr("Corrupt or missing data in bitstream; continuing...\n");
      continue;
    }
    if (frames <= 0) return;  // the end, or damage it cannot pass
    r.framesdecoded += static_cast<uint64_t>(frames);
    const vorbis_info* info = ov_info(&r.vf, link);
    if (ov_serialnumber(&r.vf, link) != r.serial) {
      announce(r, vorbislink(*info, *ov_comment(&r.vf, link)));
      if (r.halted()) return;
      r.serial = ov_serialnumber(&r.vf, link);
    }
    const int channels = info->channels;
    for (long done = 0; done < frames && !r.halted();) {
      const int take = static_cast<int>(std::min<long>(frames - done, r.chunklimit));
      for (int k = 0; k < channels; ++k) r.planes[k] = pcm[k] + done;
      if (r.gatherfill == 0) r.gathertime = at + static_cast<double>(done) / info->rate;
      convertframes(r.planes, channels, take, reinterpret_cast<int16_t*>(r.s.gatherblock + r.gatherfill),
                    r.convertvolume());
      acceptchunk(r, static_cast<uint32_t>(take * channels * bytespersample));
      done += take;
    }
  }
}

// Every seek asked for, each followed by the decoding from its place.
void seekdecode(run& r) {
  while (!r.stop && r.s.seekpending()) {
    r.releasestream();
    seek(r);
    decodefromhere(r);
  }
}

// Whether a pass of the file may be kept for looping: one link (so one
// format throughout), and memory for it.
bool maykeeploop(run& r) {
  if (!r.flac && (r.of ? op_link_count(r.of) != 1 : ov_streams(&r.vf) != 1)) return false;  // FLAC has one
  if (!r.loopbytes) r.loopbytes = static_cast<char*>(std::malloc(loopkeepsize));
  return r.loopbytes != nullptr;
}

// Plays the kept pass again and again, a chunk at a time, until the run
// must stop or seek, or the looping is turned off (then at a pass's end).
// The file time of a chunk is its place in the pass; the position counts
// on across the seams as for any loop.
void repeatkept(run& r) {
  const int32_t channels = r.s.streamchannels.load();
  const uint32_t frame = static_cast<uint32_t>(channels) * samplebytes(r.s);
  const double bytespersecond = static_cast<double>(r.s.streamrate.load()) * frame;
  const uint32_t chunk = static_cast<uint32_t>(r.chunklimit) * frame;
  if (frame == 0 || bytespersecond <= 0 || chunk == 0) return;
  uint32_t at = 0;
  while (!r.halted()) {
    char* out = r.s.gatherblock + r.gatherfill;
    if (r.gatherfill == 0) r.gathertime = at / bytespersecond;
    uint32_t filled = 0;
    while (filled < chunk) {
      if (at == r.loopfill) {
        if (!r.s.looping.load()) break;
        at = 0;
      }
      const uint32_t take = std::min(chunk - filled, r.loopfill - at);
      std::memcpy(out + filled, r.loopbytes + at, take);
      filled += take;
      at += take;
    }
    if (filled == 0) return;
    acceptchunk(r, filled);
  }
}

// The seeks asked for and, while the run loops, the file again from its
// first frame each time its end is decoded: the sound goes on in the same
// gathered block, so that not one frame is added or lost at the seam. A
// pass that decodes nothing (damage at the very start) ends the loop. A
// short file's pass from the start is kept and then repeated from memory.
void decodeon(run& r) {
  for (;;) {
    seekdecode(r);
    if (r.stop || r.s.cancelflag.load() || !r.s.looping.load() || !r.s.seekable.load()) return;
    if (r.framesdecoded == 0 && r.looped) return;
    if (r.loopkeeping) r.loopkept = r.loopfill > 0;  // the pass ended whole
    r.loopkeeping = false;
    if (r.loopkept) {
      repeatkept(r);
      continue;
    }
    r.releasestream();
    if (r.flac ? !seekflac(r, 0, false) : r.of ? !seekopus(r, 0, false) : ov_pcm_seek(&r.vf, 0) != 0) return;
    r.looped = true;
    r.framesdecoded = 0;
    r.loopfill = 0;
    r.loopkeeping = maykeeploop(r);
    decodefromhere(r);
  }
}

// Opens a reader of the run's file: the stream's copy in memory, or the
// file by its ANSI name or by its wide name when it has one.
bool openinput(stream& s, const char* path, const char16_t* widepath, source& reader) {
  reader = source{};
  if (s.frommemory) {
    reader.bytes = s.memory;
    reader.size = s.memorysize;
    return s.memory != nullptr;
  }
  reader.file = widepath ? widefopen(widepath) : std::fopen(path, "rb");
  return reader.file != nullptr;
}

// Opens a reader of the run's address on a web server and waits for the
// server's answer. False when there is no body to read, with `failure`
// saying why (0 when a cancel ended the wait).
bool openurl(stream& s, source& reader, int32_t& failure) {
  reader = source{};
  reader.url = s.widefilepath;
  reader.cancel = &s.cancelflag;
  reader.level = &s.bufferlevel;
  reader.net = fetchopen(reader.url, 0, 0, reader.level);
  failure = resultcantopen;
  if (!reader.net) return false;
  httpanswer answer;
  const bool answered = fetchanswer(*reader.net, answer, s.cancelflag);
  if (answer.status) s.httpstatus.store(answer.status);
  failure = answer.failure;
  if (!answered) {
    sourceclose(&reader);
    return false;
  }
  reader.seekable = answer.length >= 0 && answer.ranges;
  reader.size = reader.seekable ? static_cast<uint64_t>(answer.length) : 0;
  return true;
}

int32_t cantopen(const stream& s, const char* path, const char16_t* widepath) {
  char shown[pathsize];
  if (s.frommemory) {
    path = "memory";
  } else if (widepath) {  // the wide name as far as plain ASCII shows it
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
// `last`: the run's end, not a change of format within it.
bool drainoutput(run& r, bool last) {
  // A mixed run's last sound is marked before its last block is queued:
  // the mix then never takes the blocks before it for the last ones while
  // this thread is held up between the two.
  if (last && r.s.mixed) {
    voice& v = *r.s.mixvoice;
    v.endat.store(v.tail.load() + (r.gatherfill > 0 ? 1 : 0));
    v.ending.store(true, std::memory_order_release);
  }
  bool tailqueued = false;
  if (r.gatherfill > 0) {
    std::memcpy(r.s.tailslot.data, r.s.gatherblock, r.gatherfill);
    r.s.tailslot.time = r.gathertime;
    tailqueued = queue(r, r.s.tailslot, r.gatherfill);
    r.gatherfill = 0;
  }
  // A voice that another follows lets it in on the frame after its last,
  // and needs no silence behind it, the follower keeping the card busy.
  const bool followed = last && r.s.mixed && r.s.mixvoice->next.load() != nullptr;
  // Blocks play in order: the tail's end means everything before it has
  // played. Without a tail on the device, wait for the play slots instead
  // so that the last blocks are not cut off by the close.
  bool played = tailqueued ? wavewaitdone(r.s, r.s.tailslot)
                           : wavereclaim(r.s, r.s.playslots[r.nextslot]) &&
                                 wavereclaim(r.s, r.s.playslots[r.nextslot ^ 1]);
  // Then a little silence, so that the sound system plays out what it
  // still holds before the close; a cancel or a seek cuts it short.
  waveslot& free = tailqueued ? r.s.tailslot : r.s.playslots[r.nextslot];
  const int32_t runout = waverunoutms.load();
  if (played && (runout > 0 || followed)) {
    played = wavereclaim(r.s, free);
    // A seek to the end while playing left the device emptied and paused,
    // waiting for a first new block that never came: the silence is that
    // block, or it would wait on a device that never plays.
    if (played) startifdue(r);
    played = played && (followed || waverunout(r.s, free, runout));
  }
  return played && !r.s.seekpending();
}

// The end of a run that got past opening its input.
void finishrun(run& r) {
  if (r.syncready) ogg_sync_clear(&r.sync);
  diagerr("Done.\n");
  sourceclose(&r.input);

  // Plays out what is left, unless the run was cancelled or lost its device.
  // A seek made while the end plays goes back into the file.
  for (;;) {
    if (r.stop) r.s.seekable.store(false);  // a run that failed plays out what it has
    if (!r.s.waveout.load() || r.s.cancelflag.load() || r.s.wavelost) break;
    if (drainoutput(r, true)) break;
    if (!r.s.seekpending()) {
      if (r.s.wavelost) r.result = resultdeviceopen;
      break;
    }
    decodeon(r);
  }
  waveclose(r.s);
  r.closemeasured();
}

}  // namespace

void forgetrun(stream& s) {
  s.seekable.store(false);
  s.duration.store(0.0);
  cleartags(s);
  wavesetidle(s, 0.0);
}

int32_t playworker(stream& s, const char* path, const char16_t* widepath) {
  s.pcmbytes.store(0);
  s.totalseconds.store(0);
  forgetrun(s);
  run r(s);
  diagout("Testando *** \n");

  if (s.filepathtoolong) {
    errno = ENAMETOOLONG;
    return cantopen(s, path, widepath);
  }
  if (s.fromurl) {
    s.bufferlevel.store(0);
    s.httpstatus.store(0);
    int32_t failure = 0;
    if (!openurl(s, r.input, failure)) return failure;
    // A file on a web server is measured and sought as a file is, through
    // byte ranges; a live stream plays as it comes.
    if (r.input.seekable && openurl(s, r.measuredinput, failure)) measure(r);
  } else {
    if (!openinput(s, path, widepath, r.measuredinput)) return cantopen(s, path, widepath);
    measure(r);
    if (!openinput(s, path, widepath, r.input)) {
      r.closemeasured();
      return cantopen(s, path, widepath);
    }
  }

  if (wavecount(s) == 0) {
    r.result = resultnodevice;
    finishrun(r);
    return r.result;
  }

  if (r.flac) {
    playflac(r);
    decodeon(r);
    finishrun(r);
    return r.result;
  }
  ogg_sync_init(&r.sync);
  r.syncready = true;
  for (;;) {
    if (r.halted()) break;  // a seek came before the first page was read
    long n = r.readblock();
    diagout("Buffers lidos %d \n", static_cast<int>(n));
    // A web server's reads give what has come: read on to a block's worth
    // before taking the stream for ended, or for not Ogg.
    long read = n;
    int got;
    while ((got = ogg_sync_pageout(&r.sync, &r.page)) != 1 && r.input.net && n > 0 && read < readsize) {
      n = r.readblock();
      read += n;
    }
    if (got != 1) {
      if (read < readsize) break;
      diagerr("Input does not appear to be an Ogg bitstream.\n");
      r.result = resultnotogg;
      break;
    }
    readheaders(r);
    if (!r.halted()) publishstream(r);
    if (!r.halted()) decodestream(r);
    r.releasestream();
    if (r.halted()) break;
  }
  // A stream from a web server that broke off for good ends with why.
  if (r.input.net && r.result == 0 && !s.cancelflag.load() && (r.result = fetchfailure(*r.input.net)) != 0)
    s.httpstatus.store(fetchstatus(*r.input.net));
  decodeon(r);
  finishrun(r);
  return r.result;
}

DWORD WINAPI playthread(LPVOID parameter) {
  stream& s = *static_cast<stream*>(parameter);
  s.lastresult.store(0);
  const int32_t result = playworker(s, s.filepath, s.wideopen ? s.widefilepath : nullptr);
  s.seekable.store(false);
  s.playstate.store(result);
  s.lastresult.store(result);
  s.workerlive.store(0);
  runready(s);
  workerdone(s);
  exitthread(static_cast<DWORD>(result));
  return static_cast<DWORD>(result);
}

}  // namespace zelov
