// The engine's state, one `stream` per playback: everything a run holds,
// from the file's path to its device, its position map and its comments.
// The caller's thread (the command entry) and the stream's worker share it.
// Each word has one writer at a time and is read whole; they are atomics so
// that every poll re-reads them and so that the stream words written before
// `waveflag` are seen by whoever sees `waveflag` set.
//
// The sixteen command words act on the process's default stream, the one
// ZelOggPlay plays on; "streamopen" gives out further streams by number,
// each with a worker and a wave-out device of its own.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/streams/platform.h"
#include "engine/protocol.h"

namespace zelov {

struct voice;
struct card;

constexpr std::size_t vendorsize = 1020;
// The device plays 16-bit samples, interleaved; a FLAC run's blocks carry
// 32-bit floats (floatbytes) instead, so that a 24-bit file reaches the mix
// at its full precision.
constexpr int bytespersample = 2;
constexpr int floatbytes = 4;
constexpr uint32_t slotsize = 120000;
// The longest single wait of the worker and of "cancel": every wait for the
// device or for a pause to end is made of steps of at most this.
constexpr DWORD waitstepms = 50;
// How long "cancel" waits for a worker's thread to end once its run has
// ended: a few instructions, unless the caller holds the loader lock that
// the thread needs to end, when the wait gives up and the thread's own
// reference to the library keeps its code mapped.
constexpr DWORD threadendms = 5000;

// A lock for the few structures that the worker and the caller's thread
// both read and write whole (the tags, the map of played sound, the table
// of streams). It is held for a copy or a few reads, never across a wait.
class spinlock {
 public:
  void lock() {
    while (held_.test_and_set(std::memory_order_acquire)) Sleep(0);
  }
  void unlock() { held_.clear(std::memory_order_release); }

 private:
  std::atomic_flag held_ = ATOMIC_FLAG_INIT;
};

struct waveslot {
  WAVEHDR header;
  char* data;  // slotsize bytes
  uint32_t length;
  uint32_t order;  // when it was queued, among the run's blocks
  double time;     // the file time of its first frame, in seconds
};

// Which file time each byte on the device carries: the last blocks queued
// since the device opened (or dropped its blocks), with where each starts
// among the bytes queued. The device's position then says which is heard.
// Each block also keeps the peaks of its sound, a section at a time, for
// the level meter: read when the block is queued, since its slot may be
// refilled while a caller asks.
constexpr int peaksections = 128;
struct playedblock {
  uint64_t start;
  uint32_t length;
  double time;
  uint32_t sectionbytes;             // the bytes of sound behind each peak
  uint16_t peaks[peaksections];      // the largest sample magnitude, 0 to 32768
};
struct playedmap {
  HWAVEOUT device = nullptr;  // none: `idle` is the position
  DWORD base = 0;             // the device's position where the map starts
  uint64_t queued = 0;        // bytes queued since
  uint32_t bytespersecond = 0;
  playedblock blocks[4] = {};  // oldest first; more than the device can hold
  int count = 0;
  double idle = 0.0;
};

struct stream {
  // Made at run time (state.cpp), so that the default stream's half a
  // megabyte of blocks is zero-filled memory rather than bytes of the
  // library's file.
  stream();
  stream(const stream&) = delete;
  stream& operator=(const stream&) = delete;

  // The number "streamopen" gave out; 0 for the default stream.
  int32_t number = 0;

  // The run.
  std::atomic<int32_t> playstate{0};
  std::atomic<int32_t> pauseflag{0};
  // A "resume" that came before the run's device was open: the worker
  // starts the device as soon as it opens it.
  std::atomic<int32_t> resumepending{0};
  // The device has been started (restarted after its paused open); with no
  // pause requested it should be playing, and its position moving.
  std::atomic<int32_t> wavestarted{0};
  std::atomic<int32_t> cancelflag{0};
  std::atomic<int32_t> lastresult{0};
  std::atomic<int32_t> waveflag{0};
  // Bytes of sound handed to the device in this run: 64 bits, since 32
  // would wrap after 6.8 hours of 44.1 kHz stereo.
  std::atomic<uint64_t> pcmbytes{0};
  std::atomic<uint32_t> totalseconds{0};
  std::atomic<int32_t> streamrate{0};
  std::atomic<int32_t> streamchannels{0};
  std::atomic<int32_t> streamversion{0};
  std::atomic<int32_t> streambitrate{0};
  std::atomic<HWAVEOUT> waveout{nullptr};
  // 1 from the moment "open" decides to start a worker until that worker
  // has finished; it covers the stretch before the new thread runs, where
  // `playstate` still shows the previous result.
  std::atomic<int32_t> workerlive{0};

  // Written by "open" only while no worker lives; the worker reads it after
  // its thread has started. "open" was given a path that does not fit
  // `filepath` (or "openwide" one that does not fit `widefilepath`) when
  // `filepathtoolong`; the run opens `widefilepath` when `wideopen`.
  char filepath[pathsize] = {};
  bool filepathtoolong = false;
  char16_t widefilepath[widepathsize] = {};
  bool wideopen = false;
  // The file "openmemory" copied, played when `frommemory`; the stream
  // owns the copy until the next open or its close.
  char* memory = nullptr;
  uint64_t memorysize = 0;
  bool frommemory = false;
  // "openurl" stores the address of a file or stream on a web server in
  // `widefilepath`: the run reads it through WinHTTP. `bufferms` is how much
  // of a stream is gathered before it plays, and again after it stalls
  // ("setbuffer"); the run publishes how full that buffer is (0 to 100), and
  // the status of a server that refused it.
  bool fromurl = false;
  std::atomic<int32_t> bufferms{1000};
  std::atomic<int32_t> bufferlevel{0};
  std::atomic<int32_t> httpstatus{0};
  // The device the next run opens, or anydevice. Like the volume and the
  // loop, a stream of its own keeps it from file to file.
  std::atomic<int32_t> device{anydevice};
  // The run plays the file again from its start when it reaches its end.
  std::atomic<bool> looping{false};
  // A stream given out by "streamopen" plays Ogg Opus links and FLAC too;
  // the default stream plays Vorbis alone, as ZelOggPlay always has.
  bool allcodecs = false;

  // The seek a listener asked for, in seconds; negative when none is
  // pending. "seek" writes it, the worker takes it.
  std::atomic<double> seekto{-1.0};
  // The run can seek: libvorbisfile measured the file and the run has not
  // failed. A seek asked for is pending only while it can.
  std::atomic<bool> seekable{false};
  // A volume changed while the device holds sound decoded at the old one:
  // the worker decodes again from the place being heard when it takes it.
  std::atomic<bool> replaypending{false};
  bool seekpending() const { return seekable.load() && (seekto.load() >= 0 || replaypending.load()); }
  // The file's length in seconds (every link's frames over its own rate),
  // 0 until the run has measured it.
  std::atomic<double> duration{0.0};
  // The playback volume, 0 to 100, applied to the samples as they are
  // converted: 100 leaves them exactly as decoded.
  std::atomic<int32_t> volume{fullvolume};

  // The worker's waits and the wait of "cancel" are on events rather than
  // sleeps (see armwaits below).
  HANDLE wakeevent = nullptr;
  HANDLE doneevent = nullptr;
  // The worker's thread, until whoever waits for the worker has seen it end.
  std::atomic<HANDLE> workerthread{nullptr};
  // Set once the run knows the file's length and its first stream's
  // comments, or has ended ("waitready").
  HANDLE readyevent = nullptr;

  // The comments of the stream being played, and its vendor text;
  // `tagserial` counts the times the comments were set (a new link of a
  // chained file or a station's next song).
  spinlock taglock;
  std::atomic<uint32_t> tagserial{0};
  char tagstore[tagbuffersize] = {};
  std::atomic<char> vendor[vendorsize] = {};

  // The wave-out layer (waveout.cpp): two play slots take turns carrying
  // the full blocks of a run, the tail slot its last, partial block, and
  // the fourth block gathers the next one; once a play slot's block has
  // left the device, the worker trades its gathered block for that one
  // rather than copying the sound across.
  alignas(8) char blocks[4][slotsize] = {};  // samples, and malloc gives at least 8
  waveslot playslots[2] = {{{}, blocks[0], 0, 0, 0.0}, {{}, blocks[1], 0, 0, 0.0}};
  waveslot tailslot = {{}, blocks[2], 0, 0, 0.0};
  char* gatherblock = blocks[3];
  WAVEFORMATEX waveformat{};
  // The run's blocks hold 32-bit floats in Windows' speaker order rather
  // than 16-bit samples: the worker sets it as a stream starts, before the
  // device for it opens.
  bool floatblocks = false;
  // Set when a wait gave up because the device had stopped playing (see
  // waveout.h); cleared by waveopen.
  bool wavelost = false;
  spinlock maplock;
  playedmap played;
  uint32_t queuedblocks = 0;  // blocks queued on this run's devices
  bool reopened = false;      // the open device replaces one that stopped playing

  // A mixed stream plays on its sound card's mixer (output.h): its voice,
  // made once, and the card its open voice plays to. `outlock` keeps the
  // card while the worker resets or closes the voice and the caller moves
  // it to another card; the render thread never takes it.
  bool mixed = false;
  voice* mixvoice = nullptr;
  std::atomic<card*> mixcard{nullptr};
  spinlock outlock;
  // The id of the card chosen for a mixed stream, empty for none ("setdeviceid").
  spinlock devicelock;
  char16_t deviceid[endpointidsize] = {};
};

// The stream the sixteen command words act on.
extern stream defaultstream;

// A free stream, its number from 1 to maxstreams, with no run; null when
// all are taken (or memory for a new one cannot be had). A stream's memory
// is kept for the next "streamopen" once it is closed, so that many opens
// and closes leave the memory as it was.
stream* openstream();
// The open stream of that number, or null.
stream* findstream(int32_t number);
// Gives the stream back; its run must have ended.
void closestream(stream& s);
// The bytes of one sample in the run's blocks.
inline uint32_t samplebytes(const stream& s) { return s.floatblocks ? floatbytes : bytespersample; }
// Visits every stream made so far, open or not, under the table's lock.
void eachstream(void (*visit)(stream& s));
// Gives back everything the streams made (their memory, events and copies
// of files in memory), for when the library leaves the process: the next
// load starts with a fresh table, so whatever is not given back here is
// lost for good. No run may be live, which holds once the library is
// unloaded, since each worker thread holds the library while it runs.
void releasestreams();

// The worker's waits and the wait of "cancel". armwaits (by "open", before
// the thread starts) makes a fresh pair; cancelwait waits up to `ms`
// milliseconds, less when a cancel is requested; wakeworker is that
// request's signal; workerdone tells "cancel" the worker has finished, and
// waitworker waits for it.
void armwaits(stream& s);
void cancelwait(stream& s, DWORD ms);
void wakeworker(stream& s);
void workerdone(stream& s);
void waitworker(stream& s);
// Frees the copy "openmemory" made; the stream plays files again.
void releasememory(stream& s);
void runready(stream& s);
bool waitready(stream& s, DWORD ms);

// The comments of the stream being played, as "gettags" gives them.
void settags(stream& s, char* const* comments, const int* lengths, int count);
void cleartags(stream& s);
void gettags(stream& s, char* out);

// The vendor text is copied byte by byte through atomics: a reader racing a
// new stream's headers may see a mixture of two texts, never a torn byte or
// an unterminated one.
void setvendor(stream& s, const char* text);
// Copies the vendor text into out (outsize > 0 bytes), cut to fit, always
// terminated.
void getvendor(const stream& s, char* out, std::size_t outsize);

// The default stream under the names the engine has always given its
// state, for the code and tests written before there were streams. The
// engine's own code names the stream it works on (it is built with
// ZELOV_STREAMS_ONLY, which leaves these out).
#ifndef ZELOV_STREAMS_ONLY
inline std::atomic<int32_t>& playstate = defaultstream.playstate;
inline std::atomic<int32_t>& pauseflag = defaultstream.pauseflag;
inline std::atomic<int32_t>& resumepending = defaultstream.resumepending;
inline std::atomic<int32_t>& wavestarted = defaultstream.wavestarted;
inline std::atomic<int32_t>& cancelflag = defaultstream.cancelflag;
inline std::atomic<int32_t>& lastresult = defaultstream.lastresult;
inline std::atomic<int32_t>& waveflag = defaultstream.waveflag;
inline std::atomic<uint64_t>& pcmbytes = defaultstream.pcmbytes;
inline std::atomic<uint32_t>& totalseconds = defaultstream.totalseconds;
inline std::atomic<int32_t>& streamrate = defaultstream.streamrate;
inline std::atomic<int32_t>& streamchannels = defaultstream.streamchannels;
inline std::atomic<int32_t>& streamversion = defaultstream.streamversion;
inline std::atomic<int32_t>& streambitrate = defaultstream.streambitrate;
inline std::atomic<HWAVEOUT>& waveout = defaultstream.waveout;
inline std::atomic<int32_t>& workerlive = defaultstream.workerlive;
inline std::atomic<double>& seekto = defaultstream.seekto;
inline std::atomic<bool>& seekable = defaultstream.seekable;
inline std::atomic<double>& duration = defaultstream.duration;
inline std::atomic<int32_t>& volume = defaultstream.volume;
inline void setvendor(const char* text) { setvendor(defaultstream, text); }
inline void getvendor(char* out, std::size_t outsize) { getvendor(defaultstream, out, outsize); }
#endif

}  // namespace zelov
