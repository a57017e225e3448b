#include "waveout.h"

#include <algorithm>

#include "diag.h"
#include "state.h"

namespace zelov {

namespace {
char blocks[4][slotsize];
}
waveslot playslots[2] = {{{}, blocks[0], 0, 0}, {{}, blocks[1], 0, 0}};
waveslot tailslot = {{}, blocks[2], 0, 0};
char* gatherblock = blocks[3];
WAVEFORMATEX waveformat;
bool wavelost = false;
std::atomic<int32_t> wavelostms{5000};

// The device writes a header's flags from its own thread while we poll them.
static DWORD headerflags(const waveslot& slot) {
  return __atomic_load_n(&slot.header.dwFlags, __ATOMIC_ACQUIRE);
}

namespace {

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

  HWAVEOUT old = waveout.load();
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
  // Called every 50 ms of waiting; true once the device counts as lost.
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
    still += 50;
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
  waveformat.nBlockAlign = static_cast<WORD>(channels * 2);
  waveformat.nAvgBytesPerSec = waveformat.nSamplesPerSec * waveformat.nBlockAlign;
  waveformat.wBitsPerSample = 16;
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
  waveout.store(device);
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
  return prepared == MMSYSERR_NOERROR && written == MMSYSERR_NOERROR;
}

bool wavereclaim(waveslot& slot) {
  lostwatch watch;
  MMRESULT result = waveOutUnprepareHeader(waveout.load(), &slot.header, sizeof(WAVEHDR));
  while (result == WAVERR_STILLPLAYING) {
    cancelwait(50);
    if (cancelflag.load() || watch.lost()) return false;
    if (pauseflag.load()) {
      cancelwait(50);
      if (cancelflag.load()) return false;
    }
    result = waveOutUnprepareHeader(waveout.load(), &slot.header, sizeof(WAVEHDR));
  }
  return true;
}

bool wavewaitdone(waveslot& slot) {
  lostwatch watch;
  while (headerflags(slot) != (WHDR_DONE | WHDR_PREPARED)) {
    cancelwait(50);
    if (cancelflag.load() || watch.lost()) return false;
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
  // device rather than one being closed.
  waveout.store(nullptr);
  waveOutReset(device);
  MMRESULT result = waveOutClose(device);
  diagerr(" \n");
  if (const char* name = waveresultname(result)) diagerr("%s", name);
}

}  // namespace zelov
