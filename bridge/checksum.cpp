#include "bridge/checksum.h"

namespace bridge {

int32_t ByteChecksum(const uint8_t* bytes, std::size_t count) {
  int32_t a = 0;
  int32_t b = 0;
  for (std::size_t i = 0; i < count; ++i) {
    a += bytes[i];
    b += a;
    if (a > 65531) a %= 65531;
    if (b > 32761) b %= 32761;
  }
  return b * 65536 + a;
}

}  // namespace bridge
