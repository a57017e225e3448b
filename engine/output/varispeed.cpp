#include "engine/output/varispeed.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zelov {

namespace {

// Four floats at once (SSE on both Windows targets), loaded from anywhere.
typedef float four __attribute__((vector_size(16)));
inline four load(const float* at) {
  four value;
  std::memcpy(&value, at, sizeof value);
  return value;
}
inline float total(four value) { return (value[0] + value[1]) + (value[2] + value[3]); }

constexpr double pi = 3.14159265358979323846;
// The window's shape: 7 puts its side lobes some 70 dB down.
constexpr double kaiserbeta = 7.0;
// The cutoff up to speed 1, of half the rate: the window's slope, a
// quarter of half the rate wide with 32 taps, ends at the half rate.
constexpr double basecutoff = 0.86;

// The zeroth-order modified Bessel function, by its series.
double bessel0(double x) {
  double sum = 1, term = 1;
  for (int k = 1; k < 40 && term > sum * 1e-12; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
  }
  return sum;
}

// One output frame: the window's taps at `first` of each channel, between
// the table's rows `a` and `b`.
template <bool stereo>
inline void dot(const float* a, const float* b, float between, const float* left, const float* right, int taps,
                float* out) {
  const four m = {between, between, between, between};
  four l = {}, r = {};
  for (int k = 0; k < taps; k += 4) {
    const four ak = load(a + k);
    const four c = ak + m * (load(b + k) - ak);
    l += c * load(left + k);
    if (stereo) r += c * load(right + k);
  }
  out[0] = total(l);
  if (stereo) out[1] = total(r);
}

}  // namespace

bool varispeed::make(int channels, float speed) {
  width_ = std::clamp(channels, 1, 2);
  if (!table_) table_.reset(static_cast<float*>(std::malloc(sizeof(float) * (phases + 1) * mosttaps)));
  if (!memory_) memory_.reset(static_cast<float*>(std::malloc(sizeof(float) * 2 * capacity)));
  if (!table_ || !memory_) {
    unmake();
    return false;
  }
  cutstep_ = 0;
  setspeed(speed);
  restart();
  return true;
}

void varispeed::unmake() {
  table_.reset();
  memory_.reset();
}

void varispeed::restart() {
  if (!memory_) return;
  std::fill(memory_.get(), memory_.get() + 2 * capacity, 0.0f);
  have_ = history;
  at_ = uint64_t{history} << 32;
  silent_ = 0;
}

void varispeed::remember(const float* frames, uint32_t count) {
  if (!memory_) return;
  const uint32_t kept = std::min(count, history);
  for (int c = 0; c < width_; ++c) {
    float* channel = memory_.get() + c * capacity;
    std::memmove(channel, channel + kept, (history - kept) * sizeof(float));
    for (uint32_t i = 0; i < kept; ++i) channel[history - kept + i] = frames[(count - kept + i) * width_ + c];
  }
}

void varispeed::setspeed(float speed) {
  speed = std::clamp(speed, 0.25f, 4.0f);
  step_ = static_cast<uint64_t>(std::llround(static_cast<double>(speed) * 4294967296.0));
  // The cutoff follows the speed in steps of a fiftieth, so that a slide
  // of the speed makes the table again now and then, not every period.
  const int cutstep = std::max(50, static_cast<int>(std::ceil(speed * 50.0f - 1e-3f)));
  if (cutstep != cutstep_ && table_) maketable(cutstep);
}

void varispeed::maketable(int cutstep) {
  cutstep_ = cutstep;
  const double over = cutstep / 50.0;
  taps_ = std::min(mosttaps, (static_cast<int>(std::ceil(basetaps * over)) + 3) / 4 * 4);
  const double cutoff = basecutoff / over, half = taps_ / 2;
  const double scale = 1 / bessel0(kaiserbeta);
  for (int p = 0; p <= phases; ++p) {
    float* row = table_.get() + static_cast<std::size_t>(p) * taps_;
    double sum = 0;
    for (int k = 0; k < taps_; ++k) {
      const double x = k - (half - 1) - static_cast<double>(p) / phases;
      const double sinc = x == 0 ? cutoff : std::sin(pi * cutoff * x) / (pi * x);
      const double r = x / half;
      const double window = bessel0(kaiserbeta * std::sqrt(std::max(0.0, 1 - r * r))) * scale;
      row[k] = static_cast<float>(sinc * window);
      sum += row[k];
    }
    // Each phase passes a constant as it is.
    for (int k = 0; k < taps_; ++k) row[k] = static_cast<float>(row[k] / sum);
  }
}

void varispeed::process(const float* in, uint32_t& inframes, float* out, uint32_t& outframes) {
  // After a flush, frames that come once the sound's last has played (the
  // silence a device's run ends with) follow the flush's silence.
  const uint32_t take = silent_ > 0 && held() > 0 ? 0 : std::min(inframes, capacity - have_);
  if (take > 0) silent_ = 0;
  for (int c = 0; c < width_; ++c) {
    float* channel = memory_.get() + c * capacity + have_;
    for (uint32_t i = 0; i < take; ++i) channel[i] = in[i * width_ + c];
  }
  have_ += take;
  inframes = take;
  const uint32_t half = static_cast<uint32_t>(taps_ / 2);
  const float* left = memory_.get();
  const float* right = left + capacity;
  uint32_t made = 0;
  for (; made < outframes; ++made, at_ += step_) {
    const uint32_t centre = static_cast<uint32_t>(at_ >> 32);
    // The window reaches `half` frames on; past a flush's silence only
    // frames of the sound are played.
    if (centre + half >= have_ || (silent_ > 0 && centre >= have_ - silent_)) break;
    const uint32_t fraction = static_cast<uint32_t>(at_);
    const float* a = table_.get() + static_cast<std::size_t>(fraction >> 26) * taps_;
    const float between = static_cast<float>(fraction & 0x3FFFFFF) * (1.0f / 67108864.0f);
    const uint32_t first = centre + 1 - half;
    if (width_ == 2)
      dot<true>(a, a + taps_, between, left + first, right + first, taps_, out + 2 * made);
    else
      dot<false>(a, a + taps_, between, left + first, nullptr, taps_, out + made);
  }
  outframes = made;
  // Frames no output needs again leave; `history` stay before the place.
  const uint32_t centre = static_cast<uint32_t>(at_ >> 32);
  if (centre > history) {
    const uint32_t drop = std::min(centre - history, have_);
    for (int c = 0; c < width_; ++c) {
      float* channel = memory_.get() + c * capacity;
      std::memmove(channel, channel + drop, (have_ - drop) * sizeof(float));
    }
    if (drop > have_ - silent_) silent_ -= drop - (have_ - silent_);
    have_ -= drop;
    at_ -= uint64_t{drop} << 32;
  }
}

void varispeed::flush() {
  if (silent_ > 0 || !memory_) return;
  const uint32_t half = static_cast<uint32_t>(taps_ / 2);
  const uint32_t room = std::min(half, capacity - have_);
  for (int c = 0; c < width_; ++c) std::fill_n(memory_.get() + c * capacity + have_, room, 0.0f);
  have_ += room;
  silent_ = room;
}

uint32_t varispeed::held() const {
  const uint32_t centre = static_cast<uint32_t>(at_ >> 32), sound = have_ - silent_;
  return sound > centre ? sound - centre : 0;
}

}  // namespace zelov
