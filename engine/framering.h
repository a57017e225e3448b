// A bounded ring of interleaved float frames between one writer and one
// reader: a stream's decoder writes what it decoded, a sound card's render
// thread reads it into the mix. Neither side ever waits for the other or
// allocates once the ring is made; each side owns one count, and the
// acquire and release on the counts make every frame written before a
// count visible to whoever reads that count.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace zelov {

class framering {
 public:
  framering() = default;
  ~framering() { std::free(samples_); }
  framering(const framering&) = delete;
  framering& operator=(const framering&) = delete;

  // Makes the ring empty, for `channels` channels and `capacity` frames;
  // false when the memory cannot be had. Neither side may be using it.
  bool reset(int channels, uint32_t capacity) {
    std::free(samples_);
    samples_ = nullptr;
    channels_ = channels > 0 ? channels : 0;
    capacity_ = 0;
    written_.store(0);
    read_.store(0);
    if (channels_ == 0 || capacity == 0) return false;
    samples_ = static_cast<float*>(std::malloc(sizeof(float) * static_cast<std::size_t>(channels_) * capacity));
    if (samples_) capacity_ = capacity;
    return samples_ != nullptr;
  }

  int channels() const { return channels_; }
  uint32_t capacity() const { return capacity_; }
  // Frames the reader can take now (the writer's view may be larger).
  uint32_t readable() const {
    return static_cast<uint32_t>(written_.load(std::memory_order_acquire) - read_.load(std::memory_order_relaxed));
  }
  // Room the writer has now.
  uint32_t writable() const {
    return capacity_ - static_cast<uint32_t>(written_.load(std::memory_order_relaxed) -
                                              read_.load(std::memory_order_acquire));
  }

  // The writer's side: copies up to `count` frames in; returns how many fit.
  uint32_t write(const float* frames, uint32_t count) {
    const uint64_t at = written_.load(std::memory_order_relaxed);
    count = std::min(count, writable());
    if (count == 0) return 0;
    const uint32_t start = slot(at), first = std::min(count, capacity_ - start);
    std::memcpy(samples_ + start * width(), frames, first * width() * sizeof(float));
    std::memcpy(samples_, frames + first * width(), (count - first) * width() * sizeof(float));
    written_.store(at + count, std::memory_order_release);
    return count;
  }

  // The reader's side: copies up to `count` frames out; returns how many
  // there were.
  uint32_t read(float* frames, uint32_t count) {
    const uint64_t at = read_.load(std::memory_order_relaxed);
    count = std::min(count, readable());
    if (count == 0) return 0;
    const uint32_t start = slot(at), first = std::min(count, capacity_ - start);
    std::memcpy(frames, samples_ + start * width(), first * width() * sizeof(float));
    std::memcpy(frames + first * width(), samples_, (count - first) * width() * sizeof(float));
    read_.store(at + count, std::memory_order_release);
    return count;
  }

 private:
  std::size_t width() const { return static_cast<std::size_t>(channels_); }
  uint32_t slot(uint64_t frame) const { return static_cast<uint32_t>(frame % capacity_); }

  float* samples_ = nullptr;
  int channels_ = 0;
  uint32_t capacity_ = 0;
  std::atomic<uint64_t> written_{0};
  std::atomic<uint64_t> read_{0};
};

}  // namespace zelov
