#include "engine/output/card.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "engine/streams/diag.h"
#include "engine/streams/library.h"
#include "engine/streams/made.h"

namespace zelov {

std::atomic<int32_t> lingerms{2000};

card::card() {
  ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  shut = CreateEventA(nullptr, TRUE, TRUE, nullptr);
}

card::~card() {
  if (thread) CloseHandle(thread);
  if (ready) CloseHandle(ready);
  if (wake) CloseHandle(wake);
  if (shut) CloseHandle(shut);
}

namespace {

struct cardtable {
  spinlock lock;
  card* slots[maxcards] = {};
};
cardtable cards;

// How long a voice waits for its card's output to open.
constexpr DWORD openwaitms = 5000;
// How often a card that has no output looks for one again (a default card
// that went away, until the user has another).
constexpr DWORD retryms = 100;

bool sameid(const char16_t* a, const char16_t* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

// Tells the voices waiting for the card's output how its opening went.
void announce(card& c, int32_t status) {
  c.status.store(status);
  SetEvent(c.ready);
}

// The output of the card, (re)opened: false when there is none now.
bool reopen(card& c, endpoint*& out) {
  closeendpoint(out);
  out = openendpoint(c.id);
  if (!out) return false;
  c.mix.setformat(out->rate, out->channels);
  c.rate.store(out->rate);
  return true;
}

// Whether the thread may end: no voice for the linger time. Decided under
// the card's lock, so that a voice arriving meanwhile finds either a live
// thread or none (and starts one).
bool mayend(card& c, unsigned long long& idlesince) {
  const unsigned long long now = GetTickCount64();
  if (c.users.load() > 0) {
    idlesince = now;
    return false;
  }
  if (now - idlesince < static_cast<unsigned long long>(lingerms.load()) && !c.cutlinger.load()) return false;
  std::lock_guard<spinlock> held(c.life);
  if (c.users.load() > 0) return false;
  c.cutlinger.store(false);
  c.running = false;
  c.status.store(card::closed);
  ResetEvent(c.ready);
  return true;
}

// The render thread: a period at a time, the mix of every voice into what
// the card has room for. It waits only on the card's own event, takes no
// lock while voices play (the one above is taken only when none is left)
// and allocates nothing but a new output when the card changes.
DWORD WINAPI renderthread(LPVOID parameter) {
  card& c = *static_cast<card*>(parameter);
  enterrenderthread();
  const bool followsdefault = c.id[0] == u'\0';
  defaultwatch* watch = followsdefault ? watchdefault(c.wake) : nullptr;
  uint32_t changes = watch ? watch->changes.load() : 0;
  endpoint* out = nullptr;
  c.lost.store(false);
  if (!reopen(c, out)) {
    std::lock_guard<spinlock> held(c.life);
    c.running = false;
    announce(c, card::failed);
  } else {
    announce(c, card::open);
    unsigned long long idlesince = GetTickCount64();
    for (;;) {
      if (out) out->wait(c.wake, retryms);
      else WaitForSingleObject(c.wake, retryms);
      if (watch && watch->changes.load() != changes) {
        changes = watch->changes.load();
        enginetrace("The default sound card changed.\n");
        reopen(c, out);
      }
      uint32_t frames = 0;
      if (out && !out->room(frames)) {
        diagerr("The sound card went away.\n");
        closeendpoint(out);
        out = nullptr;
        if (!followsdefault) c.lost.store(true);
      }
      if (!out && followsdefault) reopen(c, out);
      // With nothing to play the card is left to run dry (it plays silence):
      // the next sound is then written at once with nothing queued before
      // it, as a stream of its own would be, rather than behind the lead.
      if (!c.mix.sounding()) frames = 0;
      while (out && frames > 0) {
        const uint32_t n = frames < card::bufferframes ? frames : card::bufferframes;
        c.mix.render(c.buffer, n);
        if (!out->write(c.buffer, n)) break;
        frames -= n;
      }
      if (out) c.ahead.store(out->ahead());
      if (mayend(c, idlesince)) break;
    }
  }
  closeendpoint(out);
  unwatch(watch);
  leaverenderthread();
  SetEvent(c.shut);
  exitthread(0);
  return 0;
}

}  // namespace

card* findcard(const char16_t* id) {
  std::size_t length = 0;
  while (id[length]) ++length;
  if (length >= endpointidsize) return nullptr;
  std::lock_guard<spinlock> held(cards.lock);
  card* unused = nullptr;
  for (card*& slot : cards.slots) {
    if (slot && sameid(slot->id, id)) return slot;
    if (!unused && slot && slot->users.load() == 0 && !slot->running) unused = slot;
  }
  for (card*& slot : cards.slots) {
    if (slot) continue;
    slot = make<card>();
    if (!slot) return nullptr;
    std::memcpy(slot->id, id, (length + 1) * sizeof(char16_t));
    return slot;
  }
  // Every slot has a card: one that nobody uses takes the new id.
  if (unused) std::memcpy(unused->id, id, (length + 1) * sizeof(char16_t));
  return unused;
}

bool entercard(card& c) {
  HANDLE ended = nullptr;
  bool start = false;
  {
    std::lock_guard<spinlock> held(c.life);
    c.users.fetch_add(1);
    c.cutlinger.store(false);
    if (!c.running) {
      c.running = start = true;
      ended = c.thread;
      c.thread = nullptr;
      c.status.store(card::opening);
      ResetEvent(c.ready);
      ResetEvent(c.shut);
    }
  }
  if (start) {
    // The card's last thread has decided to end: let it close its output
    // before this one opens another.
    if (ended) {
      WaitForSingleObject(ended, INFINITE);
      CloseHandle(ended);
    }
    HMODULE library = holdlibrary();
    HANDLE thread = library ? CreateThread(nullptr, 0, renderthread, &c, 0, nullptr) : nullptr;
    if (library && !thread) FreeLibrary(library);
    std::lock_guard<spinlock> held(c.life);
    c.thread = thread;
    if (!thread) {
      c.running = false;
      announce(c, card::failed);
    }
  }
  WaitForSingleObject(c.ready, openwaitms);
  if (c.status.load() == card::open) return true;
  leavecard(c);
  return false;
}

void leavecard(card& c) {
  c.users.fetch_sub(1);
  SetEvent(c.wake);
}

void endlingering() {
  card* ending[maxcards] = {};
  int count = 0;
  {
    std::lock_guard<spinlock> held(cards.lock);
    for (card* c : cards.slots) {
      if (!c) continue;
      std::lock_guard<spinlock> life(c->life);
      if (!c->running || c->users.load() > 0) continue;
      c->cutlinger.store(true);
      SetEvent(c->wake);
      ending[count++] = c;
    }
  }
  const unsigned long long until = GetTickCount64() + 1000;
  for (int i = 0; i < count; ++i) {
    const unsigned long long now = GetTickCount64();
    WaitForSingleObject(ending[i]->shut, now < until ? static_cast<DWORD>(until - now) : 0);
  }
}

void releasecards() {
  std::lock_guard<spinlock> held(cards.lock);
  for (card*& slot : cards.slots) {
    unmake(slot);
    slot = nullptr;
  }
}

}  // namespace zelov
