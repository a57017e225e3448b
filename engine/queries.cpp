#include "engine/queries.h"


namespace zelov {

uint32_t elapsedseconds(uint64_t bytes, int32_t rate, int32_t channels) {
  if (rate == 0) return 0;
  const uint64_t persecond = static_cast<uint64_t>(static_cast<uint32_t>(rate)) * static_cast<uint32_t>(channels) * 2u;
  if (persecond == 0) return 0;
  const uint64_t q = bytes / persecond;
  return q > 0 ? static_cast<uint32_t>(q - 1) : 0;
}

// "%02u:%02u:%02u", written out by hand: the engine's only number
// formatting would otherwise bring a whole printf into the library.
void formathms(uint32_t seconds, char* out, std::size_t outsize) {
  if (outsize == 0) return;
  char text[16];
  std::size_t n = 0;
  const uint32_t fields[3] = {seconds / 3600, (seconds / 60) % 60, seconds % 60};
  for (int i = 0; i < 3; ++i) {
    if (i > 0) text[n++] = ':';
    char digits[10];
    int count = 0;
    for (uint32_t v = fields[i]; v > 0 || count < 2; v /= 10) digits[count++] = static_cast<char>('0' + v % 10);
    while (count > 0) text[n++] = digits[--count];
  }
  if (n > outsize - 1) n = outsize - 1;
  for (std::size_t i = 0; i < n; ++i) out[i] = text[i];
  out[n] = '\0';
}

}  // namespace zelov
