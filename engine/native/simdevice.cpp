#include "simdevice.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <algorithm>
#include <atomic>

namespace simdevice {
namespace {

struct device {
  bool open = false;
  bool paused = false;
  DWORD volume = 0xffffffff;
  std::deque<WAVEHDR*> queue;
};

std::recursive_mutex lock;
std::condition_variable_any changed;
mode playmode = mode::manual;
UINT devicecount = 1;
MMRESULT openresult = MMSYSERR_NOERROR;
bool writefails = false;
bool lost = false;
bool recoveronopen = false;
uint64_t position = 0;  // bytes played by the open device
device current;
int opens = 0;
WAVEFORMATEX format{};
std::vector<write> written;
std::vector<uint8_t> output;
uint64_t playedcount = 0;
int volumesets = 0;

HWAVEOUT handle() { return reinterpret_cast<HWAVEOUT>(&current); }
bool valid(HWAVEOUT h) { return h == handle() && current.open; }

void setflags(WAVEHDR* header, DWORD flags) {
  __atomic_store_n(&header->dwFlags, flags, __ATOMIC_RELEASE);
}
DWORD flagsof(const WAVEHDR* header) { return __atomic_load_n(&header->dwFlags, __ATOMIC_ACQUIRE); }

void playfront() {
  if (lost) return;
  WAVEHDR* header = current.queue.front();
  current.queue.pop_front();
  // A device that never waits stands in for a fast sound card in benchmarks:
  // it keeps no copy of what it plays.
  if (playmode != mode::nowait)
    output.insert(output.end(), header->lpData, header->lpData + header->dwBufferLength);
  playedcount += header->dwBufferLength;
  position += header->dwBufferLength;
  setflags(header, (flagsof(header) & ~WHDR_INQUEUE) | WHDR_DONE);
}

void playwhatcan() {
  if (playmode == mode::manual || playmode == mode::realtime || lost) return;
  while (!current.queue.empty() && (!current.paused || playmode == mode::nowait)) playfront();
}

// The clock of the real-time mode: plays the front block once the time its
// sound lasts has passed on an unpaused device.
std::atomic<bool> clockrunning{false};

void realtimeclock() {
  std::chrono::steady_clock::duration played{};
  auto last = std::chrono::steady_clock::now();
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::lock_guard<std::recursive_mutex> held(lock);
    const auto now = std::chrono::steady_clock::now();
    if (playmode != mode::realtime) {
      clockrunning = false;
      return;
    }
    if (!current.open || current.paused || current.queue.empty()) {
      last = now;
      continue;
    }
    played += now - last;
    last = now;
    const auto length = std::chrono::microseconds(
        1000000ull * current.queue.front()->dwBufferLength / std::max<DWORD>(format.nAvgBytesPerSec, 1));
    if (played >= length) {
      played -= length;
      playfront();
      changed.notify_all();
    }
  }
}

struct guard {
  std::unique_lock<std::recursive_mutex> held{lock};
  ~guard() { changed.notify_all(); }
};

}  // namespace

void reset(mode m) {
  guard g;
  playmode = m;
  devicecount = 1;
  openresult = MMSYSERR_NOERROR;
  writefails = false;
  lost = false;
  recoveronopen = false;
  position = 0;
  current = device{};
  opens = 0;
  format = WAVEFORMATEX{};
  written.clear();
  output.clear();
  playedcount = 0;
  volumesets = 0;
  if (m == mode::realtime && !clockrunning.exchange(true)) std::thread(realtimeclock).detach();
}

void setdevicecount(UINT count) { guard g; devicecount = count; }
void setopenresult(MMRESULT result) { guard g; openresult = result; }
void setwritefails(bool fails) { guard g; writefails = fails; }
void setlost(bool l) { guard g; lost = l; }
void setlostuntilreopened() {
  guard g;
  lost = true;
  recoveronopen = true;
}

bool playnext() {
  guard g;
  if (!current.open || current.paused || current.queue.empty() || lost) return false;
  playfront();
  return true;
}

bool isopen() { guard g; return current.open; }
bool ispaused() { guard g; return current.paused; }
int opencount() { guard g; return opens; }
std::size_t queuedcount() { guard g; return current.queue.size(); }
WAVEFORMATEX lastformat() { guard g; return format; }
std::vector<write> writes() { guard g; return written; }
std::vector<uint8_t> played() { guard g; return output; }
uint64_t playedbytes() { guard g; return playedcount; }
DWORD volume() { guard g; return current.volume; }
int volumecalls() { guard g; return volumesets; }

bool waitfor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  std::unique_lock<std::recursive_mutex> held(lock);
  return changed.wait_for(held, limit, condition);
}

}  // namespace simdevice

using namespace simdevice;

UINT waveOutGetNumDevs() { guard g; return devicecount; }

MMRESULT waveOutOpen(LPHWAVEOUT out, UINT, const WAVEFORMATEX* wanted, DWORD_PTR, DWORD_PTR,
                     DWORD) {
  guard g;
  if (devicecount == 0) return MMSYSERR_BADDEVICEID;
  if (current.open) return MMSYSERR_ALLOCATED;
  if (openresult != MMSYSERR_NOERROR) return openresult;
  if (wanted->wFormatTag != WAVE_FORMAT_PCM || wanted->nChannels == 0 ||
      wanted->nBlockAlign != wanted->nChannels * 2 ||
      wanted->nAvgBytesPerSec != wanted->nSamplesPerSec * wanted->nBlockAlign)
    return WAVERR_BADFORMAT;
  if (recoveronopen && opens > 0) lost = recoveronopen = false;
  current = device{};
  current.open = true;
  position = 0;
  format = *wanted;
  ++opens;
  *out = handle();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPause(HWAVEOUT h) {
  guard g;
  if (!valid(h)) return MMSYSERR_INVALHANDLE;
  current.paused = true;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutRestart(HWAVEOUT h) {
  guard g;
  if (!valid(h)) return MMSYSERR_INVALHANDLE;
  current.paused = false;
  playwhatcan();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT h, LPWAVEHDR header, UINT size) {
  guard g;
  if (!valid(h)) return MMSYSERR_INVALHANDLE;
  if (size != sizeof(WAVEHDR) || !header->lpData) return MMSYSERR_INVALPARAM;
  setflags(header, flagsof(header) | WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT h, LPWAVEHDR header, UINT) {
  guard g;
  if (!valid(h)) return MMSYSERR_INVALHANDLE;
  if (!(flagsof(header) & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (writefails) return MMSYSERR_NOMEM;
  setflags(header, (flagsof(header) & ~WHDR_DONE) | WHDR_INQUEUE);
  current.queue.push_back(header);
  written.push_back({header, header->dwBufferLength});
  playwhatcan();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT h, LPWAVEHDR header, UINT) {
  guard g;
  if (!(flagsof(header) & WHDR_PREPARED)) return MMSYSERR_NOERROR;
  if (!valid(h)) return MMSYSERR_INVALHANDLE;
  if (flagsof(header) & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  setflags(header, flagsof(header) & ~WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetPosition(HWAVEOUT h, MMTIME* time, UINT) {
  guard g;
  if (!valid(h)) return MMSYSERR_INVALHANDLE;
  time->wType = TIME_BYTES;
  time->u.cb = static_cast<DWORD>(position);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT h) {
  guard g;
  if (!valid(h)) return MMSYSERR_INVALHANDLE;
  for (WAVEHDR* header : current.queue) setflags(header, (flagsof(header) & ~WHDR_INQUEUE) | WHDR_DONE);
  current.queue.clear();
  position = 0;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutSetVolume(HWAVEOUT h, DWORD level) {
  guard g;
  if (!valid(h)) return MMSYSERR_INVALHANDLE;
  current.volume = level;
  ++volumesets;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT h) {
  guard g;
  if (!valid(h)) return MMSYSERR_INVALHANDLE;
  if (!current.queue.empty()) return WAVERR_STILLPLAYING;
  current.open = false;
  return MMSYSERR_NOERROR;
}
