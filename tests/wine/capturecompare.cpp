// Compares what the sound sink received with the reference decode.
//   capturecompare REFERENCE.raw CAPTURE.raw [MOSTSILENT]
//   capturecompare --correlate MONO22050.raw CAPTURE.raw
//   capturecompare --levels CAPTURE.raw VOLUME50 MUTE UNMUTE END
//   capturecompare --position REFERENCE.raw CAPTURE.raw AT SECONDS SEEK
//   capturecompare --pitches CAPTURE.raw BOTH HALF AFTER
//   capturecompare --loop REFERENCE.raw CAPTURE.raw PASSES
//   capturecompare --sum FIRST.raw SECOND.raw CAPTURE.raw
//   capturecompare --span REFERENCE.raw CAPTURE.raw
//   capturecompare --seam FIRST.raw SECOND.raw CAPTURE.raw
//   capturecompare --crossfade FIRST.raw SECOND.raw CAPTURE.raw SECONDS
//   capturecompare --stages CAPTURE.raw PANNED RATED UNRATED FADING END
// The third measures a steady
// tone around byte offsets of the capture where the volume was set to 50,
// muted, unmuted, and the tone left: the level ratios and how soon the
// volume was heard; it fails outside the limits. The fourth finds the file's
// start and its 100 s mark in the capture, and measures how far Position
// (SECONDS, read when the capture held AT bytes) leads the sound reaching
// the sink, and how soon a seek to 100 s made at byte SEEK was heard; it
// fails outside the limits. The fifth measures two tones played at once
// (330 Hz at 0.6 of full scale, 1000 Hz at 0.3, on the left channel): both
// must be there before byte BOTH, and between HALF (where the first one's
// volume went to 50) and AFTER the first must be at half its amplitude and
// the second as it was. The sixth finds the file played over and over, at
// least PASSES times and whole passes only: between one pass's last frame
// and the next one's first not one frame may be added or lost, while
// silence the sound server inserts elsewhere is skipped and counted. The
// seventh finds two sounds mixed: the first from its start, the second
// started while the first plays; once the first is taken away, what is
// left must be the second, every sample exactly (a float mix of 16-bit
// samples converted back by the sound server), and no sum may exceed full
// scale without being clamped to it. The eighth finds a sound whose volume
// changed again and again as long in the capture as in the file (within 8
// frames), once inserted silence is left out. The ninth finds two files
// played back to back as the first form finds one, except that no silence
// may be skipped from the first's last sounding frame to the second's
// first: not one frame between them. The tenth finds two files whose last
// and first SECONDS overlap: the first whole up to there, then within 3 of
// the first times the cosine plus the second times the sine of a quarter
// turn across the overlap (equal power), then the second whole. The
// eleventh measures the tone file (330 Hz left, 440 Hz right, at 0.6) under
// the mix's stages, from the byte offsets where each was set: Pan 0.5 (the
// sides at sqrt(2) cos and sin of 67.5 degrees), then Pan 0 and Rate 2 (the
// left tone's zero crossings at 660 Hz), then Rate 1, then a fade to 0 over
// a second (a straight slope: from 95 % to 5 % in 0.9 s, half way at half).
// In the first form both are interleaved 16-bit stereo at the same rate. The capture starts with a stretch of
// silence of its own and the sound server may insert short runs of silence
// when it falls behind; those are skipped. Every reference frame must then
// appear, in order, unchanged: nothing lost, repeated or altered.
// In the second form the reference is 22050 Hz mono, which the sound server
// resamples to the sink's 44100 Hz and copies to both channels: the first
// second of it must correlate with the capture's left channel.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

static std::vector<uint32_t> readframes(const char* path) {
  std::vector<uint32_t> frames;
  FILE* f = std::fopen(path, "rb");
  if (!f) return frames;
  uint32_t frame;
  while (std::fread(&frame, 4, 1, f) == 1) frames.push_back(frame);
  std::fclose(f);
  return frames;
}

static int correlate(const char* refpath, const char* cappath) {
  std::vector<int16_t> ref;
  FILE* f = std::fopen(refpath, "rb");
  int16_t sample;
  while (f && std::fread(&sample, 2, 1, f) == 1) ref.push_back(sample);
  if (f) std::fclose(f);
  const std::vector<uint32_t> cap = readframes(cappath);
  auto left = [&cap](std::size_t i) { return static_cast<double>(static_cast<int16_t>(cap[i] & 0xffff)); };
  std::size_t first = 0;
  while (first < ref.size() && ref[first] == 0) ++first;
  std::size_t start = 0;
  while (start < cap.size() && cap[start] == 0) ++start;
  const std::size_t n = std::min<std::size_t>(22050, ref.size() - first);
  if (n < 1000 || start == cap.size()) {
    std::printf("FAIL nothing to correlate\n");
    return 1;
  }
  double best = -1;
  const std::size_t from = start > 4000 ? start - 4000 : 0;
  for (std::size_t lag = from; lag < start + 4000 && lag + 2 * n < cap.size(); ++lag) {
    double xy = 0, xx = 0, yy = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double x = ref[first + i], y = left(lag + 2 * i);
      xy += x * y;
      xx += x * x;
      yy += y * y;
    }
    if (xx > 0 && yy > 0) best = std::max(best, xy / std::sqrt(xx * yy));
  }
  std::printf("%s correlation %.4f\n", best >= 0.9 ? "ok" : "FAIL", best);
  return best >= 0.9 ? 0 : 1;
}

// The capture frame at which the reference from `seconds` on is found,
// frame for frame; -1 when nowhere, -2 when the reference is too short.
static long long frameat(const std::vector<uint32_t>& ref, const std::vector<uint32_t>& cap, double seconds) {
  const std::size_t from = static_cast<std::size_t>(seconds * 44100 + 0.5), length = 2048;
  if (from + length > ref.size()) return -2;
  for (std::size_t j = 0; j + length <= cap.size(); ++j)
    if (std::memcmp(&cap[j], &ref[from], length * 4) == 0) return static_cast<long long>(j);
  return -1;
}

static int position(const char* refpath, const char* cappath, char** marks) {
  const std::vector<uint32_t> ref = readframes(refpath);
  const std::vector<uint32_t> cap = readframes(cappath);
  // The file's start, from the first of a few early marks found whole: the
  // server may insert silence just as a stream starts.
  long long start = -1;
  for (const double early : {0.0, 0.25, 0.5, 1.0}) {
    const long long found = frameat(ref, cap, early);
    if (found < 0) continue;
    start = found - static_cast<long long>(early * 44100 + 0.5);
    break;
  }
  const long long landed = frameat(ref, cap, 100);
  if (start < 0 || landed < 0) {
    std::printf("FAIL the file's start or its 100 s mark is not in the capture (%lld, %lld)\n", start, landed);
    return 1;
  }
  const double at = std::atof(marks[0]), seconds = std::atof(marks[1]), seek = std::atof(marks[2]);
  // What the sink had played of the file when Position was read, against
  // what Position said.
  const double lead = (seconds - (at / 4 - static_cast<double>(start)) / 44100) * 1000;
  const double heard = (static_cast<double>(landed) - seek / 4) / 44.1;
  // The sound server and the capture's pipe hold about 0.1 s between the
  // device and the capture, more under load; a position taken from what
  // was decoded rather than played would lead by more than half a second.
  const bool ok = lead > -50 && lead < 250 && heard >= 0 && heard < 300;
  std::printf("%s Position leads the sound reaching the sink by %.1f ms; a seek to 100 s reaches it after %.1f ms\n",
              ok ? "ok" : "FAIL", lead, heard);
  return ok ? 0 : 1;
}

// The RMS of the left channel over [from, to) in frames.
static double rms(const std::vector<uint32_t>& cap, std::size_t from, std::size_t to) {
  double sum = 0;
  to = std::min(to, cap.size());
  if (to <= from) return 0;
  for (std::size_t i = from; i < to; ++i) {
    const double x = static_cast<int16_t>(cap[i] & 0xffff);
    sum += x * x;
  }
  return std::sqrt(sum / static_cast<double>(to - from));
}

// A measure over [from, to) taken as the median of its values in windows
// of 50 ms: a short run of silence that the server inserts into a stream
// under load (which also shifts a tone's phase) does not lower it.
template <typename Measure>
static double median50ms(std::size_t from, std::size_t to, std::size_t size, Measure measure) {
  const std::size_t window = 2205;
  std::vector<double> values;
  for (std::size_t at = from; at + window <= std::min(to, size); at += window) values.push_back(measure(at, at + window));
  if (values.empty()) return 0;
  std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
  return values[values.size() / 2];
}

static int levels(const char* cappath, char** marks) {
  const std::vector<uint32_t> cap = readframes(cappath);
  auto medianrms = [&cap](std::size_t from, std::size_t to) {
    return median50ms(from, to, cap.size(), [&cap](std::size_t a, std::size_t b) { return rms(cap, a, b); });
  };
  std::size_t at[4];
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::size_t>(std::atoll(marks[i]) / 4);
  const std::size_t ms = 441 / 10;  // frames per millisecond, near enough
  const double full = medianrms(at[0] - 600 * ms, at[0] - 100 * ms);
  const double half = medianrms(at[0] + 200 * ms, at[1]);
  const double muted = rms(cap, at[1] + 200 * ms, at[2]);  // all of it: any sound there fails
  const double back = medianrms(at[2] + 200 * ms, at[3]);
  // The volume is heard where a 20 ms window falls below midway.
  long latency = -1;
  for (std::size_t t = at[0]; t < at[1] && latency < 0; t += 5 * ms)
    if (rms(cap, t, t + 20 * ms) < (full + half) / 2) latency = static_cast<long>((t - at[0]) / ms);
  const double ratio = full > 0 ? half / full : 0, mutedratio = full > 0 ? muted / full : 1,
               backratio = full > 0 ? back / full : 0;
  const bool ok = full > 1000 && ratio >= 0.48 && ratio <= 0.52 && latency >= 0 && latency < 200 &&
                  mutedratio < 0.01 && backratio >= 0.48 && backratio <= 0.52;
  std::printf("%s volume 50: RMS ratio %.4f, heard after %ld ms; muted %.4f; unmuted %.4f\n", ok ? "ok" : "FAIL", ratio,
              latency, mutedratio, backratio);
  return ok ? 0 : 1;
}

// The amplitude of the tone of `hz` on the left channel (or the right) over
// [from, to) in frames, by a Hann-windowed Fourier sum at that one
// frequency.
static double toneamplitude(const std::vector<uint32_t>& cap, std::size_t from, std::size_t to, double hz,
                            int channel = 0) {
  to = std::min(to, cap.size());
  if (to <= from) return 0;
  const double pi = 3.14159265358979323846;
  const std::size_t n = to - from;
  double re = 0, im = 0, weights = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2 * pi * static_cast<double>(i) / static_cast<double>(n - 1));
    const double x = static_cast<int16_t>(cap[from + i] >> (16 * channel)) / 32767.0;
    re += w * x * std::cos(2 * pi * hz * static_cast<double>(i) / 44100);
    im -= w * x * std::sin(2 * pi * hz * static_cast<double>(i) / 44100);
    weights += w;
  }
  return 2 * std::sqrt(re * re + im * im) / weights;
}

static int pitches(const char* cappath, char** marks) {
  const std::vector<uint32_t> cap = readframes(cappath);
  auto medianamplitude = [&cap](std::size_t from, std::size_t to, double hz) {
    return median50ms(from, to, cap.size(), [&cap, hz](std::size_t a, std::size_t b) { return toneamplitude(cap, a, b, hz); });
  };
  const std::size_t both = static_cast<std::size_t>(std::atoll(marks[0]) / 4),
                    half = static_cast<std::size_t>(std::atoll(marks[1]) / 4),
                    after = static_cast<std::size_t>(std::atoll(marks[2]) / 4);
  const std::size_t window = 22050, settle = 13230;  // half a second; 0.3 s for the change to arrive
  if (both < window || after < half + settle + 4410) {
    std::printf("FAIL the marks leave no room to measure (%zu %zu %zu)\n", both, half, after);
    return 1;
  }
  const double low = medianamplitude(both - window, both, 330),
               high = medianamplitude(both - window, both, 1000);
  const double lowafter = medianamplitude(half + settle, after, 330),
               highafter = medianamplitude(half + settle, after, 1000);
  const double lowratio = low > 0 ? lowafter / low : 0, highratio = high > 0 ? highafter / high : 0;
  const bool ok = low > 0.5 && low < 0.7 && high > 0.25 && high < 0.35 && lowratio > 0.45 && lowratio < 0.55 &&
                  highratio > 0.9 && highratio < 1.1;
  std::printf("%s two streams at once: 330 Hz at %.3f and 1000 Hz at %.3f of full scale; after volume 50 on the "
              "first, %.3f and %.3f of what they were\n",
              ok ? "ok" : "FAIL", low, high, lowratio, highratio);
  return ok ? 0 : 1;
}

static int loop(const char* refpath, const char* cappath, int least) {
  const std::vector<uint32_t> ref = readframes(refpath), cap = readframes(cappath);
  if (ref.empty()) {
    std::printf("FAIL the reference is empty\n");
    return 1;
  }
  std::size_t j = 0;
  while (j < cap.size() && cap[j] == 0) ++j;
  std::size_t i = 0;
  while (ref[i] == 0 && i + 1 < ref.size()) ++i;  // the capture's silence covers the file's
  std::size_t passes = 0, inserted = 0;
  for (;;) {
    if (j >= cap.size() || (cap[j] == 0 && std::all_of(cap.begin() + static_cast<long>(j), cap.end(), [](uint32_t f) { return f == 0; }))) {
      // Only silence left: the sound must have ended with a whole pass.
      const bool whole = i == 0;
      const bool ok = whole && passes >= static_cast<std::size_t>(least);
      std::printf("%s %zu passes of %zu frames, ended %s; at the seams 0 frames added or lost; %zu silent frames "
                  "inserted elsewhere\n",
                  ok ? "ok" : "FAIL", passes, ref.size(), whole ? "with a whole pass" : "in the middle of a pass",
                  inserted);
      return ok ? 0 : 1;
    }
    if (cap[j] != ref[i]) {
      // Silence the server inserted is skipped, but never at a seam.
      if (cap[j] == 0 && i != 0) {
        ++j;
        ++inserted;
        continue;
      }
      std::printf("FAIL pass %zu: frame %zu differs (capture frame %zu)%s\n", passes, i, j,
                  i == 0 ? ", at a seam" : "");
      return 1;
    }
    ++j;
    if (++i == ref.size()) {
      i = 0;
      ++passes;
    }
  }
}

static std::vector<int16_t> samplesof(const std::vector<uint32_t>& frames) {
  std::vector<int16_t> out;
  for (uint32_t f : frames) {
    out.push_back(static_cast<int16_t>(f & 0xffff));
    out.push_back(static_cast<int16_t>(f >> 16));
  }
  return out;
}

// The sound from its first frame to its last, without the runs of silence
// the sound server inserts when it falls behind (a tone, or a mix of
// tones, has no run of 32 silent frames of its own), which are counted.
static std::vector<uint32_t> sounding(const std::vector<uint32_t>& frames, std::size_t& inserted) {
  std::size_t start = 0;
  while (start < frames.size() && frames[start] == 0) ++start;
  std::vector<uint32_t> kept;
  inserted = 0;
  for (std::size_t i = start; i < frames.size();) {
    std::size_t run = 0;
    while (i + run < frames.size() && frames[i + run] == 0) ++run;
    if (run >= 32) {
      if (i + run < frames.size()) inserted += run;  // not the silence after the end
      i += run;
      continue;
    }
    for (std::size_t k = 0; k <= run && i + k < frames.size(); ++k) kept.push_back(frames[i + k]);
    i += run + 1;
  }
  return kept;
}

// A tone played with its volume changed again and again: the capture's
// sound lasts exactly as long as the file's, nothing skipped or repeated.
static int span(const char* refpath, const char* cappath) {
  std::size_t none = 0, inserted = 0;
  const std::size_t want = sounding(readframes(refpath), none).size();
  const std::size_t got = sounding(readframes(cappath), inserted).size();
  const bool ok = want > 0 && (got > want ? got - want : want - got) <= 8;
  std::printf("%s the sound lasts as long as the file: %zu frames heard, %zu in the file, %zu silent frames inserted\n",
              ok ? "ok" : "FAIL", got, want, inserted);
  return ok ? 0 : 1;
}

static int sum(const char* firstpath, const char* secondpath, const char* cappath) {
  const std::vector<uint32_t> first = readframes(firstpath), second = readframes(secondpath);
  std::size_t inserted = 0;
  const std::vector<uint32_t> kept = sounding(readframes(cappath), inserted);
  std::size_t firstfrom = 0, secondfrom = 0;
  while (firstfrom < first.size() && first[firstfrom] == 0) ++firstfrom;
  while (secondfrom < second.size() && second[secondfrom] == 0) ++secondfrom;
  const std::vector<int16_t> cap = samplesof(kept), a = samplesof(first), b = samplesof(second);
  const std::size_t afrom = 2 * firstfrom, bfrom = 2 * secondfrom;
  if (cap.empty() || a.size() <= afrom || b.size() <= bfrom) {
    std::printf("FAIL sum: no sound in the capture or a reference\n");
    return 1;
  }
  // What is left once the first sound is taken away.
  std::vector<int> rest(cap.size());
  for (std::size_t i = 0; i < cap.size(); ++i) rest[i] = cap[i] - (afrom + i < a.size() ? a[afrom + i] : 0);
  std::size_t at = 0;
  while (at < rest.size() && rest[at] == 0) ++at;
  at -= at % 2;
  std::size_t compared = 0, differ = 0, clamped = 0, unclamped = 0;
  for (std::size_t i = 0; at + i < rest.size() && bfrom + i < b.size(); ++i) {
    const int whole = (afrom + at + i < a.size() ? a[afrom + at + i] : 0) + b[bfrom + i];
    const int heard = cap[at + i];
    if (whole > 32767 || whole < -32768) {
      clamped += heard == std::clamp(whole, -32768, 32767);
      unclamped += heard != std::clamp(whole, -32768, 32767);
      continue;
    }
    ++compared;
    differ += heard != whole;
  }
  const bool ok = compared > 44100 && differ == 0 && unclamped == 0 && at > 0;
  std::printf("%s the two sounds mixed are their sum: %zu samples compared, %zu differ, second from sample %zu, "
              "%zu clamped, %zu beyond full scale not clamped, %zu silent frames inserted\n",
              ok ? "ok" : "FAIL", compared, differ, at, clamped, unclamped, inserted);
  return ok ? 0 : 1;
}

// The frequency of the left channel's tone over [from, to), by its zero
// crossings.
static double crossings(const std::vector<uint32_t>& cap, std::size_t from, std::size_t to) {
  to = std::min(to, cap.size());
  std::size_t count = 0;
  for (std::size_t i = from + 1; i < to; ++i)
    count += (static_cast<int16_t>(cap[i - 1] & 0xffff) < 0) != (static_cast<int16_t>(cap[i] & 0xffff) < 0);
  return to > from ? count / 2.0 / (static_cast<double>(to - from) / 44100) : 0;
}

static int stages(const char* cappath, char** marks) {
  const std::vector<uint32_t> cap = readframes(cappath);
  std::size_t at[5];
  for (int i = 0; i < 5; ++i) at[i] = static_cast<std::size_t>(std::atoll(marks[i]) / 4);
  const std::size_t ms = 441 / 10, settle = 300 * ms;
  if (at[0] < 600 * ms || at[1] < at[0] + settle + 200 * ms || at[2] < at[1] + settle + 200 * ms ||
      at[3] < at[2] + 500 * ms || at[4] < at[3] + 1000 * ms) {
    std::printf("FAIL stages: the marks leave no room to measure\n");
    return 1;
  }
  auto amplitude = [&](std::size_t from, std::size_t to, double hz, int channel) {
    return median50ms(from, to, cap.size(), [&](std::size_t a, std::size_t b) { return toneamplitude(cap, a, b, hz, channel); });
  };
  const double left = amplitude(at[0] + settle, at[1], 330, 0), right = amplitude(at[0] + settle, at[1], 440, 1);
  const double wantleft = 0.6 * std::sqrt(2.0) * std::cos(67.5 * 3.14159265358979 / 180),
               wantright = 0.6 * std::sqrt(2.0) * std::sin(67.5 * 3.14159265358979 / 180);
  const bool panned = std::abs(left / wantleft - 1) < 0.08 && std::abs(right / wantright - 1) < 0.08;
  const double before = median50ms(at[0] - 600 * ms, at[0] - 100 * ms, cap.size(),
                                   [&](std::size_t a, std::size_t b) { return crossings(cap, a, b); });
  const double rated = median50ms(at[1] + settle, at[2], cap.size(), [&](std::size_t a, std::size_t b) { return crossings(cap, a, b); });
  const bool pitched = std::abs(before / 330 - 1) < 0.04 && std::abs(rated / 660 - 1) < 0.04;
  // The fade: the left tone's amplitude in 10 ms steps from its mark.
  const double whole = amplitude(at[3] - 300 * ms, at[3], 330, 0);
  long high = -1, low = -1;
  double middle = -1;
  for (std::size_t t = at[3]; t + 20 * ms < at[4] && low < 0; t += 10 * ms) {
    const double a = toneamplitude(cap, t, t + 20 * ms, 330);
    if (high < 0 && a < 0.95 * whole) high = static_cast<long>(t);
    if (high >= 0 && a < 0.05 * whole) low = static_cast<long>(t);
  }
  if (high >= 0 && low > high) {
    const std::size_t mid = static_cast<std::size_t>((high + low) / 2);
    middle = toneamplitude(cap, mid - 10 * ms, mid + 10 * ms, 330) / whole;
  }
  const double span = low > high && high >= 0 ? static_cast<double>(low - high) / 44100 : -1;
  const bool faded = span > 0.8 && span < 1.0 && middle > 0.42 && middle < 0.58;
  const bool ok = panned && pitched && faded;
  std::printf("%s stages: Pan 0.5 gives left %.3f (want %.3f), right %.3f (want %.3f); Rate 2 takes 330 Hz to %.1f Hz "
              "(before %.1f Hz); a fade over 1 s goes from 95 %% to 5 %% in %.3f s, at %.2f of the sound half way\n",
              ok ? "ok" : "FAIL", left, wantleft, right, wantright, rated, before, span, middle);
  return ok ? 0 : 1;
}

static int seam(const char* firstpath, const char* secondpath, const char* cappath) {
  std::vector<uint32_t> ref = readframes(firstpath);
  const std::vector<uint32_t> second = readframes(secondpath), cap = readframes(cappath);
  std::size_t lastsounding = ref.size();
  while (lastsounding > 0 && ref[lastsounding - 1] == 0) --lastsounding;
  ref.insert(ref.end(), second.begin(), second.end());
  std::size_t firstsounding = lastsounding;
  while (firstsounding < ref.size() && ref[firstsounding] == 0) ++firstsounding;
  std::size_t i = 0, j = 0, inserted = 0;
  while (i < ref.size() && ref[i] == 0) ++i;
  while (j < cap.size() && cap[j] == 0) ++j;
  if (i == ref.size() || lastsounding == 0 || j == cap.size()) {
    std::printf("FAIL seam: a reference or the capture is silent\n");
    return 1;
  }
  for (; i < ref.size(); ++i, ++j) {
    const bool atseam = i >= lastsounding && i <= firstsounding;
    while (j < cap.size() && cap[j] != ref[i] && cap[j] == 0 && !atseam) ++j, ++inserted;
    if (j >= cap.size() || cap[j] != ref[i]) {
      std::size_t silent = 0;
      while (j + silent < cap.size() && cap[j + silent] == 0) ++silent;
      std::size_t found = j + silent;  // where the reference frame turns up after the silence, if it does
      while (found < cap.size() && found < j + 44100 && cap[found] != ref[i]) ++found;
      std::printf("FAIL seam: frame %zu of the two differs or is missing (capture frame %zu: %zu silent frames "
                  "there, the frame %s)%s\n",
                  i, j, silent, found < cap.size() && cap[found] == ref[i] ? ("found " + std::to_string(found - j) + " frames later").c_str() : "not found within a second",
                  atseam ? ", at the seam" : "");
      return 1;
    }
  }
  std::printf("ok the two files back to back, %zu frames equal; 0 frames from the last of the first to the first "
              "of the second; %zu silent frames inserted elsewhere skipped\n",
              ref.size(), inserted);
  return 0;
}

static int crossfade(const char* firstpath, const char* secondpath, const char* cappath, double seconds) {
  const std::vector<uint32_t> first = readframes(firstpath);
  const std::vector<int16_t> a = samplesof(first), b = samplesof(readframes(secondpath));
  std::size_t inserted = 0;
  const std::vector<int16_t> cap = samplesof(sounding(readframes(cappath), inserted));
  std::size_t from = 0;  // the first's first sounding frame, where the capture's sound starts
  while (from < first.size() && first[from] == 0) ++from;
  const std::size_t overlap = static_cast<std::size_t>(std::lround(seconds * 44100)), frames = first.size();
  if (cap.empty() || from == frames || overlap == 0 || overlap > frames) {
    std::printf("FAIL crossfade: nothing to compare\n");
    return 1;
  }
  const std::size_t start = frames - overlap;  // the first's frame where they begin to overlap
  std::size_t before = 0, during = 0, after = 0, worst = 0, wrong = 0;
  for (std::size_t t = 0; t < cap.size(); ++t) {
    const std::size_t frame = from + t / 2, channel = t % 2;
    double expected;
    if (frame < start) {
      expected = a[2 * frame + channel], ++before;
    } else if (frame < frames) {
      const double angle = 1.5707963267948966 * static_cast<double>(frame - start + 1) / overlap;
      expected = a[2 * frame + channel] * std::cos(angle) + b[2 * (frame - start) + channel] * std::sin(angle), ++during;
    } else if (2 * (frame - start) + channel < b.size()) {
      expected = b[2 * (frame - start) + channel], ++after;
    } else {
      break;
    }
    const double off = std::abs(cap[t] - expected);
    const bool exact = frame < start || frame >= frames;
    if (exact ? off != 0 : off > 3) ++wrong;
    if (!exact) worst = std::max(worst, static_cast<std::size_t>(std::lround(off)));
  }
  const bool ok = wrong == 0 && during == 2 * overlap && after > 0;
  std::printf("%s crossfade of %zu frames: %zu samples of the first whole before, %zu overlapping (at most %zu off "
              "the equal-power sum), %zu of the second whole after; %zu wrong; %zu silent frames inserted, skipped\n",
              ok ? "ok" : "FAIL", overlap, before, during, worst, after, wrong, inserted);
  return ok ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--correlate") == 0) return correlate(argv[2], argv[3]);
  if (argc == 7 && std::strcmp(argv[1], "--levels") == 0) return levels(argv[2], argv + 3);
  if (argc == 7 && std::strcmp(argv[1], "--position") == 0) return position(argv[2], argv[3], argv + 4);
  if (argc == 6 && std::strcmp(argv[1], "--pitches") == 0) return pitches(argv[2], argv + 3);
  if (argc == 5 && std::strcmp(argv[1], "--loop") == 0) return loop(argv[2], argv[3], std::atoi(argv[4]));
  if (argc == 5 && std::strcmp(argv[1], "--sum") == 0) return sum(argv[2], argv[3], argv[4]);
  if (argc == 4 && std::strcmp(argv[1], "--span") == 0) return span(argv[2], argv[3]);
  if (argc == 5 && std::strcmp(argv[1], "--seam") == 0) return seam(argv[2], argv[3], argv[4]);
  if (argc == 8 && std::strcmp(argv[1], "--stages") == 0) return stages(argv[2], argv + 3);
  if (argc == 6 && std::strcmp(argv[1], "--crossfade") == 0)
    return crossfade(argv[2], argv[3], argv[4], std::atof(argv[5]));
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: capturecompare REFERENCE.raw CAPTURE.raw [MOSTSILENT]\n");
    return 2;
  }
  const std::vector<uint32_t> ref = readframes(argv[1]);
  const std::vector<uint32_t> cap = readframes(argv[2]);
  std::size_t first = 0;
  while (first < ref.size() && ref[first] == 0) ++first;
  if (first == ref.size()) {
    std::printf("FAIL the reference is silent\n");
    return 1;
  }
  std::size_t j = 0;
  while (j < cap.size() && cap[j] == 0) ++j;
  if (j == cap.size()) {
    std::printf("FAIL the capture holds no sound\n");
    return 1;
  }
  // With a third argument, no run of inserted silence may be longer: a
  // break in the sound is told from the sound server's short catch-ups.
  const std::size_t mostsilent = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : SIZE_MAX;
  std::size_t inserted = 0;
  for (std::size_t i = first; i < ref.size(); ++i) {
    std::size_t silent = 0;
    while (j < cap.size() && cap[j] != ref[i] && cap[j] == 0) {
      ++j;
      ++inserted;
      if (++silent > mostsilent) {
        std::printf("FAIL more than %zu silent frames before reference frame %zu (capture frame %zu)\n", mostsilent, i, j);
        return 1;
      }
    }
    if (j >= cap.size()) {
      std::printf("FAIL the capture ends at reference frame %zu of %zu\n", i, ref.size());
      return 1;
    }
    if (cap[j] != ref[i]) {
      std::printf("FAIL reference frame %zu differs (capture frame %zu)\n", i, j);
      return 1;
    }
    ++j;
  }
  std::printf("ok %zu frames equal, %zu inserted silent frames skipped\n", ref.size() - first, inserted);
  return 0;
}
