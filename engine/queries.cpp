#include "queries.h"

#include <cstdio>

namespace zelov {

uint32_t elapsedseconds(uint32_t bytes, int32_t rate, int32_t channels) {
  if (rate == 0) return 0;
  const uint32_t persecond = static_cast<uint32_t>(rate) * static_cast<uint32_t>(channels) * 2u;
  if (persecond == 0) return 0;
  const uint32_t q = bytes / persecond;
  return q > 0 ? q - 1 : 0;
}

void formathms(uint32_t seconds, char* out, std::size_t outsize) {
  std::snprintf(out, outsize, "%02u:%02u:%02u", seconds / 3600, (seconds / 60) % 60, seconds % 60);
}

}  // namespace zelov
