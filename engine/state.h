// The engine-wide state shared by the command entry (the caller's thread) and
// the worker thread. Each word has one writer at a time and is read whole;
// they are atomics so that every poll re-reads them and so that the stream
// words written before `waveflag` are seen by whoever sees `waveflag` set.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform.h"
#include "protocol.h"

namespace zelov {

constexpr std::size_t vendorsize = 1020;
// The device plays 16-bit samples, interleaved.
constexpr int bytespersample = 2;

extern std::atomic<int32_t> playstate;
extern std::atomic<int32_t> pauseflag;
// A "resume" that came before the run's device was open: the worker starts
// the device as soon as it opens it.
extern std::atomic<int32_t> resumepending;
// The device has been started (restarted after its paused open); with no
// pause requested it should be playing, and its position moving.
extern std::atomic<int32_t> wavestarted;
extern std::atomic<int32_t> cancelflag;
extern std::atomic<int32_t> lastresult;
extern std::atomic<int32_t> waveflag;
// Bytes of sound handed to the device in this run: 64 bits, since 32 would
// wrap after 6.8 hours of 44.1 kHz stereo.
extern std::atomic<uint64_t> pcmbytes;
extern std::atomic<uint32_t> totalseconds;
extern std::atomic<int32_t> streamrate;
extern std::atomic<int32_t> streamchannels;
extern std::atomic<int32_t> streamversion;
extern std::atomic<int32_t> streambitrate;
extern std::atomic<HWAVEOUT> waveout;

// Written by "open" only while no worker lives; the worker reads it after
// its thread has started.
extern char filepath[pathsize];
// "open" was given a path that does not fit `filepath` (or "openwide" one
// that does not fit `widefilepath`).
extern bool filepathtoolong;
// The path "openwide" was given; the run opens it when `wideopen` is set.
extern char16_t widefilepath[widepathsize];
extern bool wideopen;

// 1 from the moment "open" decides to start a worker until that worker has
// finished; it covers the stretch before the new thread runs, where
// `playstate` still shows the previous result.
extern std::atomic<int32_t> workerlive;

// The worker's waits and the wait of "cancel" are on events rather than
// sleeps, so that a cancel ends the playback as soon as the worker can stop.
// armwaits (by "open", before the thread starts) makes a fresh pair;
// cancelwait waits up to `ms` milliseconds, less when a cancel is requested;
// wakeworker is that request's signal; workerdone tells "cancel" the
// worker has finished, and waitworker waits for it.
void armwaits();
// The longest single wait of the worker and of "cancel": every wait for the
// device or for a pause to end is made of steps of at most this.
constexpr DWORD waitstepms = 50;
void cancelwait(DWORD ms);
void wakeworker();
void workerdone();
void waitworker();

// The seek a listener asked for, in seconds; negative when none is pending.
// "seek" writes it, the worker takes it.
extern std::atomic<double> seekto;
// The run can seek: libvorbisfile measured the file and the run has not
// failed. A seek asked for is pending only while it can.
extern std::atomic<bool> seekable;
inline bool seekpending() { return seekable.load() && seekto.load() >= 0; }
// The file's length in seconds (every link's frames over its own rate), 0
// until the run has measured it.
extern std::atomic<double> duration;
// The playback volume, 0 to 100; every device the worker opens gets it.
extern std::atomic<int32_t> volume;

// A lock for the few structures that the worker and the caller's thread
// both read and write whole (the tags, the map of played sound). It is held
// for a copy or a few reads, never across a wait.
class spinlock {
 public:
  void lock() {
    while (held_.test_and_set(std::memory_order_acquire)) Sleep(0);
  }
  void unlock() { held_.clear(std::memory_order_release); }

 private:
  std::atomic_flag held_ = ATOMIC_FLAG_INIT;
};

// The comments of the stream being played, as "gettags" gives them.
void settags(char* const* comments, const int* lengths, int count);
void cleartags();
void gettags(char* out);

// The vendor text is copied byte by byte through atomics: a reader racing a
// new stream's headers may see a mixture of two texts, never a torn byte or
// an unterminated one.
void setvendor(const char* text);
// Copies the vendor text into out (outsize > 0 bytes), cut to fit, always
// terminated.
void getvendor(char* out, std::size_t outsize);

}  // namespace zelov
