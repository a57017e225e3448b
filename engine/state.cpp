#include "state.h"

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

namespace {
// Manual-reset events, made once. Without them (creation failed) the waits
// fall back to sleeping the same time.
HANDLE wakeevent = nullptr;
HANDLE doneevent = nullptr;

void waitfor(HANDLE event, DWORD ms) {
  if (!event || WaitForSingleObject(event, ms) == WAIT_FAILED) Sleep(ms);
}
}  // namespace

void armwaits() {
  if (!wakeevent) wakeevent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
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
    waitfor(doneevent, 50);
    // A previous worker may signal late, after "open" reset the event.
    if (doneevent && workerlive.load()) ResetEvent(doneevent);
  }
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
