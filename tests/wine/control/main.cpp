// The control library under Wine: a test container of our own that uses
// zeloggplays100.ocx as real containers do, with the real engine, WINMM and
// a PulseAudio pipe sink. The shell driver (tests/wine/run.sh) registers
// the library first. Each check prints "ok NAME" or "FAIL NAME: why"; the
// last line counts them.
//   controltest FIXTURES-DIR CAPTURE-FILE CASE...   runs the cases in order
//   controltest --list                              the cases run together
//   controltest --help                              every case, and what it checks
// The cases register themselves in the files of their concern
// (registration, hosting, playback, deployment, lifetimes, about, extended).
#include "tests/wine/control/harness.h"

using namespace controltest;

int wmain(int argc, wchar_t** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  // As the shell's handler of http: and mailto: addresses, it records what
  // it was asked to open, in a file of its own in the folder (handlers
  // started at once would otherwise write into one file together):
  //   controltest record FOLDER ADDRESS
  if (argc == 4 && std::wstring(argv[1]) == L"record") {
    const std::wstring name = std::wstring(argv[2]) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount()) + L".txt";
    FILE* f = _wfopen(name.c_str(), L"wb");
    if (!f) return 1;
    std::fprintf(f, "%s\n", narrow(argv[3]).c_str());
    return std::fclose(f) == 0 ? 0 : 1;
  }
  if (argc == 2 && std::wstring(argv[1]) == L"--list") {
    for (const Case& c : cases())
      if (c.schedule == Together) std::printf("%s\n", narrow(c.name).c_str());
    return 0;
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: controltest FIXTURES-DIR CAPTURE-FILE CASE...\n");
    for (const Case& c : cases())
      std::fprintf(stderr, "  %-16s%s%s\n", narrow(c.name).c_str(), c.about, c.schedule == Alone ? " (alone)" : "");
    return 2;
  }
  wchar_t opened[MAX_PATH];
  if (GetEnvironmentVariableW(L"ZEL_OPENED", opened, MAX_PATH)) openedfile = opened;
  fixtures = argv[1];
  capture = narrow(argv[2]);
  CoInitialize(nullptr);
  for (int i = 3; i < argc; ++i) {
    bool known = false;
    for (const Case& c : cases()) {
      if (std::wstring(argv[i]) == c.name) {
        known = true;
        c.run();
      }
    }
    if (!known) check(false, narrow(argv[i]), "no such case");
  }
  CoUninitialize();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
