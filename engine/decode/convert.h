// Float samples from the synthesis to interleaved signed 16-bit samples.
#pragma once
#include <cstdint>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

#ifdef __SSE2__
// Four samples of one channel, exactly as convertsample does them: the
// products in double, clamped (maxpd gives the bound for a NaN), cut toward
// zero.
inline __m128i convertfour(const float* in) {
  const __m128 samples = _mm_loadu_ps(in);
  const __m128d scale = _mm_set1_pd(32767.0);
  const __m128d low = _mm_set1_pd(-32768.0);
  const __m128d high = _mm_set1_pd(32767.0);
  __m128d a = _mm_mul_pd(_mm_cvtps_pd(samples), scale);
  __m128d b = _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(samples, samples)), scale);
  a = _mm_min_pd(_mm_max_pd(a, low), high);
  b = _mm_min_pd(_mm_max_pd(b, low), high);
  return _mm_unpacklo_epi64(_mm_cvttpd_epi32(a), _mm_cvttpd_epi32(b));
}
#endif

// Stereo, the common case, four frames at a time where SSE2 is there.
inline void convertstereo(const float* left, const float* right, int frames, int16_t* out) {
  int j = 0;
#ifdef __SSE2__
  for (; j + 4 <= frames; j += 4) {
    const __m128i l = convertfour(left + j);
    const __m128i r = convertfour(right + j);
    const __m128i mixed = _mm_packs_epi32(_mm_unpacklo_epi32(l, r), _mm_unpackhi_epi32(l, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * j), mixed);
  }
#endif
  for (; j < frames; ++j) {
    out[2 * j] = convertsample(left[j]);
    out[2 * j + 1] = convertsample(right[j]);
  }
}

// Interleaves `frames` frames of `channels` planar channels into out, at
// `volume` percent of their amplitude: at 100 (full volume) the samples are
// exactly those of convertsample.
inline void convertframes(float* const* planes, int channels, int frames, int16_t* out, int32_t volume = 100) {
  if (volume != 100) {
    const double gain = volume <= 0 ? 0.0 : static_cast<double>(volume) / 100.0;
    for (int k = 0; k < channels; ++k) {
      const float* plane = planes[k];
      int16_t* dst = out + k;
      for (int j = 0; j < frames; ++j) dst[j * channels] = convertsample(static_cast<float>(plane[j] * gain));
    }
    return;
  }
  if (channels == 2) {
    convertstereo(planes[0], planes[1], frames, out);
    return;
  }
  for (int k = 0; k < channels; ++k) {
    const float* plane = planes[k];
    int16_t* dst = out + k;
    for (int j = 0; j < frames; ++j) dst[j * channels] = convertsample(plane[j]);
  }
}

// Interleaved float samples (libopus gives them so) to 16-bit ones, at
// `volume` percent: at 100 exactly those of convertsample.
inline void convertinterleaved(const float* in, int samples, int16_t* out, int32_t volume = 100) {
  if (volume != 100) {
    const double gain = volume <= 0 ? 0.0 : static_cast<double>(volume) / 100.0;
    for (int i = 0; i < samples; ++i) out[i] = convertsample(static_cast<float>(in[i] * gain));
    return;
  }
  int i = 0;
#ifdef __SSE2__
  for (; i + 8 <= samples; i += 8)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(convertfour(in + i), convertfour(in + i + 4)));
#endif
  for (; i < samples; ++i) out[i] = convertsample(in[i]);
}

}  // namespace zelov
