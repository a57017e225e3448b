#include "state.h"

namespace zelov {

std::atomic<int32_t> playstate{0};
std::atomic<int32_t> pauseflag{0};
std::atomic<int32_t> resumepending{0};
std::atomic<int32_t> wavestarted{0};
std::atomic<int32_t> cancelflag{0};
std::atomic<int32_t> lastresult{0};
std::atomic<int32_t> waveflag{0};
std::atomic<uint32_t> pcmbytes{0};
std::atomic<uint32_t> totalseconds{0};
std::atomic<int32_t> streamrate{0};
std::atomic<int32_t> streamchannels{0};
std::atomic<int32_t> streamversion{0};
std::atomic<int32_t> streambitrate{0};
std::atomic<HWAVEOUT> waveout{nullptr};
char filepath[pathsize];
bool filepathtoolong = false;
std::atomic<int32_t> workerlive{0};

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
