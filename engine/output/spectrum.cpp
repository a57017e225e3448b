#include "engine/output/spectrum.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/output/mixer.h"

namespace zelov {

bool spectrum(const voice& v, int32_t cardrate, int32_t bands, double* levels) {
  constexpr uint32_t n = voice::spectrumframes;
  std::fill(levels, levels + bands, 0.0);
  if (cardrate <= 0) return true;
  kiss_fftr_cfg transform = kiss_fftr_alloc(static_cast<int>(n), 0, nullptr, nullptr);
  auto* samples = static_cast<kiss_fft_scalar*>(std::malloc(n * sizeof(kiss_fft_scalar)));
  auto* bins = static_cast<kiss_fft_cpx*>(std::malloc((n / 2 + 1) * sizeof(kiss_fft_cpx)));
  const bool made = transform && samples && bins;
  if (made) {
    // The frames in the order they were heard, oldest first, windowed.
    const uint32_t end = v.heardframes.load(std::memory_order_acquire);
    double windowsum = 0;
    for (uint32_t i = 0; i < n; ++i) {
      const double window = 0.5 - 0.5 * std::cos(6.283185307179586 * i / n);
      windowsum += window;
      samples[i] = static_cast<kiss_fft_scalar>(window * v.heard[(end + i) % n].load(std::memory_order_relaxed));
    }
    kiss_fftr(transform, samples, bins);
    // A sine of amplitude a gives a bin of a times half the window's sum.
    const double scale = 2.0 / windowsum, hertz = static_cast<double>(cardrate) / n;
    auto amplitude = [&](uint32_t k) { return scale * std::hypot(bins[k].r, bins[k].i); };
    for (int32_t b = 0; b < bands; ++b) {
      const double low = 20.0 * std::pow(1000.0, static_cast<double>(b) / bands);
      const double high = 20.0 * std::pow(1000.0, static_cast<double>(b + 1) / bands);
      const uint32_t first = static_cast<uint32_t>(std::ceil(low / hertz));
      const uint32_t last = std::min<uint32_t>(static_cast<uint32_t>(std::ceil(high / hertz)), n / 2 + 1);
      double level = 0;
      if (first < last) {
        for (uint32_t k = first; k < last; ++k) level = std::max(level, amplitude(k));
      } else {
        level = amplitude(std::min<uint32_t>(static_cast<uint32_t>(std::lround(std::sqrt(low * high) / hertz)), n / 2));
      }
      levels[b] = std::min(level, 1.0);
    }
  }
  std::free(bins);
  std::free(samples);
  kiss_fftr_free(transform);
  return made;
}

}  // namespace zelov
