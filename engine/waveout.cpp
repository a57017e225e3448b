#include "waveout.h"

#include <algorithm>
#include <mutex>

#include "diag.h"
#include "state.h"

namespace zelov {

namespace {
char blocks[4][slotsize];
}
waveslot playslots[2] = {{{}, blocks[0], 0, 0, 0.0}, {{}, blocks[1], 0, 0, 0.0}};
waveslot tailslot = {{}, blocks[2], 0, 0, 0.0};
char* gatherblock = blocks[3];
WAVEFORMATEX waveformat;
bool wavelost = false;
std::atomic<int32_t> wavelostms{5000};

// The device writes a header's flags from its own thread while we poll them.
static DWORD headerflags(const waveslot& slot) {
  return __atomic_load_n(&slot.header.dwFlags, __ATOMIC_ACQUIRE);
}

namespace {

// Which file time each byte on the device carries: the last blocks queued
// since the device opened (or dropped its blocks), with where each starts
// among the bytes queued. The device's position then says which is heard.
struct playedblock {
  uint64_t start;
  uint32_t length;
  double time;
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
spinlock maplock;
playedmap played;

DWORD deviceposition(HWAVEOUT device) {
  MMTIME time{};
  time.wType = TIME_BYTES;
  return waveOutGetPosition(device, &time, sizeof time) == MMSYSERR_NOERROR ? time.u.cb : 0;
}

// Starts the map over for the device, keeping the idle time.
void mapstart(HWAVEOUT device) {
  const DWORD base = device ? deviceposition(device) : 0;
  std::lock_guard<spinlock> held(maplock);
  const double idle = played.idle;
  played = playedmap{};
  played.device = device;
  played.base = base;
  played.bytespersecond = waveformat.nAvgBytesPerSec;
  played.idle = idle;
}

void mapqueued(const waveslot& slot) {
  std::lock_guard<spinlock> held(maplock);
  if (played.count == 4) std::copy(played.blocks + 1, played.blocks + 4, played.blocks), --played.count;
  played.blocks[played.count++] = {played.queued, slot.length, slot.time};
  played.queued += slot.length;
}

double endof(const playedblock& block, uint32_t bytespersecond) {
  return block.time + static_cast<double>(block.length) / bytespersecond;
}

uint32_t queuedblocks = 0;  // blocks queued on this run's devices
bool reopened = false;      // the open device replaces one that stopped playing

// Closes the open device, which has stopped playing, and opens another with
// the blocks it still held queued again in their order. True when the new
// device has them.
bool wavereopen() {
  waveslot* pending[3];
  int count = 0;
  for (waveslot* slot : {&playslots[0], &playslots[1], &tailslot}) {
    const DWORD flags = headerflags(*slot);
    if ((flags & WHDR_PREPARED) && !(flags & WHDR_DONE)) pending[count++] = slot;
  }
  std::sort(pending, pending + count, [](const waveslot* a, const waveslot* b) { return a->order < b->order; });

  if (count > 0) wavesetidle(pending[0]->time);
  HWAVEOUT old = waveout.load();
  mapstart(nullptr);
  waveout.store(nullptr);
  waveOutReset(old);
  for (int i = 0; i < count; ++i) waveOutUnprepareHeader(old, &pending[i]->header, sizeof(WAVEHDR));
  waveOutClose(old);
  const bool started = wavestarted.load() != 0;
  if (!waveopen()) return false;
  enginetrace("Reabriu wave out \n");
  for (int i = 0; i < count; ++i)
    if (!wavequeue(*pending[i], pending[i]->length)) return false;
  if (started && !pauseflag.load()) wavestart();
  return true;
}

// Watches a started device during a wait: its position must move.
class lostwatch {
 public:
  // Called every wait step (waitstepms); true once the device counts as lost.
  bool lost() {
    HWAVEOUT device = waveout.load();
    if (!device || !wavestarted.load() || pauseflag.load()) {
      still = 0;
      return false;
    }
    MMTIME time{};
    time.wType = TIME_BYTES;
    if (waveOutGetPosition(device, &time, sizeof time) != MMSYSERR_NOERROR || time.u.cb != last) {
      last = time.u.cb;
      still = 0;
      return false;
    }
    still += waitstepms;
    // A device that has not played a byte is opened again sooner: nothing
    // it queued has been heard, so nothing is heard twice.
    const int32_t limit = time.u.cb == 0 && !reopened ? wavelostms.load() / 5 : wavelostms.load();
    if (still < limit) return false;
    if (!reopened) {
      reopened = true;
      if (wavereopen()) {
        last = 0xffffffff;
        still = 0;
        return false;
      }
    }
    diagerr("The wave-out device stopped playing.\n");
    wavelost = true;
    return true;
  }

 private:
  DWORD last = 0xffffffff;
  int32_t still = 0;
};

}  // namespace

const char* waveresultname(MMRESULT result) {
  switch (result) {
    case MMSYSERR_BADDEVICEID: return "MMSYSERR_BADDEVICEID \n";
    case MMSYSERR_NODRIVER: return "MMSYSERR_NODRIVER \n";
    case MMSYSERR_NOMEM: return "MMSYSERR_NOMEM \n";
    case WAVERR_BADFORMAT: return "WAVERR_BADFORMAT \n";
    case WAVERR_SYNC: return "WAVERR_SYNC \n";
    default: return nullptr;
  }
}

UINT wavecount() {
  UINT devices = waveOutGetNumDevs();
  diagout("Devices %d \n", static_cast<int>(devices));
  return devices;
}

bool waveopen() {
  const int32_t channels = streamchannels.load();
  const int32_t rate = streamrate.load();
  waveformat.wFormatTag = WAVE_FORMAT_PCM;
  waveformat.nChannels = static_cast<WORD>(channels);
  waveformat.nSamplesPerSec = rate == 0 ? 44100 : static_cast<DWORD>(rate);
  waveformat.nBlockAlign = static_cast<WORD>(channels * bytespersample);
  waveformat.nAvgBytesPerSec = waveformat.nSamplesPerSec * waveformat.nBlockAlign;
  waveformat.wBitsPerSample = 8 * bytespersample;
  waveformat.cbSize = 0;

  HWAVEOUT device = nullptr;
  MMRESULT result = waveOutOpen(&device, WAVE_MAPPER, &waveformat, 0, 0, CALLBACK_NULL);
  diagout(" ret %d \n", static_cast<int>(result));
  if (result != MMSYSERR_NOERROR) {
    if (const char* name = waveresultname(result)) enginetrace("%s", name);
    return false;
  }
  enginetrace("Ok abrindo waveout \n");
  // Paused before the handle is published, so that a "resume" from the
  // caller's thread can never be undone by this pause.
  waveOutPause(device);
  wavestarted.store(0);
  wavelost = false;
  mapstart(device);
  waveout.store(device);
  // Read after the handle is out: a volume set meanwhile reaches this
  // device either here or from the caller's thread.
  if (volume.load() != fullvolume) wavevolume();
  return true;
}

bool wavequeue(waveslot& slot, uint32_t length) {
  HWAVEOUT device = waveout.load();
  slot.length = length;
  slot.order = ++queuedblocks;
  slot.header.lpData = slot.data;
  slot.header.dwBufferLength = length;
  slot.header.dwFlags = 0;
  MMRESULT prepared = waveOutPrepareHeader(device, &slot.header, sizeof(WAVEHDR));
  MMRESULT written = waveOutWrite(device, &slot.header, sizeof(WAVEHDR));
  const bool queued = prepared == MMSYSERR_NOERROR && written == MMSYSERR_NOERROR;
  if (queued) mapqueued(slot);
  return queued;
}

bool wavereclaim(waveslot& slot) {
  lostwatch watch;
  MMRESULT result = waveOutUnprepareHeader(waveout.load(), &slot.header, sizeof(WAVEHDR));
  while (result == WAVERR_STILLPLAYING) {
    cancelwait(waitstepms);
    if (cancelflag.load() || seekpending() || watch.lost()) return false;
    if (pauseflag.load()) {
      cancelwait(waitstepms);
      if (cancelflag.load() || seekpending()) return false;
    }
    result = waveOutUnprepareHeader(waveout.load(), &slot.header, sizeof(WAVEHDR));
  }
  return true;
}

bool wavewaitdone(waveslot& slot) {
  lostwatch watch;
  while (headerflags(slot) != (WHDR_DONE | WHDR_PREPARED)) {
    cancelwait(waitstepms);
    if (cancelflag.load() || seekpending() || watch.lost()) return false;
  }
  return true;
}

void wavestart() {
  if (HWAVEOUT device = waveout.load()) {
    waveOutRestart(device);
    wavestarted.store(1);
  }
}

void waveclose() {
  reopened = false;
  HWAVEOUT device = waveout.load();
  if (!device) return;
  // Cleared first: a "pause" or "resume" racing the close then finds no
  // device rather than one being closed. The position stays where the
  // device's blocks end.
  {
    std::lock_guard<spinlock> held(maplock);
    if (played.count > 0 && played.bytespersecond > 0)
      played.idle = endof(played.blocks[played.count - 1], played.bytespersecond);
    played.device = nullptr;
    played.count = 0;
  }
  waveout.store(nullptr);
  waveOutReset(device);
  MMRESULT result = waveOutClose(device);
  diagerr(" \n");
  if (const char* name = waveresultname(result)) diagerr("%s", name);
}

double waveposition() {
  std::lock_guard<spinlock> held(maplock);
  if (!played.device || played.count == 0 || played.bytespersecond == 0) return played.idle;
  const playedblock& oldest = played.blocks[0];
  // The device's 32-bit count wraps after 4 GB; the distance from the
  // oldest block's start does not.
  uint64_t since = static_cast<DWORD>(deviceposition(played.device) - static_cast<DWORD>(played.base + oldest.start));
  since = std::min<uint64_t>(since, played.queued - oldest.start);
  const uint64_t at = oldest.start + since;
  int i = played.count - 1;
  while (i > 0 && played.blocks[i].start > at) --i;
  const playedblock& block = played.blocks[i];
  const uint64_t into = std::min<uint64_t>(at - block.start, block.length);
  return block.time + static_cast<double>(into) / played.bytespersecond;
}

void wavesetidle(double time) {
  std::lock_guard<spinlock> held(maplock);
  played.idle = time;
}

void wavediscard(double time) {
  {
    std::lock_guard<spinlock> held(maplock);
    played.device = nullptr;
    played.count = 0;
    played.idle = time;
  }
  HWAVEOUT device = waveout.load();
  if (!device) return;
  waveOutReset(device);
  waveOutPause(device);
  for (waveslot* slot : {&playslots[0], &playslots[1], &tailslot})
    waveOutUnprepareHeader(device, &slot->header, sizeof(WAVEHDR));
  mapstart(device);
}

void wavevolume() {
  HWAVEOUT device = waveout.load();
  if (!device) return;
  // Linear in amplitude, the same on both channels.
  const DWORD level = static_cast<DWORD>((std::clamp(volume.load(), 0, fullvolume) * 0xffff + fullvolume / 2) / fullvolume);
  waveOutSetVolume(device, level | level << 16);
}

}  // namespace zelov
