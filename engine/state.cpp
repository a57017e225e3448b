#include "state.h"

#include <cstring>
#include <mutex>

namespace zelov {

std::atomic<int32_t> playstate{0};
std::atomic<int32_t> pauseflag{0};
std::atomic<int32_t> resumepending{0};
std::atomic<int32_t> wavestarted{0};
std::atomic<int32_t> cancelflag{0};
std::atomic<int32_t> lastresult{0};
std::atomic<int32_t> waveflag{0};
std::atomic<uint64_t> pcmbytes{0};
std::atomic<uint32_t> totalseconds{0};
std::atomic<int32_t> streamrate{0};
std::atomic<int32_t> streamchannels{0};
std::atomic<int32_t> streamversion{0};
std::atomic<int32_t> streambitrate{0};
std::atomic<HWAVEOUT> waveout{nullptr};
char filepath[pathsize];
bool filepathtoolong = false;
char16_t widefilepath[widepathsize];
bool wideopen = false;
std::atomic<int32_t> workerlive{0};
std::atomic<double> seekto{-1.0};
std::atomic<bool> seekable{false};
std::atomic<double> duration{0.0};
std::atomic<int32_t> volume{fullvolume};

namespace {
// Manual-reset events, made once. Without them (creation failed) the waits
// fall back to sleeping the same time.
HANDLE wakeevent = nullptr;
HANDLE doneevent = nullptr;

void waitfor(HANDLE event, DWORD ms) {
  if (!event || WaitForSingleObject(event, ms) == WAIT_FAILED) Sleep(ms);
}
}  // namespace

// The wake event resets itself as its wait returns: a seek or a cancel
// wakes the worker once, and the worker then reads the flags.
void armwaits() {
  if (!wakeevent) wakeevent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!doneevent) doneevent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (wakeevent) ResetEvent(wakeevent);
  if (doneevent) ResetEvent(doneevent);
}

void cancelwait(DWORD ms) {
  if (!cancelflag.load()) waitfor(wakeevent, ms);
}

void wakeworker() {
  if (wakeevent) SetEvent(wakeevent);
}

void workerdone() {
  if (doneevent) SetEvent(doneevent);
}

void waitworker() {
  // The flag decides; the event only cuts the wait short.
  while (workerlive.load()) {
    waitfor(doneevent, waitstepms);
    // A previous worker may signal late, after "open" reset the event.
    if (doneevent && workerlive.load()) ResetEvent(doneevent);
  }
}

namespace {
spinlock taglock;
char tagstore[tagbuffersize] = {'\0', '\0'};

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

void settags(char* const* comments, const int* lengths, int count) {
  std::lock_guard<spinlock> held(taglock);
  std::size_t at = 0;
  for (int i = 0; i < count; ++i) {
    if (!comments[i] || lengths[i] < 0) continue;
    // A NUL inside a comment would end it early for the reader: cut there.
    const std::size_t length = strnlen(comments[i], static_cast<std::size_t>(lengths[i]));
    const std::size_t kept = keptlength(comments[i], length);
    if (kept == 0) continue;  // an empty entry would end the list
    if (at + kept + 2 > tagbuffersize) break;  // its NUL and the closing one
    std::memcpy(tagstore + at, comments[i], kept);
    at += kept;
    tagstore[at++] = '\0';
  }
  tagstore[at] = '\0';
}

void cleartags() { settags(nullptr, nullptr, 0); }

void gettags(char* out) {
  std::lock_guard<spinlock> held(taglock);
  std::memcpy(out, tagstore, tagbuffersize);
}

static std::atomic<char> streamvendor[vendorsize];

void setvendor(const char* text) {
  std::size_t i = 0;
  for (; text && text[i] != '\0' && i + 1 < vendorsize; ++i)
    streamvendor[i].store(text[i], std::memory_order_relaxed);
  streamvendor[i].store('\0', std::memory_order_relaxed);
}

void getvendor(char* out, std::size_t outsize) {
  std::size_t i = 0;
  for (; i + 1 < outsize && i < vendorsize; ++i) {
    out[i] = streamvendor[i].load(std::memory_order_relaxed);
    if (out[i] == '\0') return;
  }
  out[i] = '\0';
}

}  // namespace zelov
