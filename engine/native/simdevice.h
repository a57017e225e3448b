// A simulated wave-out device that stands in for WINMM in the native build.
// It behaves as the engine expects of WINMM: it opens paused only when asked
// to pause, plays blocks in the order queued, answers 33 to unprepare while a
// block is queued, marks blocks done when played or reset (which also sets its position
// back to 0), and refuses to
// close while blocks are queued. Tests drive its playback.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "winapi.h"

namespace simdevice {

enum class mode {
  manual,   // queued blocks play only when a test calls playnext()
  instant,  // a block plays as soon as it is queued on an unpaused device
  nowait,   // every block plays at once, paused or not (for benchmarks)
  realtime, // blocks play at the pace of their sound, as a sound card's do
};

struct write {
  const WAVEHDR* header;
  uint32_t length;
  DWORD_PTR instance;  // of the device it was written to
};

// Forgets everything: no device open, one device present, nothing played.
// Devices may be open side by side, one per instance data.
void reset(mode m);
void setdevicecount(UINT count);
// The result the next opens give (MMSYSERR_NOERROR by default).
void setopenresult(MMRESULT result);
// Runs `action` once, on the thread that opens the next device, just after
// the open: a test's way to act at that exact point of a run.
void afternextopen(std::function<void()> action);
// Makes waveOutWrite refuse blocks.
void setwritefails(bool fails);
// A lost device (its sound server went away): it accepts blocks but never
// plays them, and its position stands still.
void setlost(bool lost);
// Lost until the device is next opened: a device opened just as its sound
// server came back, which plays once it is opened again.
void setlostuntilreopened();

// Plays the first queued block, if the device is open, not paused and has
// one. True when a block was played. With several devices open (one a
// stream), the first that can play one does; or the one opened with that
// instance data (the engine gives its stream number).
bool playnext();
bool playnext(DWORD_PTR instance);

// Whether any device is open, and how many.
bool isopen();
int opendevices();
bool ispaused();
int opencount();
std::size_t queuedcount();
WAVEFORMATEX lastformat();
// Every block written, in order.
std::vector<write> writes();
// Every byte played, in order; or every byte the devices opened with that
// instance data played.
std::vector<uint8_t> played();
std::vector<uint8_t> played(DWORD_PTR instance);
// The device number the last device of that instance was opened on.
UINT deviceid(DWORD_PTR instance);
// How many bytes it played, in every mode.
uint64_t playedbytes();
// The last opened device's volume as last set (0xffffffff as it opens), and how
// many times waveOutSetVolume was called since the reset.
DWORD volume();
int volumecalls();

// Waits until the predicate over the device holds, re-testing after every
// device call; false if it did not hold within the limit.
bool waitfor(const std::function<bool()>& condition,
             std::chrono::milliseconds limit = std::chrono::seconds(20));

}  // namespace simdevice
