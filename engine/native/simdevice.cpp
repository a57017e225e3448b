#include "simdevice.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <algorithm>
#include <atomic>
#include <list>
#include <map>
#include <string>

namespace simdevice {
namespace {

// One open device. Each stream of the engine opens its own; the devices
// play side by side, as a sound system mixes them.
struct device {
  bool open = false;
  bool paused = false;
  DWORD volume = 0xffffffff;
  std::deque<WAVEHDR*> queue;
  uint64_t position = 0;  // bytes played since it opened or was reset
  DWORD_PTR instance = 0;
  WAVEFORMATEX format{};
  std::chrono::steady_clock::duration clock{};  // real-time mode: sound time owed
};

std::recursive_mutex lock;
std::condition_variable_any changed;
mode playmode = mode::manual;
UINT devicecount = 1;
MMRESULT openresult = MMSYSERR_NOERROR;
std::function<void()> openaction;  // runs once, after the next open
bool writefails = false;
bool lost = false;
bool recoveronopen = false;
std::list<device> devices;  // the open ones; a closed device is gone
device* newest = nullptr;   // the device opened last, while it is open
int opens = 0;
WAVEFORMATEX format{};
std::vector<write> written;
std::vector<uint8_t> output;
std::map<DWORD_PTR, std::vector<uint8_t>> outputs;
std::map<DWORD_PTR, UINT> deviceids;
uint64_t playedcount = 0;
int volumesets = 0;

device* find(HWAVEOUT h) {
  for (device& d : devices)
    if (reinterpret_cast<HWAVEOUT>(&d) == h && d.open) return &d;
  return nullptr;
}

void setflags(WAVEHDR* header, DWORD flags) {
  __atomic_store_n(&header->dwFlags, flags, __ATOMIC_RELEASE);
}
DWORD flagsof(const WAVEHDR* header) { return __atomic_load_n(&header->dwFlags, __ATOMIC_ACQUIRE); }

void playfront(device& d) {
  if (lost) return;
  WAVEHDR* header = d.queue.front();
  d.queue.pop_front();
  // A device that never waits stands in for a fast sound card in benchmarks:
  // it keeps no copy of what it plays.
  if (playmode != mode::nowait) {
    output.insert(output.end(), header->lpData, header->lpData + header->dwBufferLength);
    std::vector<uint8_t>& own = outputs[d.instance];
    own.insert(own.end(), header->lpData, header->lpData + header->dwBufferLength);
  }
  playedcount += header->dwBufferLength;
  d.position += header->dwBufferLength;
  setflags(header, (flagsof(header) & ~WHDR_INQUEUE) | WHDR_DONE);
}

void playwhatcan(device& d) {
  if (playmode == mode::manual || playmode == mode::realtime || lost) return;
  while (!d.queue.empty() && (!d.paused || playmode == mode::nowait)) playfront(d);
}

bool playnextof(device& d) {
  if (!d.open || d.paused || d.queue.empty() || lost) return false;
  playfront(d);
  return true;
}

// The clock of the real-time mode: plays a device's front block once the
// time its sound lasts has passed on that unpaused device.
std::atomic<bool> clockrunning{false};

void realtimeclock() {
  auto last = std::chrono::steady_clock::now();
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::lock_guard<std::recursive_mutex> held(lock);
    const auto now = std::chrono::steady_clock::now();
    if (playmode != mode::realtime) {
      clockrunning = false;
      return;
    }
    bool anyplayed = false;
    for (device& d : devices) {
      if (!d.open || d.paused || d.queue.empty()) continue;
      d.clock += now - last;
      const auto length = std::chrono::microseconds(
          1000000ull * d.queue.front()->dwBufferLength / std::max<DWORD>(d.format.nAvgBytesPerSec, 1));
      if (d.clock >= length) {
        d.clock -= length;
        playfront(d);
        anyplayed = true;
      }
    }
    last = now;
    if (anyplayed) changed.notify_all();
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
  openaction = nullptr;
  writefails = false;
  lost = false;
  recoveronopen = false;
  devices.clear();
  newest = nullptr;
  opens = 0;
  format = WAVEFORMATEX{};
  written.clear();
  output.clear();
  outputs.clear();
  deviceids.clear();
  playedcount = 0;
  volumesets = 0;
  if (m == mode::realtime && !clockrunning.exchange(true)) std::thread(realtimeclock).detach();
}

void setdevicecount(UINT count) { guard g; devicecount = count; }
void setopenresult(MMRESULT result) { guard g; openresult = result; }
void afternextopen(std::function<void()> action) { guard g; openaction = std::move(action); }
void setwritefails(bool fails) { guard g; writefails = fails; }
void setlost(bool l) { guard g; lost = l; }
void setlostuntilreopened() {
  guard g;
  lost = true;
  recoveronopen = true;
}

bool playnext() {
  guard g;
  for (device& d : devices)
    if (playnextof(d)) return true;
  return false;
}

bool playnext(DWORD_PTR instance) {
  guard g;
  for (device& d : devices)
    if (d.instance == instance && playnextof(d)) return true;
  return false;
}

bool isopen() { guard g; return !devices.empty(); }
bool ispaused() { guard g; return newest && newest->paused; }
int opencount() { guard g; return opens; }
std::size_t queuedcount() {
  guard g;
  std::size_t n = 0;
  for (const device& d : devices) n += d.queue.size();
  return n;
}
WAVEFORMATEX lastformat() { guard g; return format; }
std::vector<write> writes() { guard g; return written; }
std::vector<uint8_t> played() { guard g; return output; }
std::vector<uint8_t> played(DWORD_PTR instance) {
  guard g;
  auto found = outputs.find(instance);
  return found == outputs.end() ? std::vector<uint8_t>() : found->second;
}
int opendevices() { guard g; return static_cast<int>(devices.size()); }
UINT deviceid(DWORD_PTR instance) {
  guard g;
  auto found = deviceids.find(instance);
  return found == deviceids.end() ? WAVE_MAPPER : found->second;
}
uint64_t playedbytes() { guard g; return playedcount; }
DWORD volume() { guard g; return newest ? newest->volume : 0xffffffff; }
int volumecalls() { guard g; return volumesets; }

bool waitfor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  std::unique_lock<std::recursive_mutex> held(lock);
  return changed.wait_for(held, limit, condition);
}

}  // namespace simdevice

using namespace simdevice;

UINT waveOutGetNumDevs() { guard g; return devicecount; }

MMRESULT waveOutGetDevCapsW(UINT_PTR id, WAVEOUTCAPSW* caps, UINT size) {
  guard g;
  if (id >= devicecount) return MMSYSERR_BADDEVICEID;
  if (!caps || size < sizeof *caps) return MMSYSERR_INVALPARAM;
  *caps = WAVEOUTCAPSW{};
  const std::string name = "Simulated device " + std::to_string(id);
  for (std::size_t i = 0; i < name.size() && i + 1 < MAXPNAMELEN; ++i) caps->szPname[i] = static_cast<WCHAR>(name[i]);
  caps->wChannels = 2;
  return MMSYSERR_NOERROR;
}

namespace {

MMRESULT openlocked(LPHWAVEOUT out, UINT id, const WAVEFORMATEX* wanted, DWORD_PTR instance) {
  guard g;
  if (devicecount == 0 || (id != WAVE_MAPPER && id >= devicecount)) return MMSYSERR_BADDEVICEID;
  // One stream opens one device at a time.
  for (const device& d : devices)
    if (d.instance == instance) return MMSYSERR_ALLOCATED;
  if (openresult != MMSYSERR_NOERROR) return openresult;
  // 16-bit samples, or 32-bit floats, as Windows' wave-out takes them.
  const int size = wanted->wFormatTag == WAVE_FORMAT_PCM ? 2 : wanted->wFormatTag == WAVE_FORMAT_IEEE_FLOAT ? 4 : 0;
  if (size == 0 || wanted->nChannels == 0 || wanted->nBlockAlign != wanted->nChannels * size ||
      wanted->nAvgBytesPerSec != wanted->nSamplesPerSec * wanted->nBlockAlign)
    return WAVERR_BADFORMAT;
  if (recoveronopen && opens > 0) lost = recoveronopen = false;
  devices.emplace_back();
  device& d = devices.back();
  d.open = true;
  d.instance = instance;
  d.format = *wanted;
  newest = &d;
  format = *wanted;
  deviceids[instance] = id;
  ++opens;
  *out = reinterpret_cast<HWAVEOUT>(&d);
  return MMSYSERR_NOERROR;
}

}  // namespace

MMRESULT waveOutOpen(LPHWAVEOUT out, UINT id, const WAVEFORMATEX* wanted, DWORD_PTR, DWORD_PTR instance,
                     DWORD) {
  const MMRESULT result = openlocked(out, id, wanted, instance);
  std::function<void()> action;
  {
    guard g;
    if (result == MMSYSERR_NOERROR) std::swap(action, openaction);
  }
  if (action) action();  // on the opening thread, the device lock released
  return result;
}

MMRESULT waveOutPause(HWAVEOUT h) {
  guard g;
  device* d = find(h);
  if (!d) return MMSYSERR_INVALHANDLE;
  d->paused = true;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutRestart(HWAVEOUT h) {
  guard g;
  device* d = find(h);
  if (!d) return MMSYSERR_INVALHANDLE;
  d->paused = false;
  playwhatcan(*d);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT h, LPWAVEHDR header, UINT size) {
  guard g;
  if (!find(h)) return MMSYSERR_INVALHANDLE;
  if (size != sizeof(WAVEHDR) || !header->lpData) return MMSYSERR_INVALPARAM;
  setflags(header, flagsof(header) | WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT h, LPWAVEHDR header, UINT) {
  guard g;
  device* d = find(h);
  if (!d) return MMSYSERR_INVALHANDLE;
  if (!(flagsof(header) & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (writefails) return MMSYSERR_NOMEM;
  setflags(header, (flagsof(header) & ~WHDR_DONE) | WHDR_INQUEUE);
  d->queue.push_back(header);
  written.push_back({header, header->dwBufferLength, d->instance});
  playwhatcan(*d);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT h, LPWAVEHDR header, UINT) {
  guard g;
  if (!(flagsof(header) & WHDR_PREPARED)) return MMSYSERR_NOERROR;
  if (!find(h)) return MMSYSERR_INVALHANDLE;
  if (flagsof(header) & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  setflags(header, flagsof(header) & ~WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetPosition(HWAVEOUT h, MMTIME* time, UINT) {
  guard g;
  device* d = find(h);
  if (!d) return MMSYSERR_INVALHANDLE;
  time->wType = TIME_BYTES;
  time->u.cb = static_cast<DWORD>(d->position);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT h) {
  guard g;
  device* d = find(h);
  if (!d) return MMSYSERR_INVALHANDLE;
  for (WAVEHDR* header : d->queue) setflags(header, (flagsof(header) & ~WHDR_INQUEUE) | WHDR_DONE);
  d->queue.clear();
  d->position = 0;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutSetVolume(HWAVEOUT h, DWORD level) {
  guard g;
  device* d = find(h);
  if (!d) return MMSYSERR_INVALHANDLE;
  d->volume = level;
  ++volumesets;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT h) {
  guard g;
  device* d = find(h);
  if (!d) return MMSYSERR_INVALHANDLE;
  if (!d->queue.empty()) return WAVERR_STILLPLAYING;
  if (newest == d) newest = nullptr;
  devices.remove_if([d](const device& each) { return &each == d; });
  return MMSYSERR_NOERROR;
}
