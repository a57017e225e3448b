#include "mixer.h"

#include <algorithm>

#include "platform.h"

namespace zelov {

mixer::mixer(int channels) : channels_(std::clamp(channels, 1, mixchannels)) {}

bool mixer::attach(voice& v) {
  if (v.ring.channels() < 1) return false;
  v.applied = v.gain.load();  // a new voice starts at its gain, not from a ramp
  for (auto& slot : slots_) {
    voice* empty = nullptr;
    if (slot.compare_exchange_strong(empty, &v)) return true;
  }
  return false;
}

void mixer::detach(voice& v) {
  for (auto& slot : slots_) {
    voice* held = &v;
    slot.compare_exchange_strong(held, nullptr);
  }
  // A period that started before the slot was cleared may still hold the
  // voice: wait for it to end. One that starts later finds the slot empty.
  const uint64_t period = periods_.load();
  if (period % 2 == 1)
    while (periods_.load() == period) Sleep(0);
}

void mixer::render(float* out, uint32_t frames) {
  periods_.fetch_add(1);
  std::fill(out, out + static_cast<std::size_t>(frames) * channels_, 0.0f);
  for (auto& slot : slots_)
    if (voice* v = slot.load()) mixvoice(*v, out, frames);
  for (float* sample = out; sample != out + static_cast<std::size_t>(frames) * channels_; ++sample)
    *sample = std::clamp(*sample, -1.0f, 1.0f);
  periods_.fetch_add(1);
}

// The voice stage: the voice's frames, at its gain, added to the mix. A
// mono voice goes to the first two channels alike; a voice of two or more
// to the first two in order; on a mono card the voice's first two channels
// are averaged.
void mixer::mixvoice(voice& v, float* out, uint32_t frames) {
  const int width = v.ring.channels();
  const uint32_t most = chunkframes * mixchannels / static_cast<uint32_t>(width);
  const float target = v.gain.load(std::memory_order_relaxed);
  const float step = 1.0f / rampframes;
  uint32_t done = 0;
  while (done < frames) {
    const uint32_t got = v.ring.read(chunk_, std::min(frames - done, most));
    if (got == 0) break;
    for (uint32_t i = 0; i < got; ++i) {
      v.applied += std::clamp(target - v.applied, -step, step);
      const float* in = chunk_ + static_cast<std::size_t>(i) * width;
      float* to = out + static_cast<std::size_t>(done + i) * channels_;
      const float left = in[0], right = width > 1 ? in[1] : in[0];
      if (channels_ == 1) {
        to[0] += v.applied * (width > 1 ? (left + right) * 0.5f : left);
      } else {
        to[0] += v.applied * left;
        to[1] += v.applied * right;
      }
    }
    done += got;
  }
  v.mixed.fetch_add(done, std::memory_order_relaxed);
  if (done < frames) v.underruns.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace zelov
