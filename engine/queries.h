// The arithmetic behind the time queries, kept free of engine state.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zelov {

// Elapsed whole seconds of sound counted in pcmbytes, one second behind the
// count; 0 when the rate is 0.
uint32_t elapsedseconds(uint64_t bytes, int32_t rate, int32_t channels);

// hh:mm:ss with two digits a field ("%02d:%02d:%02d"); from 60 hours on the
// hours field grows wider rather than wrapping. Writes at most outsize bytes
// including the terminator.
void formathms(uint32_t seconds, char* out, std::size_t outsize);

}  // namespace zelov
