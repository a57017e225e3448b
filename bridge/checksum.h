// The checksum that tells whether the deployed engine file still holds
// exactly the bytes the control library carries.
#pragma once
#include <cstddef>
#include <cstdint>

namespace bridge {

// Two running sums in the manner of Adler-32 but with moduli 65531 and
// 32761, each reduced only when strictly above its modulus. The result is
// B * 65536 + A; never negative, 0 for no bytes.
int32_t ByteChecksum(const uint8_t* bytes, std::size_t count);

}  // namespace bridge
