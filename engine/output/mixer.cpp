#include "engine/output/mixer.h"

#include <speex/speex_resampler.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zelov {

namespace {

// libspeexdsp's quality 5 is its own "desktop" default. Between rates that
// are no simple fraction of each other (44.1 and 48 kHz) it costs about
// 0.3 % of a core for a stereo sound here, about what decoding one does.
constexpr int resamplequality = 5;

// The block's channels the mix uses: one, or two (its first two, or all of
// them mixed down).
int usedchannels(const voice& v) { return std::min(v.channels, 2); }

// The gains of the two sides for the voice's pan, by the constant-power
// law: each side sqrt(2) times the cosine or sine of (pan + 1) times 45
// degrees. At 0 both are exactly 1 (the sound as it is); at -1 the right is
// silent and the left 3 dB up, so that the sound's power stays the same as
// it moves (a sum past full scale is clamped with the rest of the mix). A
// mono voice is placed by it, a stereo one balanced.
void panned(const voice& v, float& left, float& right) {
  const float pan = v.pan.load(std::memory_order_relaxed);
  left = right = 1.0f;
  if (pan == 0.0f) return;
  const double angle = (static_cast<double>(pan) + 1) * 0.78539816339744831;
  left = static_cast<float>(1.4142135623730951 * std::cos(angle));
  right = static_cast<float>(1.4142135623730951 * std::sin(angle));
}

// Where each channel of a block of floats sits, in Windows' speaker order
// as FLAC gives 3 to 8 channels.
enum speaker { frontleft, frontright, centre, lfe, backleft, backright, backcentre, sideleft, sideright };
constexpr speaker layouts[mixchannels + 1][mixchannels] = {
    {}, {}, {},
    {frontleft, frontright, centre},
    {frontleft, frontright, backleft, backright},
    {frontleft, frontright, centre, backleft, backright},
    {frontleft, frontright, centre, lfe, backleft, backright},
    {frontleft, frontright, centre, lfe, backcentre, sideleft, sideright},
    {frontleft, frontright, centre, lfe, backleft, backright, sideleft, sideright},
};

// The mix-down to two channels: each front channel to its side, the centre
// and every back or side channel at -3 dB (0.7071) to its side or to both,
// a back centre at -6 dB (0.5) to both, the LFE left out; then each side's
// weights divided by their sum, so that channels all at full scale give
// full scale and never more.
void downmix(voice& v) {
  std::fill(v.downleft, v.downleft + mixchannels, 0.0f);
  std::fill(v.downright, v.downright + mixchannels, 0.0f);
  if (v.channels < 3 || v.channels > mixchannels) return;
  constexpr float third = 0.70710678f;
  float leftsum = 0, rightsum = 0;
  for (int c = 0; c < v.channels; ++c) {
    float left = 0, right = 0;
    switch (layouts[v.channels][c]) {
      case frontleft: left = 1; break;
      case frontright: right = 1; break;
      case centre: left = right = third; break;
      case lfe: break;
      case backleft: case sideleft: left = third; break;
      case backright: case sideright: right = third; break;
      case backcentre: left = right = 0.5f; break;
    }
    v.downleft[c] = left, v.downright[c] = right;
    leftsum += left, rightsum += right;
  }
  for (int c = 0; c < v.channels; ++c) v.downleft[c] /= leftsum, v.downright[c] /= rightsum;
}

// Whether the mix has taken the block its decoder marked as its run's last.
bool lasttaken(const voice& v) {
  return v.ending.load(std::memory_order_acquire) &&
         v.head.load(std::memory_order_relaxed) == v.endat.load(std::memory_order_relaxed) && !v.hasblock();
}

// The frames of its file a voice's converter holds: libspeexdsp half its
// filter's length (input frames), or while it drains what it still owes
// (output frames); the speed stage its window ahead (input frames).
uint32_t heldframes(const voice& v) {
  if (v.draining) return v.converterowes;
  if (v.resampler) return static_cast<uint32_t>(speex_resampler_get_input_latency(v.resampler));
  return v.speedstage.held();
}

}  // namespace

voice::~voice() {
  if (resampler) speex_resampler_destroy(resampler);
}

spx_uint32_t inputrate(const voice& v, float speed);

bool voice::prepare(int blockchannels, int32_t blockrate, bool floatblocks, int32_t cardrate) {
  channels = blockchannels;
  rate = blockrate;
  floats = floatblocks;
  downmix(*this);
  clear();
  return retune(cardrate);
}

void voice::clear() {
  head.store(0);
  tail.store(0);
  offset = 0;
  consumed.store(0);
  stagedframes = 0;
  converting = false;
  ending.store(false);
  endbytes.store(UINT64_MAX);
  queuedbytes = 0;
  crossleft = 0;
  crossgain = 1.0f;
  draining = false;
  converterowes = 0;
  if (resampler) {
    speex_resampler_reset_mem(resampler);
    speex_resampler_skip_zeros(resampler);
  }
  speedstage.restart();
}

// The converter's input rate: the voice's rate at its speed.
spx_uint32_t inputrate(const voice& v, float speed) {
  return static_cast<spx_uint32_t>(std::max<long>(std::lround(v.rate * static_cast<double>(speed)), 1));
}

bool voice::retune(int32_t cardrate) {
  stagedframes = 0;
  draining = false;
  converterowes = 0;
  if (resampler) speex_resampler_destroy(resampler);
  resampler = nullptr;
  resampledto = 0;
  converting = false;
  if (rate <= 0 || cardrate <= 0) {
    speedstage.unmake();
    return true;
  }
  // At the card's rate only a speed needs converting: the speed stage,
  // made now so that a speed put later finds it there.
  if (rate == cardrate) {
    if (!speedstage.make(std::min(channels, 2), tunedspeed)) return false;
    resampledto = cardrate;
    return true;
  }
  speedstage.unmake();
  int error = 0;
  resampler = speex_resampler_init(static_cast<spx_uint32_t>(std::min(channels, 2)), inputrate(*this, tunedspeed),
                                   static_cast<spx_uint32_t>(cardrate), resamplequality, &error);
  if (!resampler) return false;
  resampledto = cardrate;
  // The converter's own delay is skipped, so that the first frame heard is
  // the file's first.
  speex_resampler_skip_zeros(resampler);
  return true;
}

mixer::mixer(int channels) : channels_(std::clamp(channels, 1, mixchannels)) {}

void mixer::setformat(int32_t rate, int channels) {
  rate_ = rate;
  channels_ = std::clamp(channels, 1, mixchannels);
}

bool mixer::attach(voice& v) {
  if (v.channels < 1) return false;
  // A new voice starts at its gains, not from a ramp; but a fade put before
  // it was attached (a fade-in right after PlayFile) starts from where it
  // was to start, the whole way.
  panned(v, v.panleft, v.panright);
  const uint32_t serial = v.fadeserial.load(std::memory_order_acquire);
  const bool fading = v.fadems.load() > 0 && v.fadedone.load() != serial;
  v.level = fading ? v.fadefrom.load() : v.gain.load();
  v.fadeseen = fading ? serial - 1 : serial;
  v.fadeleft = 0;
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

bool mixer::sounding() {
  // Counted as a period is, so that a detach waits until the voices are no
  // longer read here either (a voice's converter may go with its next file).
  periods_.fetch_add(1);
  bool any = false;
  for (const auto& slot : slots_) {
    const voice* v = slot.load();
    if (!v || v->paused.load(std::memory_order_relaxed) || v->held.load()) continue;
    any = v->hasblock() || v->stagedframes > 0 || (lasttaken(*v) && heldframes(*v) > 0) ||
          (v->ending.load() && v->next.load());
    if (any) break;
  }
  periods_.fetch_add(1);
  return any;
}

void mixer::render(float* out, uint32_t frames) {
  const uint64_t period = periods_.fetch_add(1) + 1;
  std::fill(out, out + static_cast<std::size_t>(frames) * channels_, 0.0f);
  for (auto& slot : slots_)
    if (voice* v = slot.load()) mixvoice(*v, out, frames, period);
  for (float* sample = out; sample != out + static_cast<std::size_t>(frames) * channels_; ++sample)
    *sample = std::clamp(*sample, -1.0f, 1.0f);
  periods_.fetch_add(1);
}

// Up to `frames` frames of the voice's blocks, as floats of its used
// channels, into `into`; a block taken whole is marked done and leaves the
// queue. Returns the frames there were.
uint32_t mixer::fetch(voice& v, float* into, uint32_t frames) {
  const int width = usedchannels(v);
  const uint32_t framebytes = v.framebytes();
  uint32_t done = 0;
  while (done < frames && v.hasblock()) {
    const uint32_t at = v.head.load(std::memory_order_relaxed);
    WAVEHDR* block = v.queue[at % voiceblocks];
    const uint32_t left = (block->dwBufferLength - v.offset) / framebytes;
    const uint32_t take = std::min(frames - done, left);
    float* to = into + static_cast<std::size_t>(done) * width;
    if (!v.floats) {
      const auto* samples = reinterpret_cast<const int16_t*>(block->lpData + v.offset);
      for (uint32_t i = 0; i < take; ++i)
        for (int c = 0; c < width; ++c) to[i * width + c] = samples[i * v.channels + c] * (1.0f / 32768);
    } else if (v.channels <= 2) {
      std::memcpy(to, block->lpData + v.offset, take * framebytes);
    } else {
      const auto* samples = reinterpret_cast<const float*>(block->lpData + v.offset);
      for (uint32_t i = 0; i < take; ++i, samples += v.channels) {
        float left = 0, right = 0;
        for (int c = 0; c < v.channels; ++c) left += v.downleft[c] * samples[c], right += v.downright[c] * samples[c];
        to[2 * i] = left, to[2 * i + 1] = right;
      }
    }
    done += take;
    v.offset += take * framebytes;
    v.consumed.fetch_add(take * framebytes, std::memory_order_relaxed);
    if (v.offset + framebytes > block->dwBufferLength) {
      v.offset = 0;
      markplayed(*block);
      v.head.store(at + 1, std::memory_order_release);
    }
  }
  return done;
}

// Up to `frames` frames at the card's rate, through the voice's converter.
// Only the frames this period needs are taken from the blocks: a block is
// marked played once taken, and its stream may then end and take the voice
// away, so that frames staged beyond the period would never be heard (up to
// 1024 frames, some 20 ms, were lost at the end of every converted file).
uint32_t mixer::resample(voice& v, float* into, uint32_t frames) {
  const int width = usedchannels(v);
  const double ratio = static_cast<double>(inputrate(v, v.tunedspeed)) / std::max(v.resampledto, 1);
  uint32_t done = 0;
  while (done < frames) {
    const double needed = std::ceil((frames - done) * ratio) + 2;
    const uint32_t want = static_cast<uint32_t>(std::min<double>(needed, voice::stagedmost));
    if (v.stagedframes < want) v.stagedframes += fetch(v, v.staged + v.stagedframes * width, want - v.stagedframes);
    if (v.stagedframes == 0) {
      // The file's last frames wait in the converter for the frames after
      // them: they come out now.
      if (!lasttaken(v)) break;
      if (v.resampler) {
        done += drain(v, into + done * width, frames - done);
        break;
      }
      if (!v.speedstage.ready()) break;
      v.speedstage.flush();
    }
    uint32_t inlength = v.stagedframes, outlength = frames - done;
    if (v.resampler)
      speex_resampler_process_interleaved_float(v.resampler, v.staged, &inlength, into + done * width, &outlength);
    else
      v.speedstage.process(v.staged, inlength, into + done * width, outlength);
    std::memmove(v.staged, v.staged + inlength * width, (v.stagedframes - inlength) * width * sizeof(float));
    v.stagedframes -= inlength;
    done += outlength;
    if (outlength == 0 && inlength == 0) break;
  }
  return done;
}

// The frames libspeexdsp still owes for the file's last frames, up to
// `frames` of them, brought out by silence fed behind them.
uint32_t mixer::drain(voice& v, float* into, uint32_t frames) {
  if (!v.draining) {
    v.draining = true;
    v.converterowes = static_cast<uint32_t>(speex_resampler_get_output_latency(v.resampler));
  }
  spx_uint32_t inlength = static_cast<spx_uint32_t>(speex_resampler_get_input_latency(v.resampler)) + 2;
  spx_uint32_t outlength = std::min(frames, v.converterowes);
  if (outlength == 0) return 0;
  speex_resampler_process_interleaved_float(v.resampler, nullptr, &inlength, into, &outlength);
  v.converterowes -= std::min(v.converterowes, static_cast<uint32_t>(outlength));
  return outlength;
}

bool mixer::attached(const voice& v) const {
  for (const auto& slot : slots_)
    if (slot.load() == &v) return true;
  return false;
}

// The frames at the card's rate the voice has still to give of its file, as
// its length tells; UINT64_MAX when that is not known (a looping file, or
// one of no known length).
uint64_t mixer::framesleft(const voice& v) const {
  const uint64_t end = v.endbytes.load(std::memory_order_acquire);
  const uint32_t framebytes = v.framebytes();
  if (end == UINT64_MAX || framebytes == 0 || v.rate <= 0) return UINT64_MAX;
  if (v.draining) return v.converterowes;
  const uint64_t consumed = v.consumed.load(std::memory_order_relaxed);
  const uint64_t frames = (end > consumed ? (end - consumed) / framebytes : 0) + v.stagedframes + heldframes(v);
  if (!v.converting || rate_ <= 0) return frames;
  return static_cast<uint64_t>(static_cast<double>(frames) * rate_ / (static_cast<double>(v.rate) * v.tunedspeed));
}

// Lets the follower go at frame `at` of this period and mixes it from there
// (when it plays on this card), coming in over `crossframes` (0: at once,
// the leader having ended).
void mixer::startfollower(voice& v, voice& follower, float* out, uint32_t at, uint32_t frames, uint64_t crossframes,
                          uint64_t period) {
  v.next.store(nullptr);
  // Only a voice of this mixer is the render thread's to set up: another
  // card's starts on its own next period.
  const bool here = attached(follower);
  if (here && crossframes > 0) {
    follower.crossleft = follower.crosslength = static_cast<uint32_t>(crossframes);
    follower.crossin = true;
    follower.crossgain = 0.0f;
  }
  follower.held.store(false, std::memory_order_release);
  if (here) mixvoice(follower, out + static_cast<std::size_t>(at) * channels_, frames - at, period);
}

// The voice stage: the voice's frames, at its gains, added to the mix. A
// mono voice goes to the first two channels alike; a voice of two or more
// to the first two in order; on a mono card the two sides are averaged.
// The converter takes over from the first period in which the rates differ
// or the speed is not 1, and keeps the voice until its next file or seek:
// going back to the frames as they are would skip what it holds.
void mixer::mixvoice(voice& v, float* out, uint32_t frames, uint64_t period) {
  if (v.paused.load(std::memory_order_relaxed) || v.held.load(std::memory_order_acquire) || v.mixedin == period) return;
  v.mixedin = period;
  // Prepared for a card of another rate than this one now has.
  if (rate_ > 0 && v.resampledto != rate_) v.retune(rate_);
  const float speed = v.speed.load(std::memory_order_relaxed);
  if ((v.resampler || v.speedstage.ready()) && !v.converting) v.converting = v.rate != v.resampledto || speed != 1.0f;
  if (v.converting && speed != v.tunedspeed) {
    if (v.resampler)
      speex_resampler_set_rate(v.resampler, inputrate(v, speed), static_cast<spx_uint32_t>(v.resampledto));
    else
      v.speedstage.setspeed(speed);
    v.tunedspeed = speed;
  }
  const int width = usedchannels(v);
  float left = 1, right = 1;
  panned(v, left, right);
  // A new fade, or a gain put that ends one.
  const uint32_t serial = v.fadeserial.load(std::memory_order_acquire);
  const float target = v.gain.load(std::memory_order_relaxed);
  if (serial != v.fadeseen) {
    v.fadeseen = serial;
    const uint64_t length = uint64_t{v.fadems.load(std::memory_order_relaxed)} * static_cast<uint32_t>(std::max(rate_, 1)) / 1000;
    v.fadeleft = static_cast<uint32_t>(length);
    v.fadestep = v.fadeleft ? (target - v.level) / static_cast<float>(v.fadeleft) : 0.0f;
    if (v.fadeleft == 0) v.fadedone.store(serial, std::memory_order_release);
  }
  // A follower waiting for this voice, and how long the two overlap.
  voice* follower = v.next.load(std::memory_order_acquire);
  if (follower && follower->leader.load() != &v) follower = nullptr;
  const uint64_t crossframes = follower ? uint64_t{v.crossms.load()} * static_cast<uint32_t>(std::max(rate_, 1)) / 1000 : 0;
  uint32_t startat = frames;  // where the follower starts in this period; `frames`: not in it
  uint64_t crosslength = 0;
  const float step = 1.0f / rampframes;
  uint32_t heardat = v.heardframes.load(std::memory_order_relaxed);
  uint32_t done = 0;
  while (done < frames) {
    uint32_t want = std::min(frames - done, chunkframes);
    // The crossfade starts on the frame where what is left comes within
    // it: a chunk ends there.
    if (crossframes > 0 && startat == frames) {
      const uint64_t left = framesleft(v);
      if (left <= crossframes) {
        startat = done;
        crosslength = std::max<uint64_t>(left, 1);
        v.crossleft = v.crosslength = static_cast<uint32_t>(crosslength);
        v.crossin = false;
      } else if (left - crossframes < want) {
        want = static_cast<uint32_t>(left - crossframes);
      }
    }
    const uint32_t got = v.converting ? resample(v, chunk_, want) : fetch(v, chunk_, want);
    if (got == 0) break;
    if (!v.converting) v.speedstage.remember(chunk_, got);
    for (uint32_t i = 0; i < got; ++i) {
      if (v.fadeleft > 0) {  // a fade slides the whole way, a frame at a time
        v.level += v.fadestep;
        if (--v.fadeleft == 0) {
          v.level = target;
          v.fadedone.store(v.fadeseen, std::memory_order_release);
        }
      } else {
        v.level += std::clamp(target - v.level, -step, step);
      }
      // Equal power across a crossfade: the one going out by the cosine,
      // the one coming in by the sine, of a quarter turn.
      if (v.crossleft > 0) {
        --v.crossleft;
        const float angle = 1.57079633f * (1.0f - static_cast<float>(v.crossleft) / static_cast<float>(v.crosslength));
        v.crossgain = v.crossleft == 0 ? (v.crossin ? 1.0f : 0.0f) : v.crossin ? std::sin(angle) : std::cos(angle);
      }
      const float gain = v.level * v.crossgain;
      v.panleft += std::clamp(left - v.panleft, -step, step);
      v.panright += std::clamp(right - v.panright, -step, step);
      const float* in = chunk_ + static_cast<std::size_t>(i) * width;
      float* to = out + static_cast<std::size_t>(done + i) * channels_;
      const float l = gain * v.panleft * in[0], r = gain * v.panright * (width > 1 ? in[1] : in[0]);
      v.heard[(heardat + i) % voice::spectrumframes].store((l + r) * 0.5f, std::memory_order_relaxed);
      if (channels_ == 1) {
        to[0] += width > 1 || l != r ? (l + r) * 0.5f : l;
      } else {
        to[0] += l;
        to[1] += r;
      }
    }
    done += got;
    heardat += got;
    v.heardframes.store(heardat, std::memory_order_release);
  }
  if (done < frames) {
    // The file's last frame has been mixed: the follower comes in on the next.
    if (follower && startat == frames && lasttaken(v) && v.stagedframes == 0 && heldframes(v) == 0)
      startat = done;
    else
      v.underruns.fetch_add(1, std::memory_order_relaxed);
  }
  if (follower && startat < frames) startfollower(v, *follower, out, startat, frames, crosslength, period);
}

}  // namespace zelov
