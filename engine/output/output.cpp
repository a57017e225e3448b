#include "engine/output/output.h"

#include <cstdlib>
#include <mutex>
#include <new>

#include "engine/output/card.h"
#include "engine/output/endpoint.h"
#include "engine/output/mixer.h"
#include "engine/streams/made.h"

namespace zelov {

namespace {

// The longest a run's end waits for the mix to let its follower in: a
// card's render comes every few milliseconds while it plays.
constexpr unsigned long long handovermostms = 200;

// The card the stream is to play on: the one of its chosen id, else the
// one at its device index now, else the default card.
card* chosencard(stream& s) {
  char16_t id[endpointidsize] = {};
  {
    std::lock_guard<spinlock> held(s.devicelock);
    for (std::size_t i = 0; i < endpointidsize; ++i) id[i] = s.deviceid[i];
  }
  const int32_t index = s.device.load();
  if (id[0] == u'\0' && index != anydevice && !endpointid(index, id, endpointidsize)) return nullptr;
  return findcard(id);
}

// Marks every block the voice holds done, as a reset device does, and
// empties its queue. The voice is detached.
void dropblocks(voice& v) {
  for (uint32_t at = v.head.load(); at != v.tail.load(); ++at) markplayed(*v.queue[at % voiceblocks]);
  v.clear();
}

}  // namespace

bool makemixed(stream& s) {
  if (!s.mixvoice) s.mixvoice = make<voice>();
  s.mixed = s.mixvoice != nullptr;
  return s.mixed;
}

void releasevoices() {
  eachstream([](stream& s) {
    unmake(s.mixvoice);
    s.mixvoice = nullptr;
  });
}

MMRESULT outopen(stream& s, HWAVEOUT* device, const WAVEFORMATEX& format) {
  if (!s.mixed) {
    const int32_t chosen = s.device.load();
    const UINT id = chosen == anydevice ? WAVE_MAPPER : static_cast<UINT>(chosen);
    // The stream's number goes with the device as its instance data, which
    // a device opened without callback does not use.
    return waveOutOpen(device, id, &format, 0, static_cast<DWORD_PTR>(s.number), CALLBACK_NULL);
  }
  voice& v = *s.mixvoice;
  card* c = chosencard(s);
  if (!c) return MMSYSERR_BADDEVICEID;
  if (!entercard(*c)) return MMSYSERR_NODRIVER;
  v.paused.store(true);
  v.gain.store(s.volume.load() / static_cast<float>(fullvolume));
  const bool floats = format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
  if (!v.prepare(format.nChannels, static_cast<int32_t>(format.nSamplesPerSec), floats, c->rate.load()) ||
      !c->mix.attach(v)) {
    leavecard(*c);
    return MMSYSERR_NOMEM;
  }
  {
    std::lock_guard<spinlock> held(s.outlock);
    s.mixcard.store(c);
  }
  *device = reinterpret_cast<HWAVEOUT>(&v);
  return MMSYSERR_NOERROR;
}

MMRESULT outprepare(stream& s, HWAVEOUT device, WAVEHDR& header) {
  if (!s.mixed) return waveOutPrepareHeader(device, &header, sizeof header);
  header.dwFlags = WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT outwrite(stream& s, HWAVEOUT device, WAVEHDR& header) {
  if (!s.mixed) return waveOutWrite(device, &header, sizeof header);
  voice& v = *s.mixvoice;
  const uint32_t tail = v.tail.load(std::memory_order_relaxed);
  if (tail - v.head.load() >= voiceblocks || !(header.dwFlags & WHDR_PREPARED)) return MMSYSERR_NOMEM;
  header.dwFlags = WHDR_PREPARED | WHDR_INQUEUE;
  v.queuedbytes += header.dwBufferLength;
  v.queue[tail % voiceblocks] = &header;
  v.tail.store(tail + 1, std::memory_order_release);
  return MMSYSERR_NOERROR;
}

MMRESULT outunprepare(stream& s, HWAVEOUT device, WAVEHDR& header) {
  if (!s.mixed) return waveOutUnprepareHeader(device, &header, sizeof header);
  const DWORD flags = blockflags(header);
  if ((flags & WHDR_INQUEUE) && !(flags & WHDR_DONE)) return WAVERR_STILLPLAYING;
  header.dwFlags = 0;
  return MMSYSERR_NOERROR;
}

MMRESULT outpause(stream& s, HWAVEOUT device) {
  if (!s.mixed) return waveOutPause(device);
  s.mixvoice->paused.store(true);
  return MMSYSERR_NOERROR;
}

MMRESULT outrestart(stream& s, HWAVEOUT device) {
  if (!s.mixed) return waveOutRestart(device);
  s.mixvoice->paused.store(false);
  // The card's thread mixes it into what room the card has now, rather
  // than at its next period.
  if (card* c = s.mixcard.load()) SetEvent(c->wake);
  return MMSYSERR_NOERROR;
}

MMRESULT outreset(stream& s, HWAVEOUT device) {
  if (!s.mixed) return waveOutReset(device);
  std::lock_guard<spinlock> held(s.outlock);
  voice& v = *s.mixvoice;
  card* c = s.mixcard.load();
  if (!c) return MMSYSERR_INVALHANDLE;
  c->mix.detach(v);
  dropblocks(v);
  c->mix.attach(v);
  return MMSYSERR_NOERROR;
}

void outletgo(stream& s) {
  if (!s.mixed || !s.mixvoice) return;
  voice& v = *s.mixvoice;
  voice* follower = v.next.load();
  if (!follower || !v.ending.load() || follower->leader.load() != &v) return;
  if (!v.paused.load() && !s.cancelflag.load() && s.mixcard.load()) {
    const unsigned long long until = GetTickCount64() + handovermostms;
    while (v.next.load() == follower && GetTickCount64() < until) Sleep(1);
  }
  if (v.next.exchange(nullptr) == follower) follower->held.store(false, std::memory_order_release);
}

MMRESULT outclose(stream& s, HWAVEOUT device) {
  if (!s.mixed) return waveOutClose(device);
  card* c;
  {
    std::lock_guard<spinlock> held(s.outlock);
    c = s.mixcard.exchange(nullptr);
  }
  if (!c) return MMSYSERR_INVALHANDLE;
  voice& v = *s.mixvoice;
  c->mix.detach(v);
  dropblocks(v);
  leavecard(*c);
  return MMSYSERR_NOERROR;
}

bool outposition(stream& s, HWAVEOUT device, DWORD& bytes) {
  if (!s.mixed) {
    MMTIME time{};
    time.wType = TIME_BYTES;
    if (waveOutGetPosition(device, &time, sizeof time) != MMSYSERR_NOERROR) return false;
    bytes = time.u.cb;
    return true;
  }
  // What the render thread has mixed of the voice, less what the card has
  // still to play of it: the frames written ahead, at the voice's rate.
  const voice& v = *s.mixvoice;
  uint64_t ahead = 0;
  {
    std::lock_guard<spinlock> held(s.outlock);
    if (const card* c = s.mixcard.load()) {
      const int32_t cardrate = c->rate.load();
      // At its speed, a card frame carries that many of the voice's.
      if (cardrate > 0)
        ahead = static_cast<uint64_t>(c->ahead.load() * static_cast<double>(v.rate) * v.speed.load() / cardrate);
    }
  }
  const uint64_t consumed = v.consumed.load();
  ahead *= v.framebytes();
  bytes = static_cast<DWORD>(consumed > ahead ? consumed - ahead : 0);
  return true;
}

bool outlost(const stream& s) {
  const card* c = s.mixcard.load();
  return s.mixed && c && c->lost.load();
}

UINT outcount(const stream& s) {
  return s.mixed ? static_cast<UINT>(endpointcount()) : waveOutGetNumDevs();
}

uint32_t outsetgain(stream& s, uint32_t fadems) {
  if (!s.mixvoice) return 0;
  voice& v = *s.mixvoice;
  v.fadefrom.store(v.gain.load());
  v.gain.store(s.volume.load() / static_cast<float>(fullvolume));
  v.fadems.store(fadems);
  // Published last: the render thread reads the gain and the length after
  // it.
  return v.fadeserial.fetch_add(1, std::memory_order_release) + 1;
}

void outmove(stream& s) {
  if (!s.mixed || !s.mixcard.load()) return;
  card* next = chosencard(s);
  if (!next || next == s.mixcard.load() || !entercard(*next)) return;
  card* previous;
  {
    std::lock_guard<spinlock> held(s.outlock);
    previous = s.mixcard.load();
    voice& v = *s.mixvoice;
    if (!previous) {  // the run closed its device meanwhile
      leavecard(*next);
      return;
    }
    previous->mix.detach(v);
    // The queue goes along; only the converter is made anew for the new
    // card's rate.
    v.retune(next->rate.load());
    next->mix.attach(v);
    s.mixcard.store(next);
  }
  leavecard(*previous);
}

}  // namespace zelov
