#include "engine/net/fetch.h"

#include <algorithm>
#include <cstring>

#include "engine/protocol.h"
#include "engine/streams/diag.h"
#include "engine/streams/library.h"
#include "engine/streams/made.h"
#include "engine/streams/state.h"

namespace zelov {

// Shared by the fetch's thread and the run's reader until both have let it
// go. The ring is single-writer (the thread) and single-reader (the run):
// each side moves its own count, the other only reads it.
struct fetch {
  fetch() {
    data = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    room = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  }
  ~fetch() {
    std::free(url);
    if (data) CloseHandle(data);
    if (room) CloseHandle(room);
  }
  fetch(const fetch&) = delete;
  fetch& operator=(const fetch&) = delete;

  std::atomic<int32_t> holders{2};
  std::atomic<bool> stop{false};
  char16_t* url = nullptr;
  uint64_t from = 0;
  HANDLE data = nullptr;  // set by the thread as it adds to the ring, answers or ends
  HANDLE room = nullptr;  // set by the reader as it takes from it

  httpanswer answer;  // written before `answered`
  std::atomic<bool> answered{false};
  std::atomic<bool> ended{false};  // the body has ended: what is in the ring is the last
  std::atomic<int32_t> failure{0};

  std::atomic<uint64_t> written{0};
  std::atomic<uint64_t> taken{0};
  std::atomic<uint32_t> prebuffer{0};
  std::atomic<bool> buffering{true};  // the reader waits for the prebuffer
  std::atomic<int64_t> once{-1};      // or, when not -1, for this many bytes this time
  std::atomic<int32_t>* level = nullptr;
  char ring[fetchringsize];
};

namespace {

// The body has ended or failed: what is in the ring is all that will come.
bool over(const fetch& f) { return f.ended.load() || f.failure.load() != 0; }

// The bytes the reader is waiting for.
uint64_t wanted(const fetch& f) {
  const int64_t once = f.once.load();
  return once >= 0 ? static_cast<uint64_t>(once) : f.prebuffer.load();
}

void letgo(fetch* f) {
  if (f->holders.fetch_sub(1) == 1) unmake(f);
}

// Waits `ms`, in steps that look at the stop.
void pause(fetch& f, DWORD ms) {
  const unsigned long long until = GetTickCount64() + ms;
  for (unsigned long long now = GetTickCount64(); now < until && !f.stop.load(); now = GetTickCount64())
    WaitForSingleObject(f.room, static_cast<DWORD>(std::min<unsigned long long>(waitstepms, until - now)));
}

// Reads the body into the ring until it ends, fails or the fetch stops.
// Returns 1 at the body's end, -1 when the connection failed, -2 when the
// server stopped sending.
int pour(fetch& f, httpget* get) {
  char chunk[16384];
  for (;;) {
    uint64_t free = 0;
    while (!f.stop.load() && (free = fetchringsize - (f.written.load() - f.taken.load())) == 0)
      WaitForSingleObject(f.room, waitstepms);
    if (f.stop.load()) return 1;
    const long n = httpread(get, chunk, static_cast<std::size_t>(std::min<uint64_t>(free, sizeof chunk)));
    if (n <= 0) return n == 0 ? 1 : static_cast<int>(n);
    const uint64_t at = f.written.load();
    const uint32_t start = static_cast<uint32_t>(at % fetchringsize);
    const uint32_t first = std::min<uint32_t>(static_cast<uint32_t>(n), fetchringsize - start);
    std::memcpy(f.ring + start, chunk, first);
    std::memcpy(f.ring, chunk + first, static_cast<std::size_t>(n) - first);
    f.written.store(at + static_cast<uint64_t>(n), std::memory_order_release);
    SetEvent(f.data);
  }
}

DWORD WINAPI fetchthread(LPVOID parameter) {
  fetch& f = *static_cast<fetch*>(parameter);
  int retries = 0;
  bool live = true;
  bool station = false;
  int64_t total = -1;  // a file's whole length
  while (!f.stop.load()) {
    const bool first = !f.answered.load();
    // A file goes on from the byte where it broke off; a live stream is
    // asked for anew.
    const uint64_t at = first ? f.from : live ? 0 : f.from + f.written.load();
    httpanswer answer;
    httpget* get = httpopen(f.url, at, answer);
    if (get && first) {
      live = answer.length < 0 || !answer.ranges;
      station = live && answer.station;
      total = answer.length < 0 ? -1 : static_cast<int64_t>(at) + answer.length;
      f.answer = answer;
      f.answered.store(true);
      SetEvent(f.data);
    }
    // A failure of the first answer is the fetch's; later, the server that
    // was there is given a few chances to come back.
    if (!get && (first || answer.failure == resulthttpstatus)) {
      f.answer = answer;
      f.failure.store(answer.failure ? answer.failure : resultunreachable);
      break;
    }
    int poured = -1;
    if (get) {
      const uint64_t before = f.written.load();
      poured = pour(f, get);
      httpclose(get);
      // A connection that carried a good part of a ring's worth was a
      // working one: the chances start over. (One that breaks after a few
      // bytes each time is not.)
      if (f.written.load() - before >= fetchringsize / 4) retries = 0;
    }
    if (f.stop.load()) break;
    // A file ends with its last byte, and so does a body of no length
    // that is not a station's; a station's end is a drop. A body that
    // breaks and cannot be resumed (no ranges) is lost.
    if (poured == 1 && !station && (total < 0 || static_cast<int64_t>(f.from + f.written.load()) >= total)) {
      f.ended.store(true);
      break;
    }
    if (live && !station) {
      diagerr("The connection was lost.\n");
      f.failure.store(poured == -2 ? resultstalled : resultconnectionlost);
      break;
    }
    if (++retries > fetchretries) {
      diagerr(poured == -2 ? "The server stopped sending.\n" : "The connection was lost.\n");
      f.failure.store(poured == -2 ? resultstalled : resultconnectionlost);
      break;
    }
    enginetrace("Connecting again\n");
    pause(f, fetchretryms << (retries - 1));
  }
  SetEvent(f.data);
  letgo(&f);
  exitthread(0);
  return 0;
}

}  // namespace

fetch* fetchopen(const char16_t* url, uint64_t from, uint32_t prebuffer, std::atomic<int32_t>* level) {
  std::size_t length = 0;
  while (url[length]) ++length;
  fetch* f = make<fetch>();
  if (!f) return nullptr;
  f->url = static_cast<char16_t*>(std::malloc((length + 1) * sizeof(char16_t)));
  HMODULE library = f->url && f->data && f->room ? holdlibrary() : nullptr;
  if (!library) {
    unmake(f);
    return nullptr;
  }
  std::memcpy(f->url, url, (length + 1) * sizeof(char16_t));
  f->from = from;
  f->prebuffer.store(std::min(prebuffer, fetchringsize));
  f->level = level;
  HANDLE thread = CreateThread(nullptr, 0, fetchthread, f, 0, nullptr);
  if (!thread) {
    FreeLibrary(library);
    unmake(f);
    return nullptr;
  }
  CloseHandle(thread);
  return f;
}

bool fetchanswer(fetch& f, httpanswer& answer, const std::atomic<int32_t>& cancel) {
  while (!f.answered.load() && f.failure.load() == 0) {
    if (cancel.load()) {
      answer = httpanswer{};
      return false;
    }
    WaitForSingleObject(f.data, waitstepms);
  }
  answer = f.answer;
  if (!f.answered.load()) answer.failure = f.failure.load();
  return f.answered.load();
}

namespace {

// Ends the reader's wait for the prebuffer once it is there, or all that
// will come is, and says how full the buffer is.
void checkbuffer(fetch& f) {
  const uint64_t have = f.written.load(std::memory_order_acquire) - f.taken.load(std::memory_order_relaxed);
  if (f.buffering.load() && (have >= wanted(f) || have == fetchringsize || over(f))) {
    f.buffering.store(false);
    f.once.store(-1);
  }
  if (f.level) f.level->store(fetchlevel(f));
}

}  // namespace

long fetchread(fetch& f, char* out, std::size_t size, const std::atomic<int32_t>& cancel) {
  for (;;) {
    if (cancel.load()) return -1;
    checkbuffer(f);
    const uint64_t taken = f.taken.load(std::memory_order_relaxed);
    const uint64_t have = f.written.load(std::memory_order_acquire) - taken;
    if (!f.buffering.load() && have > 0) {
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(have, size));
      const uint32_t start = static_cast<uint32_t>(taken % fetchringsize);
      const uint32_t first = std::min(n, fetchringsize - start);
      std::memcpy(out, f.ring + start, first);
      std::memcpy(out + first, f.ring, n - first);
      f.taken.store(taken + n, std::memory_order_release);
      SetEvent(f.room);
      return static_cast<long>(n);
    }
    if (!f.buffering.load() && over(f)) return f.failure.load() != 0 ? -1 : 0;
    // Dry: wait until the prebuffer is there again.
    f.buffering.store(true);
    WaitForSingleObject(f.data, waitstepms);
  }
}

void fetchwaitfor(fetch& f, uint32_t bytes, const std::atomic<int32_t>& cancel) {
  f.once.store(std::min(bytes, fetchringsize));
  f.buffering.store(true);
  for (checkbuffer(f); f.buffering.load() && !cancel.load(); checkbuffer(f)) WaitForSingleObject(f.data, waitstepms);
}

int32_t fetchfailure(const fetch& f) { return f.failure.load(); }

int32_t fetchstatus(const fetch& f) { return f.failure.load() != 0 || f.answered.load() ? f.answer.status : 0; }

void fetchsetprebuffer(fetch& f, uint32_t bytes) { f.prebuffer.store(std::min(bytes, fetchringsize)); }

int32_t fetchlevel(const fetch& f) {
  if (!f.buffering.load()) return 100;
  const uint64_t have = f.written.load() - f.taken.load();
  const uint64_t want = std::max<uint64_t>(wanted(f), 1);
  return static_cast<int32_t>(std::min<uint64_t>(100, have * 100 / want));
}

void fetchclose(fetch* f) {
  if (!f) return;
  f->stop.store(true);
  SetEvent(f->room);
  letgo(f);
}

}  // namespace zelov
