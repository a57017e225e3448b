#include "engine/streams/state.h"

#include "engine/streams/made.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>


namespace zelov {

stream::stream() {}

stream defaultstream;

namespace {

// The streams given out by number; slot 0 is the default stream's. A slot
// keeps its stream once made.
struct streamtable {
  spinlock lock;
  stream* slots[maxstreams + 1] = {&defaultstream};
  bool inuse[maxstreams + 1] = {true};
};
streamtable table;

// Without the events (creation failed) the waits fall back to sleeping the
// same time.
void waitfor(HANDLE event, DWORD ms) {
  if (!event || WaitForSingleObject(event, ms) == WAIT_FAILED) Sleep(ms);
}

}  // namespace

stream* openstream() {
  std::lock_guard<spinlock> held(table.lock);
  for (int32_t n = 1; n <= maxstreams; ++n) {
    if (table.inuse[n]) continue;
    if (!table.slots[n]) {
      table.slots[n] = make<stream>();
      if (!table.slots[n]) return nullptr;
      table.slots[n]->number = n;
    }
    table.inuse[n] = true;
    return table.slots[n];
  }
  return nullptr;
}

stream* findstream(int32_t number) {
  if (number < 1 || number > maxstreams) return nullptr;
  std::lock_guard<spinlock> held(table.lock);
  return table.inuse[number] ? table.slots[number] : nullptr;
}

void closestream(stream& s) {
  if (s.number < 1 || s.number > maxstreams) return;
  std::lock_guard<spinlock> held(table.lock);
  table.inuse[s.number] = false;
}

namespace {

void closeevent(HANDLE& event) {
  if (event) CloseHandle(event);
  event = nullptr;
}

}  // namespace

void eachstream(void (*visit)(stream& s)) {
  std::lock_guard<spinlock> held(table.lock);
  for (stream* s : table.slots)
    if (s) visit(*s);
}

void releasestreams() {
  std::lock_guard<spinlock> held(table.lock);
  for (int32_t n = 0; n <= maxstreams; ++n) {
    stream* s = table.slots[n];
    if (!s) continue;
    closeevent(s->wakeevent);
    closeevent(s->doneevent);
    closeevent(s->readyevent);
    if (HANDLE thread = s->workerthread.exchange(nullptr)) CloseHandle(thread);
    releasememory(*s);
    if (n == 0) continue;  // the default stream is the library's own
    unmake(s);
    table.slots[n] = nullptr;
    table.inuse[n] = false;
  }
}

// The wake event resets itself as its wait returns: a seek or a cancel
// wakes the worker once, and the worker then reads the flags. Each stream
// makes its pair once.
void armwaits(stream& s) {
  if (!s.wakeevent) s.wakeevent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!s.doneevent) s.doneevent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!s.readyevent) s.readyevent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (s.wakeevent) ResetEvent(s.wakeevent);
  if (s.doneevent) ResetEvent(s.doneevent);
  if (s.readyevent) ResetEvent(s.readyevent);
}

void releasememory(stream& s) {
  std::free(s.memory);
  s.memory = nullptr;
  s.memorysize = 0;
  s.frommemory = false;
  s.fromurl = false;
}

void runready(stream& s) {
  if (s.readyevent) SetEvent(s.readyevent);
}

bool waitready(stream& s, DWORD ms) {
  return s.readyevent && WaitForSingleObject(s.readyevent, ms) == WAIT_OBJECT_0;
}

void cancelwait(stream& s, DWORD ms) {
  if (!s.cancelflag.load()) waitfor(s.wakeevent, ms);
}

void wakeworker(stream& s) {
  if (s.wakeevent) SetEvent(s.wakeevent);
}

void workerdone(stream& s) {
  if (s.doneevent) SetEvent(s.doneevent);
}

void waitworker(stream& s) {
  // The flag decides; the event only cuts the wait short.
  while (s.workerlive.load()) {
    waitfor(s.doneevent, waitstepms);
    // A previous worker may signal late, after "open" reset the event.
    if (s.doneevent && s.workerlive.load()) ResetEvent(s.doneevent);
  }
  // The run has ended; its thread ends a few instructions later. The caller
  // may unload the library as soon as this returns, and the library then
  // leaves the process at once only when no thread holds it.
  if (HANDLE thread = s.workerthread.exchange(nullptr)) {
    WaitForSingleObject(thread, threadendms);
    CloseHandle(thread);
  }
}

namespace {

// The length of a comment as kept: its value (after the first '=') cut to
// tagvaluemost bytes, back to the start of a UTF-8 character.
std::size_t keptlength(const char* comment, std::size_t length) {
  const char* equals = static_cast<const char*>(std::memchr(comment, '=', length));
  const std::size_t valuestart = equals ? static_cast<std::size_t>(equals - comment) + 1 : 0;
  if (length - valuestart <= tagvaluemost) return length;
  std::size_t end = valuestart + tagvaluemost;
  while (end > valuestart && (static_cast<unsigned char>(comment[end]) & 0xc0) == 0x80) --end;
  return end;
}

}  // namespace

void settags(stream& s, char* const* comments, const int* lengths, int count) {
  std::lock_guard<spinlock> held(s.taglock);
  std::size_t at = 0;
  for (int i = 0; i < count; ++i) {
    if (!comments[i] || lengths[i] < 0) continue;
    // A NUL inside a comment would end it early for the reader: cut there.
    const std::size_t length = strnlen(comments[i], static_cast<std::size_t>(lengths[i]));
    const std::size_t kept = keptlength(comments[i], length);
    if (kept == 0) continue;  // an empty entry would end the list
    if (at + kept + 2 > tagbuffersize) break;  // its NUL and the closing one
    std::memcpy(s.tagstore + at, comments[i], kept);
    at += kept;
    s.tagstore[at++] = '\0';
  }
  s.tagstore[at] = '\0';
  s.tagserial.fetch_add(1);
}

void cleartags(stream& s) { settags(s, nullptr, nullptr, 0); }

void gettags(stream& s, char* out) {
  std::lock_guard<spinlock> held(s.taglock);
  std::memcpy(out, s.tagstore, tagbuffersize);
}

void setvendor(stream& s, const char* text) {
  std::size_t i = 0;
  for (; text && text[i] != '\0' && i + 1 < vendorsize; ++i) s.vendor[i].store(text[i], std::memory_order_relaxed);
  s.vendor[i].store('\0', std::memory_order_relaxed);
}

void getvendor(const stream& s, char* out, std::size_t outsize) {
  std::size_t i = 0;
  for (; i + 1 < outsize && i < vendorsize; ++i) {
    out[i] = s.vendor[i].load(std::memory_order_relaxed);
    if (out[i] == '\0') return;
  }
  out[i] = '\0';
}

}  // namespace zelov
