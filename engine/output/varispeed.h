// The speed stage of a sound whose rate is its card's: its frames played
// faster or slower, the pitch going with them (a turntable's pitch
// control). A sound of another rate goes through libspeexdsp, whose
// converter takes its speed too; this stage is for the common case, where
// only the speed needs converting, and it is cheap enough to put on every
// sound of a mix. libspeexdsp takes its interpolating path for any speed
// that is not a simple fraction, and there it cost more than decoding the
// sound did.
//
// A windowed-sinc interpolator: 32 taps under a Kaiser window up to speed
// 1, from a table of 64 phases read between two of them. Above speed 1 the
// cutoff comes down with the speed and the taps grow with it (up to 128 at
// speed 4), so that nothing above the new half rate folds back. Flat
// within 0.01 dB to 0.7 of half the rate (15.4 kHz at 44.1 kHz); images and
// aliases some 70 dB down.
//
// Made while its voice is detached (it allocates), then the render
// thread's alone, which never allocates here.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace zelov {

class varispeed {
 public:
  static constexpr int basetaps = 32;
  static constexpr int mosttaps = 128;
  static constexpr int phases = 64;
  // The input frames the stage takes at a time, beyond its window.
  static constexpr uint32_t inputmost = 1024;

  // Ready for `channels` (1 or 2) at `speed`, with silence before the
  // first frame. Allocates; false when the memory cannot be had.
  bool make(int channels, float speed);
  // Frees it: the voice's rate is no longer its card's.
  void unmake();
  bool ready() const { return table_ != nullptr; }
  // Silence before the next frame, the speed kept (a seek, a new file).
  void restart();
  // Frames that were played as they are, so that once a speed is put the
  // stage starts from the sound just heard rather than from silence.
  void remember(const float* frames, uint32_t count);
  // The speed, 0.25 to 4; above 1 a new cutoff makes the table again.
  void setspeed(float speed);
  // As libspeexdsp's process call: takes up to `inframes` interleaved
  // frames from `in` and writes up to `outframes` to `out`; both are set
  // to what was taken and what was written.
  void process(const float* in, uint32_t& inframes, float* out, uint32_t& outframes);
  // The sound has no more frames: those still in the window come out,
  // silence following them.
  void flush();
  // Frames taken and not yet played.
  uint32_t held() const;

 private:
  void maketable(int cutstep);

  static constexpr uint32_t history = mosttaps / 2;
  static constexpr uint32_t capacity = mosttaps + inputmost;
  int width_ = 0;
  int taps_ = basetaps;
  int cutstep_ = 0;    // the speed the table's cutoff is for, in 50ths (50 up to speed 1)
  uint64_t step_ = 0;  // input frames an output frame, 32.32
  uint64_t at_ = 0;    // the next output frame's place in the memory, 32.32
  uint32_t have_ = 0;  // frames in the memory
  uint32_t silent_ = 0;  // of them, the silence a flush put after the last
  // With malloc, as the engine's other objects: the C++ runtime's
  // allocating new would bring its exception machinery into the library,
  // whose pool stays behind each time the library leaves the process.
  struct freer {
    void operator()(float* memory) const { std::free(memory); }
  };
  std::unique_ptr<float, freer> table_;  // phases + 1 rows of taps_
  std::unique_ptr<float, freer> memory_;  // each channel on its own, `capacity` frames
};

}  // namespace zelov
