// The engine under Wine, with the real WINMM and a PulseAudio pipe sink as
// the sound card. The shell driver (tests/wine/run.sh) starts the daemon and
// the capture of the sink's FIFO; each case here prints one line
// "ok NAME" or "FAIL NAME: why", and the last line counts them.
//   winetest CASE FIXTURES-DIR [CAPTURE-FILE]
// Cases:
//   silent-until-resume  stereo44100: nothing reaches the sink before
//                        "resume"; "pause" gives 1001 and "resume" goes on;
//                        the run plays to its end with result 0 (the driver
//                        then compares the capture with the reference)
//   cancel-paused        "cancel" while paused ends the run: 1 and 0
//   no-device            result 9 (run without the daemon)
//   missing              result 10
//   play-mono22050       plays mono22050 to its end with result 0
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/enginecall.h"

namespace {

WNDPROC entry;
int passed = 0, failed = 0;

long call(const char* command, char* text = nullptr) { return callengine(entry, command, text); }

void check(bool ok, const char* name, const std::string& why = "") {
  if (ok) {
    ++passed;
    std::printf("ok %s\n", name);
  } else {
    ++failed;
    std::printf("FAIL %s: %s\n", name, why.c_str());
  }
  std::fflush(stdout);
}

// The limit only guards against a hang: Wine under emulation can take
// minutes for what takes milliseconds natively.
bool waitfor(bool (*condition)(), DWORD limit = 300000) {
  for (DWORD waited = 0; !condition(); waited += 10) {
    if (waited > limit) return false;
    Sleep(10);
  }
  return true;
}

// Whether the capture holds any sound yet.
bool nonsilent(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  int16_t buffer[4096];
  size_t n;
  bool any = false;
  while (!any && (n = std::fread(buffer, 2, 4096, f)) > 0)
    for (size_t i = 0; i < n; ++i) any |= buffer[i] != 0;
  std::fclose(f);
  return any;
}

void open(const std::string& path) {
  std::vector<char> copy(path.begin(), path.end());
  copy.push_back('\0');
  call("open", copy.data());
}

bool ended() { return call("intreturn") < 999; }
bool waveready() { return call("flagdewave") == 1; }
bool resultset() { return call("intreturn2") != 0; }

// The playback ends and reports the code.
void checkends(long code) {
  check(waitfor(ended), "ends");
  check(call("intreturn2") == code, ("result-" + std::to_string(code)).c_str(),
        std::to_string(call("intreturn2")));
}

// A playback that fails: "intreturn" still shows the state before "open"
// until the worker's thread runs, so wait for the result word itself.
void checkfails(const std::string& path, long code) {
  open(path);
  check(waitfor(resultset), "ends");
  check(call("intreturn2") == code, ("result-" + std::to_string(code)).c_str(),
        std::to_string(call("intreturn2")));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  // Unbuffered, so that the engine's progress lines (same C runtime) show
  // how far a run got even if the process dies.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const std::string name = argv[1];
  const std::string dir = argv[2];
  const std::string capture = argc > 3 ? argv[3] : "";
  HMODULE engine = LoadLibraryA(ZEL_ENGINE_FILE);
  entry = engine ? reinterpret_cast<WNDPROC>(reinterpret_cast<void*>(GetProcAddress(engine, "interface1"))) : nullptr;
  check(entry != nullptr, "load", ZEL_ENGINE_FILE " or interface1 not found");
  if (!entry) return 1;
  check(reinterpret_cast<WNDPROC>(reinterpret_cast<void*>(GetProcAddress(engine, MAKEINTRESOURCEA(1)))) == entry, "ordinal-1");

  if (name == "silent-until-resume") {
    open(dir + "\\stereo44100.ogg");
    check(waitfor(waveready), "sound-ready");
    // Two blocks are queued on the paused device by now; give the sink time
    // to show whether any of it leaked through.
    waitfor(ended, 1500);
    check(!nonsilent(capture), "silent-while-paused", "sound reached the sink before resume");
    call("resume");
    check(waitfor([] { return call("gettime") >= 1; }), "plays-after-resume");
    call("pause");
    check(call("intreturn") == 1001, "paused-1001");
    call("resume");
    checkends(0);
  } else if (name == "play-mono22050") {
    open(dir + "\\mono22050.ogg");
    check(waitfor(waveready), "sound-ready");
    call("resume");
    checkends(0);
  } else if (name == "cancel-paused") {
    open(dir + "\\long.ogg");
    check(waitfor(waveready), "sound-ready");
    call("pause");
    call("cancel");
    check(call("intreturn") == 1, "intreturn-1", std::to_string(call("intreturn")));
    check(call("intreturn2") == 0, "intreturn2-0");
  } else if (name == "no-device") {
    checkfails(dir + "\\stereo44100.ogg", 9);
  } else if (name == "missing") {
    checkfails(dir + "\\no-such-file.ogg", 10);
  } else {
    check(false, "case", "unknown case " + name);
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
