// Float samples from the synthesis to interleaved signed 16-bit samples.
#pragma once
#include <cstdint>

namespace zelov {

// Scaled by 32767 (so 1.0 gives 32767 and -1.0 gives -32767), cut toward
// zero, clamped to the 16-bit range. The product is formed in double, where
// it is exact. A NaN from a damaged packet comes out as -32768 rather than
// as undefined behaviour.
inline int16_t convertsample(float sample) {
  double scaled = static_cast<double>(sample) * 32767.0;
  scaled = scaled > -32768.0 ? scaled : -32768.0;
  scaled = scaled < 32767.0 ? scaled : 32767.0;
  return static_cast<int16_t>(static_cast<int32_t>(scaled));
}

// Interleaves `frames` frames of `channels` planar channels into out.
inline void convertframes(float* const* planes, int channels, int frames, int16_t* out) {
  for (int k = 0; k < channels; ++k) {
    const float* plane = planes[k];
    int16_t* dst = out + k;
    for (int j = 0; j < frames; ++j) dst[j * channels] = convertsample(plane[j]);
  }
}

}  // namespace zelov
