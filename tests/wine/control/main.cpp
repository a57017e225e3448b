// The control library under Wine: a test container of our own that uses
// zeloggplays100.ocx as real containers do, with the real engine, WINMM and
// a PulseAudio pipe sink. The shell driver (tests/wine/run.sh) registers
// the library first. Each check prints "ok NAME" or "FAIL NAME: why"; the
// last line counts them.
//   controltest FIXTURES-DIR CAPTURE-FILE CASE...
// Cases (run in the order given, in one process):
//   registry       the registration data, read back
//   typelib        the registered type library against the interface table
//   create         creation by CLSID and by ProgID; unsited use
//   container      site, activation, extent snap, picture drawn, persistence
//   play           events at a normal end, in order and on this thread (the
//                  driver compares what the sink received with the file)
//   openfile       silent until ResumePlayback; pause and resume as Status
//   paths          empty and missing paths; a failing file gives 23
//   playlist       the next file started from Finished is monitored
//   deploy         first use, identical file kept, changed file rewritten
//   unloadable     the message boxes when the engine cannot be loaded
//   unwritable     a temporary folder that cannot hold the engine: 5001
//   truncated      a deployed file cut short is rewritten and loads
//   locked         a cut deployed file held open by another program is not
//                  loaded: the load failure's boxes
//   planted        a foreign library held in the engine's place: never loaded
//   twocontrols    two controls on one thread; releasing one keeps the engine
//   twoapartments  a control in each of two apartments: each reports only
//                  its own file; one thread's last control leaves the other's
//   release-playing  releasing the last control while playing
//   atl            Wine's AtlAxWin container hosting the control by CLSID
//   about          the About box: layout, texts, fonts, caption, closing,
//                  events while open, and the links opened by the shell
//   soak           many files in a row (ZEL_SOAK_FILES, 60 by default): end
//                  events for each, no handle or memory growth
//   reload         the unused library unloads, and works when loaded again
//   vanish         the sound server stops during a file: ErrorCode 22
//   widepaths      a name the code page cannot spell, a path of 300 characters
//   nodevice       no sound server: ErrorCode 29 (run without the daemon)
//   unregistered   after regsvr32 /u: nothing left, creation fails
//   extypelib      ZelOggPlayEx: registration, its type library, its two
//                  interfaces on one object
//   extags         its members with nothing open, a bad volume, length, tags
//   exseek         a seek to 2.0 s while paused (the driver compares the
//                  capture with the file from 2.0 s)
//   exmeasure      marks for the driver's measures of position, seek, volume
#include "tests/wine/control/cases.h"
#include "tests/wine/control/harness.h"

using namespace controltest;

int wmain(int argc, wchar_t** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  // As the shell's handler of http: and mailto: addresses, it records what
  // it was asked to open:  controltest record FILE ADDRESS
  if (argc == 4 && std::wstring(argv[1]) == L"record") {
    FILE* f = _wfopen(argv[2], L"ab");
    if (!f) return 1;
    std::fprintf(f, "%s\n", narrow(argv[3]).c_str());
    return std::fclose(f) == 0 ? 0 : 1;
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: controltest FIXTURES-DIR CAPTURE-FILE CASE...\n");
    return 2;
  }
  wchar_t opened[MAX_PATH];
  if (GetEnvironmentVariableW(L"ZEL_OPENED", opened, MAX_PATH)) openedfile = opened;
  fixtures = argv[1];
  capture = narrow(argv[2]);
  CoInitialize(nullptr);
  const std::pair<const wchar_t*, void (*)()> cases[] = {
      {L"registry", caseregistry},       {L"typelib", casetypelib},       {L"create", casecreate},
      {L"container", casecontainer},     {L"openfile", caseopenfile},     {L"play", caseplay},
      {L"paths", casepaths},             {L"playlist", caseplaylist},     {L"deploy", casedeploy},
      {L"unloadable", caseunloadable},   {L"unwritable", caseunwritable},
      {L"truncated", casetruncated},     {L"locked", caselocked},         {L"planted", caseplanted}, {L"twocontrols", casetwocontrols},
      {L"twoapartments", casetwoapartments}, {L"widepaths", casewidepaths},
      {L"release-playing", casereleaseplaying}, {L"atl", caseatl},        {L"about", caseabout},
      {L"soak", casesoak},                {L"reload", casereload},                {L"vanish", casevanish},          {L"nodevice", casenodevice},
      {L"unregistered", caseunregistered}, {L"extypelib", caseextypelib}, {L"extags", caseextags},
      {L"exseek", caseexseek},            {L"exmeasure", caseexmeasure},
  };
  for (int i = 3; i < argc; ++i) {
    bool known = false;
    for (const auto& [name, run] : cases) {
      if (std::wstring(argv[i]) == name) {
        known = true;
        run();
      }
    }
    if (!known) check(false, narrow(argv[i]), "no such case");
  }
  CoUninitialize();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

