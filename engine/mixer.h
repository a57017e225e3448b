// One sound card's mix: every voice that plays to the card is summed here,
// in float, into the card's channels, each through its voice stage first
// (its volume now, ramped so that a change never clicks; pan, rate and
// fades belong in the same stage). The render thread calls render() once a
// period: it never waits on a lock, never allocates and never touches the
// file system, since every voice's sound reaches it through the voice's
// ring and every setting through an atomic. The host's thread attaches and
// detaches voices; a detach returns only once the render thread can no
// longer be reading the voice, so that the voice may then be freed.
#pragma once
#include <atomic>
#include <cstdint>

#include "framering.h"
#include "protocol.h"

namespace zelov {

// How many frames a gain change takes to go all the way from 0 to 1 (about
// 6 ms at 44.1 kHz): a straight slope, so that no step is ever heard.
constexpr uint32_t rampframes = 256;
// The most channels a card's frame has here (7.1).
constexpr int mixchannels = 8;

struct voice {
  // The decoded sound, written by the stream's decoder.
  framering ring;
  // The gain the stage moves toward: the volume over 100, 0 when muted.
  std::atomic<float> gain{1.0f};
  // What the render thread has done: the frames it mixed from the ring (the
  // card's clock for this voice's position), and the periods in which the
  // ring had less than the period needed (the voice was silent for the rest,
  // the others went on).
  std::atomic<uint64_t> mixed{0};
  std::atomic<uint32_t> underruns{0};
  // The gain being applied; the render thread's alone.
  float applied = 1.0f;
};

class mixer {
 public:
  // `channels`: the card's, 1 to mixchannels.
  explicit mixer(int channels);
  mixer(const mixer&) = delete;
  mixer& operator=(const mixer&) = delete;

  int channels() const { return channels_; }
  // From the host's thread: the voice is mixed from the next period on; false
  // when maxstreams voices are mixed already. Its ring must have 1 or more
  // channels.
  bool attach(voice& v);
  // From the host's thread: the voice is no longer mixed, and the render
  // thread no longer reads it once this returns.
  void detach(voice& v);
  // From the render thread: `frames` frames of the card's channels into
  // `out`, every voice summed and clamped to -1 to 1 (never wrapped).
  void render(float* out, uint32_t frames);

 private:
  void mixvoice(voice& v, float* out, uint32_t frames);

  int channels_;
  std::atomic<voice*> slots_[maxstreams] = {};
  // Counts up as a period starts and as it ends: odd while render() runs.
  std::atomic<uint64_t> periods_{0};
  // One chunk of a voice's frames, read from its ring; the render thread's.
  static constexpr uint32_t chunkframes = 512;
  float chunk_[chunkframes * mixchannels] = {};
};

}  // namespace zelov
