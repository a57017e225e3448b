// ZelOggPlayEx's stages in the mix and its queue, heard in the capture: a
// pan, a rate and a fade (the driver measures each); a file queued begins
// on the sample after the last of the one before, or overlaps its end under
// equal-power fades (the driver checks both); Queued says so on
// __ZelOggPlayEx, the control then speaks of the new file, and Finished
// comes once, at the end.
#include <algorithm>
#include <string>

#include "tests/wine/control/harness.h"

namespace controltest {

namespace {

long count(const Sink& sink, const std::string& event) {
  return static_cast<long>(std::count(sink.events.begin(), sink.events.end(), event));
}

// Plays `first`, queues `second` and waits for the end: Queued once, with
// the second's length then, and one Finished, after which all is over.
void playqueued(const char* name, const wchar_t* first, const wchar_t* second, double seconds, double crossfade = 0) {
  Control c(DIID___ZelOggPlayEx);
  check(c.create(CLSID_ZelOggPlayEx), std::string(name) + ": a sink connects to __ZelOggPlayEx");
  check(SUCCEEDED(c.set(L"CrossFade", crossfade)) && c.number(L"CrossFade") == crossfade,
        std::string(name) + ": CrossFade " + std::to_string(crossfade));
  double length = -1;
  c.sink.onevent = [&](const std::string& e) {
    if (e == "Queued") length = c.number(L"Duration");
  };
  c.play(first);
  const std::wstring next = fixture(second);
  check(SUCCEEDED(c.call(L"QueueFile", &next)), std::string(name) + ": QueueFile while the first plays");
  // The host is busy for a while, its messages waiting (the control's
  // timers with them): a short first file has ended before the control
  // looks, and its end is still not the control's.
  Sleep(600);
  check(c.waitend() && c.sink.events.back() == "ErrorCode 0 No error", std::string(name) + ": both play to the end",
        joined(c.sink.milestones()));
  check(count(c.sink, "Queued") == 1 && count(c.sink, "Finished") == 1 && count(c.sink, "Status stop") == 1 &&
            count(c.sink, "ErrorCode 0 No error") == 1,
        std::string(name) + ": Queued once, one stop, one Finished and one ErrorCode", joined(c.sink.events));
  check(std::abs(length - seconds) < 1e-6, std::string(name) + ": Duration speaks of the second once Queued",
        std::to_string(length));
}

}  // namespace

ZEL_CASE(caseexstages, "exstages", Alone, "Pan 0.5, Rate 2 and a fade over a second on a tone (the driver measures them)") {
  Control c;
  c.create(CLSID_ZelOggPlayEx);
  c.play(L"tone.ogg");
  pumpfor(1000);
  c.set(L"Pan", 0.5);
  mark("panned");
  pumpfor(1000);
  c.set(L"Pan", 0);
  c.set(L"Rate", 2);
  mark("rated");
  pumpfor(1000);
  c.set(L"Rate", 1);
  mark("unrated");
  pumpfor(600);
  auto stages = c.unknown.as<_ZelOggPlayEx3>();
  check(stages && SUCCEEDED(stages->FadeTo(0, 1000)), "exstages: Pan 0.5, then Rate 2, then FadeTo(0, 1000) as it plays");
  mark("fading");
  pumpfor(1300);
  mark("end");
  c.call(L"CancelPlayback");
}

ZEL_CASE(caseexqueue, "exqueue", Alone,
         "a file queued plays on the next sample (the driver compares the capture); a bad one's error at its turn") {
  playqueued("exqueue", L"short.ogg", L"stereo44100.ogg", 3.0);

  Control c(DIID___ZelOggPlayEx);
  c.create(CLSID_ZelOggPlayEx);
  EXCEPINFO e = {};
  check(c.set(L"CrossFade", -1, &e) == DISP_E_EXCEPTION && e.scode == E_INVALIDARG && c.number(L"CrossFade") == 0,
        "exqueue: CrossFade -1 fails with E_INVALIDARG, 0 stays");
  clearexception(e);
  // A queued file that cannot be played: its usual error once the first
  // has ended, and no Queued.
  const struct {
    const wchar_t* file;
    const char* error;
    const char* what;
  } bad[] = {{L"missing.ogg", "ErrorCode 5 The input file or path is invalid", "path that is not there"},
             {L"garbage-large.bin", "ErrorCode 23 Input does not appear to be an Ogg bitstream", "file that is not Ogg"}};
  for (const auto& b : bad) {
    c.sink.events.clear();
    c.play(L"short.ogg");
    const std::wstring path = fixture(b.file);
    c.call(L"QueueFile", &path);
    check(c.waitend() && count(c.sink, "Queued") == 0 && count(c.sink, "Finished") == 1 && c.sink.events.back() == b.error,
          std::string("exqueue: a queued ") + b.what + " ends the control with its error after the first",
          joined(c.sink.milestones()));
  }
}

ZEL_CASE(caseexqueueopus, "exqueueopus", Alone, "Ogg Opus queued after Vorbis, on the next sample (the driver compares)") {
  playqueued("exqueueopus", L"stereo48000.ogg", L"stereo.opus", 4.0);
}

ZEL_CASE(caseexcrossfade, "excrossfade", Alone, "two tones crossfaded over a second (the driver checks the curve)") {
  playqueued("excrossfade", L"tone.ogg", L"tone1000.ogg", 6.0, 1.0);
}

}  // namespace controltest
