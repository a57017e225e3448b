#include "engine/output/waveout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <mutex>

#include "engine/streams/diag.h"
#include "engine/output/mixer.h"
#include "engine/output/output.h"
#include "engine/streams/state.h"

namespace zelov {

std::atomic<int32_t> wavelostms{5000};
std::atomic<int32_t> waverunoutms{100};

namespace {

DWORD deviceposition(stream& s, HWAVEOUT device) {
  DWORD bytes = 0;
  return outposition(s, device, bytes) ? bytes : 0;
}

// Starts the map over for the device, keeping the idle time.
void mapstart(stream& s, HWAVEOUT device) {
  const DWORD base = device ? deviceposition(s, device) : 0;
  std::lock_guard<spinlock> held(s.maplock);
  const double idle = s.played.idle;
  s.played = playedmap{};
  s.played.device = device;
  s.played.base = base;
  s.played.bytespersecond = s.waveformat.nAvgBytesPerSec;
  s.played.idle = idle;
}

void mapblock(stream& s, playedblock& block);

// The peaks of a block of floats, on the same scale as 16-bit samples'
// (1.0 is 32768).
void mapfloatpeaks(stream& s, const waveslot& slot, playedblock& block) {
  const auto* samples = reinterpret_cast<const float*>(slot.data);
  const uint32_t count = slot.length / floatbytes, persection = block.sectionbytes / floatbytes;
  for (uint32_t start = 0, k = 0; start < count && k < peaksections; start += persection, ++k) {
    float peak = 0;
    const uint32_t end = std::min(count, start + persection);
    uint32_t i = start;
#ifdef __SSE2__
    // Eight magnitudes a step (the sign bit cleared).
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    __m128 peaks = _mm_setzero_ps(), more = _mm_setzero_ps();
    for (; i + 8 <= end; i += 8) {
      peaks = _mm_max_ps(peaks, _mm_and_ps(_mm_loadu_ps(samples + i), magnitude));
      more = _mm_max_ps(more, _mm_and_ps(_mm_loadu_ps(samples + i + 4), magnitude));
    }
    peaks = _mm_max_ps(peaks, more);
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, peaks);
    peak = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
#endif
    for (; i < end; ++i) peak = std::max(peak, std::fabs(samples[i]));
    block.peaks[k] = static_cast<uint16_t>(std::min(peak, 1.0f) * 32768);
  }
  mapblock(s, block);
}

// The block's peaks, a section of about 20 ms each (longer when a block
// holds more than peaksections of them), read before the map is locked.
void mapqueued(stream& s, const waveslot& slot) {
  playedblock block{0, slot.length, slot.time, 0, {}};
  const uint32_t frame = std::max<uint32_t>(s.waveformat.nBlockAlign, samplebytes(s));
  uint32_t section = std::max<uint32_t>(s.waveformat.nAvgBytesPerSec / 50, 1);
  section = std::max(section, (slot.length + peaksections - 1) / peaksections);
  block.sectionbytes = (section + frame - 1) / frame * frame;
  if (s.floatblocks) return mapfloatpeaks(s, slot, block);
  // A section at a time, its lowest and highest sample: a loop the compiler
  // turns into vector instructions, a fraction of the decoding's cost.
  const auto* samples = reinterpret_cast<const int16_t*>(slot.data);
  const uint32_t count = slot.length / bytespersample, persection = block.sectionbytes / bytespersample;
  for (uint32_t start = 0, k = 0; start < count && k < peaksections; start += persection, ++k) {
    const uint32_t end = std::min(count, start + persection);
    int16_t low = 0, high = 0;
    uint32_t i = start;
#ifdef __SSE2__
    // Eight samples a step, where SSE2 is there (the 32-bit edition is
    // built at -O2, which does not vectorize this loop by itself).
    __m128i lows = _mm_setzero_si128(), highs = _mm_setzero_si128();
    for (; i + 8 <= end; i += 8) {
      const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i));
      lows = _mm_min_epi16(lows, eight);
      highs = _mm_max_epi16(highs, eight);
    }
    alignas(16) int16_t lanes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), lows);
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes + 8), highs);
    for (int lane = 0; lane < 8; ++lane) {
      low = std::min(low, lanes[lane]);
      high = std::max(high, lanes[8 + lane]);
    }
#endif
    for (; i < end; ++i) {
      low = std::min(low, samples[i]);
      high = std::max(high, samples[i]);
    }
    block.peaks[k] = static_cast<uint16_t>(std::max(-static_cast<int>(low), static_cast<int>(high)));
  }
  mapblock(s, block);
}

// Adds the block, its peaks read, to the map.
void mapblock(stream& s, playedblock& block) {
  playedmap& played = s.played;
  std::lock_guard<spinlock> held(s.maplock);
  if (played.count == 4) std::copy(played.blocks + 1, played.blocks + 4, played.blocks), --played.count;
  block.start = played.queued;
  played.blocks[played.count++] = block;
  played.queued += block.length;
}

double endof(const playedblock& block, uint32_t bytespersecond) {
  return block.time + static_cast<double>(block.length) / bytespersecond;
}

// Closes the open device, which has stopped playing, and opens another with
// the blocks it still held queued again in their order. True when the new
// device has them.
bool wavereopen(stream& s) {
  waveslot* pending[3];
  int count = 0;
  for (waveslot* slot : {&s.playslots[0], &s.playslots[1], &s.tailslot}) {
    const DWORD flags = blockflags(slot->header);
    if ((flags & WHDR_PREPARED) && !(flags & WHDR_DONE)) pending[count++] = slot;
  }
  std::sort(pending, pending + count, [](const waveslot* a, const waveslot* b) { return a->order < b->order; });

  if (count > 0) wavesetidle(s, pending[0]->time);
  HWAVEOUT old = s.waveout.load();
  mapstart(s, nullptr);
  s.waveout.store(nullptr);
  outreset(s, old);
  for (int i = 0; i < count; ++i) outunprepare(s, old, pending[i]->header);
  outclose(s, old);
  const bool started = s.wavestarted.load() != 0;
  if (!waveopen(s)) return false;
  enginetrace("Reabriu wave out \n");
  for (int i = 0; i < count; ++i)
    if (!wavequeue(s, *pending[i], pending[i]->length)) return false;
  if (started && !s.pauseflag.load()) wavestart(s);
  return true;
}

// Watches a started device during a wait: its position must move.
class lostwatch {
 public:
  explicit lostwatch(stream& s) : s_(s) {}
  // Called every wait step (waitstepms); true once the device counts as lost.
  bool lost() {
    HWAVEOUT device = s_.waveout.load();
    if (outlost(s_)) {  // a chosen sound card that went away: no other to open
      diagerr("The sound card stopped playing.\n");
      s_.wavelost = true;
      return true;
    }
    // A follower waiting for its leader is still by design.
    const bool held = s_.mixed && s_.mixvoice->held.load();
    if (!device || !s_.wavestarted.load() || s_.pauseflag.load() || held) {
      still = 0;
      return false;
    }
    DWORD position = 0;
    if (!outposition(s_, device, position) || position != last) {
      last = position;
      still = 0;
      return false;
    }
    still += waitstepms;
    // A device that has not played a byte is opened again sooner: nothing
    // it queued has been heard, so nothing is heard twice.
    const int32_t limit = position == 0 && !s_.reopened ? wavelostms.load() / 5 : wavelostms.load();
    if (still < limit) return false;
    if (!s_.reopened) {
      s_.reopened = true;
      if (wavereopen(s_)) {
        last = 0xffffffff;
        still = 0;
        return false;
      }
    }
    diagerr("The wave-out device stopped playing.\n");
    s_.wavelost = true;
    return true;
  }

 private:
  stream& s_;
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

bool wavedevicename(int32_t index, char16_t (&name)[devicenamesize]) {
  WAVEOUTCAPSW caps{};
  if (index < 0 || waveOutGetDevCapsW(static_cast<UINT_PTR>(index), &caps, sizeof caps) != MMSYSERR_NOERROR)
    return false;
  static_assert(sizeof caps.szPname / sizeof caps.szPname[0] == devicenamesize, "a device's name fits the buffer");
  for (std::size_t i = 0; i < devicenamesize; ++i) name[i] = static_cast<char16_t>(caps.szPname[i]);
  name[devicenamesize - 1] = u'\0';
  return true;
}

UINT wavecount(const stream& s) {
  UINT devices = outcount(s);
  diagout("Devices %d \n", static_cast<int>(devices));
  return devices;
}

bool waveopen(stream& s) {
  const int32_t channels = s.streamchannels.load();
  const int32_t rate = s.streamrate.load();
  WAVEFORMATEX& waveformat = s.waveformat;
  const uint32_t size = samplebytes(s);
  waveformat.wFormatTag = s.floatblocks ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
  waveformat.nChannels = static_cast<WORD>(channels);
  waveformat.nSamplesPerSec = rate == 0 ? 44100 : static_cast<DWORD>(rate);
  waveformat.nBlockAlign = static_cast<WORD>(channels * size);
  waveformat.nAvgBytesPerSec = waveformat.nSamplesPerSec * waveformat.nBlockAlign;
  waveformat.wBitsPerSample = static_cast<WORD>(8 * size);
  waveformat.cbSize = 0;

  HWAVEOUT device = nullptr;
  MMRESULT result = outopen(s, &device, waveformat);
  diagout(" ret %d \n", static_cast<int>(result));
  if (result != MMSYSERR_NOERROR) {
    if (const char* name = waveresultname(result)) enginetrace("%s", name);
    return false;
  }
  enginetrace("Ok abrindo waveout \n");
  // Paused before the handle is published, so that a "resume" from the
  // caller's thread can never be undone by this pause.
  outpause(s, device);
  s.wavestarted.store(0);
  s.wavelost = false;
  mapstart(s, device);
  s.waveout.store(device);
  return true;
}

namespace {

// Hands the slot's first `length` bytes to the device. True when the block
// reached the device's queue.
bool submit(stream& s, waveslot& slot, uint32_t length) {
  HWAVEOUT device = s.waveout.load();
  slot.length = length;
  slot.order = ++s.queuedblocks;
  slot.header.lpData = slot.data;
  slot.header.dwBufferLength = length;
  slot.header.dwFlags = 0;
  MMRESULT prepared = outprepare(s, device, slot.header);
  MMRESULT written = outwrite(s, device, slot.header);
  return prepared == MMSYSERR_NOERROR && written == MMSYSERR_NOERROR;
}

}  // namespace

bool wavequeue(stream& s, waveslot& slot, uint32_t length) {
  const bool queued = submit(s, slot, length);
  if (queued) mapqueued(s, slot);
  return queued;
}

bool wavereclaim(stream& s, waveslot& slot) {
  lostwatch watch(s);
  MMRESULT result = outunprepare(s, s.waveout.load(), slot.header);
  while (result == WAVERR_STILLPLAYING) {
    cancelwait(s, waitstepms);
    if (s.cancelflag.load() || s.seekpending() || watch.lost()) return false;
    if (s.pauseflag.load()) {
      cancelwait(s, waitstepms);
      if (s.cancelflag.load() || s.seekpending()) return false;
    }
    result = outunprepare(s, s.waveout.load(), slot.header);
  }
  return true;
}

bool wavewaitdone(stream& s, waveslot& slot) {
  lostwatch watch(s);
  while (blockflags(slot.header) != (WHDR_DONE | WHDR_PREPARED)) {
    cancelwait(s, waitstepms);
    if (s.cancelflag.load() || s.seekpending() || watch.lost()) return false;
  }
  return true;
}

bool waverunout(stream& s, waveslot& slot, int32_t ms) {
  const uint32_t frame = std::max<uint32_t>(s.waveformat.nBlockAlign, samplebytes(s));
  uint64_t length = static_cast<uint64_t>(s.waveformat.nAvgBytesPerSec) * static_cast<uint32_t>(ms) / 1000;
  length = std::min<uint64_t>(length, slotsize) / frame * frame;
  if (length == 0) return true;
  std::memset(slot.data, 0, length);  // silence is zero, in 16-bit samples and in floats
  // Not in the map: the position counts the blocks of the file only.
  if (!submit(s, slot, static_cast<uint32_t>(length))) return true;  // nothing more to wait for
  return wavewaitdone(s, slot);
}

void wavestart(stream& s) {
  if (HWAVEOUT device = s.waveout.load()) {
    outrestart(s, device);
    s.wavestarted.store(1);
  }
}

void waveclose(stream& s) {
  s.reopened = false;
  HWAVEOUT device = s.waveout.load();
  if (!device) return;
  outletgo(s);
  // Cleared first: a "pause" or "resume" racing the close then finds no
  // device rather than one being closed. The position stays where the
  // device's blocks end.
  {
    playedmap& played = s.played;
    std::lock_guard<spinlock> held(s.maplock);
    if (played.count > 0 && played.bytespersecond > 0)
      played.idle = endof(played.blocks[played.count - 1], played.bytespersecond);
    played.device = nullptr;
    played.count = 0;
  }
  s.waveout.store(nullptr);
  outreset(s, device);
  MMRESULT result = outclose(s, device);
  diagerr(" \n");
  if (const char* name = waveresultname(result)) diagerr("%s", name);
}

namespace {

// The block of the map being heard and the bytes into it, under the map's
// lock. False when the map has no device or no block.
bool heard(stream& s, const playedmap& played, int& index, uint64_t& into) {
  if (!played.device || played.count == 0 || played.bytespersecond == 0) return false;
  const playedblock& oldest = played.blocks[0];
  // The device's 32-bit count wraps after 4 GB; the distance from the
  // oldest block's start does not.
  uint64_t since = static_cast<DWORD>(deviceposition(s, played.device) - static_cast<DWORD>(played.base + oldest.start));
  since = std::min<uint64_t>(since, played.queued - oldest.start);
  const uint64_t at = oldest.start + since;
  int i = played.count - 1;
  while (i > 0 && played.blocks[i].start > at) --i;
  index = i;
  into = std::min<uint64_t>(at - played.blocks[i].start, played.blocks[i].length);
  return true;
}

}  // namespace

double waveposition(stream& s) {
  double time;
  {
    const playedmap& played = s.played;
    std::lock_guard<spinlock> held(s.maplock);
    int i;
    uint64_t into;
    if (!heard(s, played, i, into)) {
      time = played.idle;
    } else {
      time = played.blocks[i].time + static_cast<double>(into) / played.bytespersecond;
    }
  }
  // A looping run's blocks count on across its ends; the place in the
  // file is what is left of the length.
  const double length = s.duration.load();
  if (s.looping.load() && length > 0 && time >= length) time = std::fmod(time, length);
  return time;
}

double wavepeak(stream& s) {
  const playedmap& played = s.played;
  std::lock_guard<spinlock> held(s.maplock);
  int i;
  uint64_t into;
  if (!heard(s, played, i, into)) return 0.0;
  const playedblock& block = played.blocks[i];
  if (into >= block.length || block.sectionbytes == 0) return 0.0;  // everything queued has been heard
  const uint64_t section = std::min<uint64_t>(into / block.sectionbytes, peaksections - 1);
  return block.peaks[section] / 32768.0;
}

void wavesetidle(stream& s, double time) {
  std::lock_guard<spinlock> held(s.maplock);
  s.played.idle = time;
}

void wavediscard(stream& s, double time) {
  {
    std::lock_guard<spinlock> held(s.maplock);
    s.played.device = nullptr;
    s.played.count = 0;
    s.played.idle = time;
  }
  HWAVEOUT device = s.waveout.load();
  if (!device) return;
  outreset(s, device);
  outpause(s, device);
  for (waveslot* slot : {&s.playslots[0], &s.playslots[1], &s.tailslot}) outunprepare(s, device, slot->header);
  mapstart(s, device);
}

}  // namespace zelov
