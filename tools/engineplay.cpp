// Plays one file through the engine and shows what the engine answers as it
// plays: settings, vendor, elapsed and total time, then the result code.
//   engineplay FILE [--wav OUT.wav]
// On Windows it loads the engine (zelov.dll, zelov64.dll) from beside itself and calls interface1
// through CallWindowProcA, as the control does. The native build links the
// engine directly and plays on the simulated device; --wav saves what that
// device played.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "tools/enginecall.h"
#else
#include <chrono>
#include <thread>

#include "engine/interface1.h"
#include "engine/native/simdevice.h"
#endif

namespace {

#ifdef _WIN32
WNDPROC entry;

bool loadengine() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, n);
  dir = dir.substr(0, dir.find_last_of("\\/") + 1);
  HMODULE engine = LoadLibraryA((dir + ZEL_ENGINE_FILE).c_str());
  if (!engine) return false;
  entry = reinterpret_cast<WNDPROC>(reinterpret_cast<void*>(GetProcAddress(engine, "interface1")));
  return entry != nullptr;
}

long call(const char* command, char* text = nullptr) { return callengine(entry, command, text); }

void pause(int ms) { Sleep(ms); }
#else
bool loadengine() {
  simdevice::reset(simdevice::mode::realtime);
  return true;
}

long call(const char* command, char* text = nullptr) {
  char placeholder[] = "0";
  return static_cast<long>(interface1(command, text ? text : placeholder, placeholder, nullptr));
}

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
#endif

std::string text(const char* command) {
  char buffer[256] = {};
  call(command, buffer);
  return buffer;
}

#ifndef _WIN32
void put32(FILE* f, uint32_t v) { std::fwrite(&v, 4, 1, f); }
void put16(FILE* f, uint16_t v) { std::fwrite(&v, 2, 1, f); }

void writewav(const char* path, const std::vector<uint8_t>& pcm, uint32_t rate, uint16_t channels) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return;
  std::fwrite("RIFF", 1, 4, f);
  put32(f, 36 + static_cast<uint32_t>(pcm.size()));
  std::fwrite("WAVEfmt ", 1, 8, f);
  put32(f, 16);
  put16(f, 1);
  put16(f, channels);
  put32(f, rate);
  put32(f, rate * channels * 2);
  put16(f, static_cast<uint16_t>(channels * 2));
  put16(f, 16);
  std::fwrite("data", 1, 4, f);
  put32(f, static_cast<uint32_t>(pcm.size()));
  std::fwrite(pcm.data(), 1, pcm.size(), f);
  std::fclose(f);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--wav") == 0)) {
    std::fprintf(stderr, "usage: engineplay FILE [--wav OUT.wav]\n");
    return 2;
  }
  // The engine writes progress lines of its own to the same standard output;
  // ours start with a word and a colon so that they can be picked out.
  FILE* show = stdout;
  if (!loadengine()) {
    std::fprintf(stderr, "engineplay: cannot load the engine\n");
    return 100;
  }
  char path[512];
  std::snprintf(path, sizeof path, "%s", argv[1]);
  call("open", path);
  std::fprintf(show, "open:     %s\n", argv[1]);
  // The worker's thread takes a moment to start; until then "intreturn"
  // still shows the state before "open".
  pause(300);
  bool resumed = false;
  long last = -1;
  while (call("intreturn") >= 999) {
    if (!resumed && call("flagdewave") == 1) {
      call("resume");
      resumed = true;
      std::fprintf(show, "settings: %ld Hz, %ld channel(s), nominal %ld bit/s, version %ld\n",
                   call("samplerate"), call("intchannels"), call("bitrate"), call("intversion"));
      std::fprintf(show, "vendor:   %s\n", text("intvendor").c_str());
    }
    const long now = call("gettime");
    if (resumed && now != last) {
      std::fprintf(show, "time:     %s / %s\n", text("gettimestring").c_str(),
                   text("getsecondsstring").c_str());
      std::fflush(show);
      last = now;
    }
    pause(100);
  }
  const long result = call("intreturn2");
  std::fprintf(show, "result:   %ld\n", result);
#ifndef _WIN32
  if (argc == 4) {
    writewav(argv[3], simdevice::played(), simdevice::lastformat().nSamplesPerSec,
             simdevice::lastformat().nChannels);
    std::fprintf(show, "saved:    %s\n", argv[3]);
  }
#endif
  return static_cast<int>(result);
}
