// One sound card's mix: every voice that plays to the card is summed here,
// in float, into the card's channels, each through its voice stage first
// (its volume and pan, ramped so that a change never clicks, its speed and
// its fades). A voice may follow another (a queued file): it waits, held,
// until its leader's last frame, or until its leader comes within their
// crossfade of its end, and the mix starts it on the very next frame. The render thread calls render() once a
// period. It never waits on a lock, never allocates and never touches the
// file system (but for a converter's tables, made again when the card's
// rate changes or a new speed needs them): a voice's sound reaches it as
// the blocks its stream's decoder queued (16-bit samples or floats, a
// wave-out device's queue handed over through two counters), and every
// setting through an atomic. The decoder's thread attaches and detaches
// voices; a detach returns only once the render thread can no longer be
// reading the voice, so that its blocks may then be refilled or the voice
// freed.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/output/varispeed.h"
#include "engine/streams/platform.h"
#include "engine/protocol.h"

struct SpeexResamplerState_;

namespace zelov {

// How many frames a gain change takes to go all the way from 0 to 1 (about
// 6 ms at 44.1 kHz): a straight slope, so that no step is ever heard.
constexpr uint32_t rampframes = 256;
// The most channels a card's frame has here (7.1).
constexpr int mixchannels = 8;
// The blocks a voice holds at once: its stream queues at most three (two
// play slots and the tail, or its silence), one more is room to spare.
constexpr uint32_t voiceblocks = 4;

// A block's flags, which the device or the mix writes from its own thread
// while the decoder's thread reads them; a block taken whole is marked
// played (done), as a wave-out device marks it.
inline DWORD blockflags(const WAVEHDR& block) { return __atomic_load_n(&block.dwFlags, __ATOMIC_ACQUIRE); }
inline void markplayed(WAVEHDR& block) {
  __atomic_store_n(&block.dwFlags, static_cast<DWORD>(WHDR_DONE | WHDR_PREPARED), __ATOMIC_RELEASE);
}

struct voice {
  voice() = default;
  ~voice();
  voice(const voice&) = delete;
  voice& operator=(const voice&) = delete;

  // The blocks' format: 16-bit samples, or 32-bit floats (`floats`),
  // interleaved. Set while detached.
  int channels = 0;
  int32_t rate = 0;
  bool floats = false;
  uint32_t framebytes() const { return static_cast<uint32_t>(channels) * (floats ? 4 : 2); }
  // Blocks of floats with more than two channels are in Windows' speaker
  // order (front left, front right, centre, LFE, back left and right, side
  // left and right, as FLAC orders them too) and are mixed down to two
  // with these weights, made by prepare (see downmix in mixer.cpp). 16-bit
  // blocks give their first two channels, as they always have.
  float downleft[mixchannels] = {};
  float downright[mixchannels] = {};
  // The converter from the voice's rate (times its speed) to its card's,
  // made while the voice is detached (it allocates), used by the render
  // thread alone, and only while the rates differ or the speed is not 1:
  // otherwise the blocks' frames go to the mix as they are. libspeexdsp's
  // when the rates differ; the speed stage when they are the same.
  SpeexResamplerState_* resampler = nullptr;
  varispeed speedstage;
  int32_t resampledto = 0;
  float tunedspeed = 1.0f;  // the speed the converter is set for; the render thread's
  bool converting = false;  // the frames go through it (see mixvoice); the render thread's

  // The queue: the decoder's thread writes `queue[tail % voiceblocks]` and
  // then counts `tail` on; the render thread mixes the block at `head`, and
  // once it has taken all of it marks it done (as a wave-out device does,
  // in its flags) and counts `head` on.
  WAVEHDR* queue[voiceblocks] = {};
  std::atomic<uint32_t> head{0};
  std::atomic<uint32_t> tail{0};
  uint32_t offset = 0;  // bytes of the head block mixed; the render thread's

  // A paused voice is left out of the mix and keeps its place.
  std::atomic<bool> paused{true};
  // The gain the stage moves toward: the volume over 100, 0 when muted.
  std::atomic<float> gain{1.0f};
  // The pan, -1 (left) to 1 (right), and the speed, 0.25 to 4 (a rate that
  // changes the pitch with it, as a turntable's does), read each period;
  // a stream keeps them from file to file.
  std::atomic<float> pan{0.0f};
  std::atomic<float> speed{1.0f};
  // Bytes of its blocks the render thread has mixed since the voice was
  // opened or reset: the card's clock for this voice's position.
  std::atomic<uint64_t> consumed{0};
  // Periods in which the voice was playing and had no sound ready (its
  // decoder fell behind): silent for the rest of the period, the others
  // went on.
  std::atomic<uint32_t> underruns{0};
  // A fade: the gain slides to `gain` over `fadems` milliseconds rather
  // than over a short ramp. `fadeserial` counts the fades and the gains put
  // (outsetgain), so that the later one wins; `fadedone` is the serial of
  // the last fade that reached its end.
  std::atomic<uint32_t> fadems{0};
  std::atomic<float> fadefrom{1.0f};  // the gain before the fade, for one put before the voice is attached
  std::atomic<uint32_t> fadeserial{0};
  std::atomic<uint32_t> fadedone{0};
  // The render thread's alone: the gain being applied, the pan's gains of
  // the left and right side being applied, and the fade under way.
  float level = 1.0f;
  float panleft = 1.0f, panright = 1.0f;
  uint32_t fadeseen = 0;
  uint32_t fadeleft = 0;  // frames
  float fadestep = 0.0f;
  // The last spectrumframes frames of the voice as the mix took them (after
  // its gains and pan, both sides averaged), at the card's rate: the render
  // thread writes them and counts `heardframes` on; the spectrum reads them
  // from another thread (a copy taken while the thread writes may mix two
  // periods' sound, which a picture of the sound does not mind).
  static constexpr uint32_t spectrumframes = 2048;
  std::atomic<float> heard[spectrumframes] = {};
  std::atomic<uint32_t> heardframes{0};
  // Following. A follower is `held` (left out of the mix, its blocks kept)
  // until its leader lets it go: on the frame after the leader's last, once
  // `ending` says which of the leader's blocks is its file's last (`endat`,
  // set before that block is queued, so that the mix never takes the
  // blocks before it for the last while the decoder is held up); or, with
  // `crossms` set on the leader, on the frame where the leader's sound left
  // (`endbytes`, the count of `consumed` at the file's end as its length
  // tells) comes within that time, the two then overlapping under
  // equal-power gains. `next` on the leader names the follower, `leader` on
  // the follower the voice it waits for, so that a stale `next` of an
  // earlier run lets nothing go.
  std::atomic<voice*> next{nullptr};
  std::atomic<voice*> leader{nullptr};
  std::atomic<bool> held{false};
  std::atomic<uint32_t> crossms{0};
  std::atomic<bool> ending{false};
  std::atomic<uint32_t> endat{0};  // with `ending`: `head` once the last block is mixed
  std::atomic<uint64_t> endbytes{UINT64_MAX};
  uint64_t queuedbytes = 0;  // the bytes of the blocks queued since the clear; the decoder's thread's
  // The render thread's: the crossfade under way (`crossin` for the voice
  // coming in), its gain, and the period the voice was last mixed in (a
  // follower started within a period is mixed once in it).
  uint32_t crossleft = 0, crosslength = 0;
  bool crossin = false;
  float crossgain = 1.0f;
  uint64_t mixedin = 0;
  // At the run's end: libspeexdsp holds half its filter's length of the
  // file's last frames, waiting for the frames after them; silence fed
  // behind them brings out the `converterowes` frames still to come of
  // them (`draining` once that has begun). The render thread's alone.
  bool draining = false;
  uint32_t converterowes = 0;
  // Input frames taken from the blocks and not yet converted to the card's
  // rate; the render thread's alone.
  static constexpr uint32_t stagedmost = 1024;
  float staged[stagedmost * 2] = {};
  uint32_t stagedframes = 0;

  // Makes the voice empty and ready for blocks of this format at a card of
  // `cardrate`: the converter is made here, when the rates differ. False
  // when it cannot be. Only while detached.
  bool prepare(int blockchannels, int32_t blockrate, bool floatblocks, int32_t cardrate);
  // Empties the queue and starts the count and the converter over, keeping
  // the format (a reset). Only while detached.
  void clear();
  // Makes the converter anew for a card of `cardrate`, keeping the queue
  // (a move to another card). Only while detached.
  bool retune(int32_t cardrate);
  // Whether there is a block to mix.
  bool hasblock() const { return head.load(std::memory_order_relaxed) != tail.load(std::memory_order_acquire); }
};

class mixer {
 public:
  // `channels`: the card's, 1 to mixchannels.
  explicit mixer(int channels);
  mixer(const mixer&) = delete;
  mixer& operator=(const mixer&) = delete;

  int channels() const { return channels_; }
  // The card's format (a new default card may have another): from the
  // render thread, between periods. A voice converted for another rate is
  // converted for this one from its next period, the one time the render
  // thread allocates (the converter's tables).
  void setformat(int32_t rate, int channels);
  // From a decoder's thread: the voice is mixed from the next period on;
  // false when maxstreams voices are mixed already.
  bool attach(voice& v);
  // From a decoder's thread: the voice is no longer mixed, and the render
  // thread no longer reads it once this returns.
  void detach(voice& v);
  // From the render thread: whether any voice has sound to give now (not
  // paused or held, with a block or frames of one in hand, or a follower to
  // start).
  bool sounding();
  // From the render thread: `frames` frames of the card's channels into
  // `out`, every voice summed and clamped to -1 to 1 (never wrapped).
  void render(float* out, uint32_t frames);

 private:
  uint32_t fetch(voice& v, float* into, uint32_t frames);
  uint32_t resample(voice& v, float* into, uint32_t frames);
  uint32_t drain(voice& v, float* into, uint32_t frames);
  void mixvoice(voice& v, float* out, uint32_t frames, uint64_t period);
  bool attached(const voice& v) const;
  uint64_t framesleft(const voice& v) const;
  void startfollower(voice& v, voice& follower, float* out, uint32_t at, uint32_t frames, uint64_t crossframes,
                     uint64_t period);

  int channels_;
  int32_t rate_ = 0;
  std::atomic<voice*> slots_[maxstreams] = {};
  // Counts up as a period starts and as it ends: odd while render() or
  // sounding() reads the voices.
  std::atomic<uint64_t> periods_{0};
  // One chunk of a voice's frames at the card's rate; the render thread's.
  static constexpr uint32_t chunkframes = 512;
  float chunk_[chunkframes * 2] = {};
};

}  // namespace zelov
