// Playback through the control: events, pauses, paths, playlists, and a
// sound server that goes away.
#include "tests/wine/control/harness.h"

namespace controltest {

// ---- playback ----

ZEL_CASE(caseplay, "play", Alone,
         "events at a normal end, in order and on this thread (the driver compares what the sink received with the file)") {
  Control c;
  c.create();
  check(SUCCEEDED(c.play(L"stereo44100.ogg")), "play: PlayFile");
  check(c.waitend(), "play: ends");
  const std::vector<std::string> expected = {"Status playing", "Status stop", "Finished", "ErrorCode 0 No error"};
  check(c.sink.milestones() == expected, "play: Status playing, stop, Finished, ErrorCode 0 in order",
        joined(c.sink.milestones()));
  bool settings = false;
  for (const auto& e : c.sink.events) settings |= e.rfind("Settings 44100 ", 0) == 0 && e.find(" 2 0 Xiph.Org") != std::string::npos;
  check(settings, "play: OggVorbisSettings 44100 Hz, 2 channels, version 0, the vendor", joined(c.sink.events));
  check(c.sink.has("TimePosition 3 00:00:03"), "play: TimePosition gives the length");
  check(!c.sink.wrongthread, "play: events arrive on the calling thread");
  const std::size_t count = c.sink.events.size();
  lettimerstick();
  check(c.sink.events.size() == count, "play: nothing after the end");
}

ZEL_CASE(caseopenfile, "openfile", Together,
         "silent until ResumePlayback; pause and resume as Status") {
  Control c;
  c.create();
  const long long mark = quietmark();
  c.open(L"long.ogg");
  pumpuntil([&] { return c.sink.has("Status playing"); });
  // Three seconds of the file's run, by its own Progress events.
  auto progressed = [&] {
    int n = 0;
    for (const auto& e : c.sink.events) n += e.rfind("Progress", 0) == 0;
    return n;
  };
  pumpuntil([&] { return progressed() >= 3; });
  check(c.status() == "playing" && !soundcaptured(mark), "openfile: playing yet silent until ResumePlayback");
  c.call(L"ResumePlayback");
  check(pumpuntil([&] { return soundcaptured(mark); }), "openfile: sound after ResumePlayback");
  c.call(L"PausePlayback");
  check(pumpuntil([&] { return c.sink.has("Status paused"); }) && c.status() == "paused", "openfile: paused");
  c.call(L"ResumePlayback");
  check(pumpuntil([&] { return c.sink.milestones().back() == "Status playing"; }), "openfile: playing again");
  c.call(L"CancelPlayback");
  const std::size_t count = c.sink.milestones().size();
  lettimerstick();
  check(c.status() == "stop" && c.sink.milestones().size() == count, "openfile: cancel raises nothing");
}

ZEL_CASE(casepaths, "paths", Together,
         "empty and missing paths; a failing file gives 23") {
  Control c;
  c.create();
  const std::wstring empty;
  c.call(L"OpenFile", &empty);
  check(c.sink.milestones() == std::vector<std::string>{"Finished", "ErrorCode 3 The input file is empty "},
        "paths: empty path gives Finished and 3", joined(c.sink.milestones()));
  c.sink.events.clear();
  c.play(L"no-such-file.ogg");
  check(c.sink.milestones() == std::vector<std::string>{"Finished", "ErrorCode 5 The input file or path is invalid"},
        "paths: missing file gives Finished and 5", joined(c.sink.milestones()));
  c.sink.events.clear();
  c.play(L"garbage-large.bin");
  check(c.waitend() && c.sink.events.back() == "ErrorCode 23 Input does not appear to be an Ogg bitstream",
        "paths: the engine's failure arrives as 23", joined(c.sink.events));
}

ZEL_CASE(caseplaylist, "playlist", Together,
         "the next file started from Finished is monitored") {
  Control c;
  c.create();
  int started = 0;
  c.sink.onevent = [&](const std::string& line) {
    if (line == "Finished" && started++ == 0) c.play(L"short.ogg");
  };
  c.play(L"short.ogg");
  const bool both = pumpuntil([&] {
    int ends = 0;
    for (const auto& e : c.sink.events) ends += e == "ErrorCode 0 No error";
    return ends == 2;
  });
  check(both, "playlist: the file started from Finished plays and is monitored to its end", joined(c.sink.milestones()));
}

// ---- without a device, and after unregistering ----

// The sound server goes away in the middle of a file (the driver stops it
// once this case says the sound has started): the file ends with 22. With
// ZEL_SERVER_BACK the driver then starts the server again and makes that
// file, and the next file must play.
ZEL_CASE(casevanish, "vanish", Alone,
         "the sound server stops during a file: ErrorCode 22") {
  Control c;
  c.create();
  c.play(L"long.ogg");
  pumpuntil([&] { return c.sink.has("Progress 1 00:00:01"); });
  std::printf("vanish: sound started\n");
  check(c.waitend() && c.sink.events.back() == "ErrorCode 22 Error opening waveout",
        "vanish: a lost sound device ends the file with ErrorCode 22", joined(c.sink.milestones()));
  // The driver starts the sound server again and then makes this file.
  wchar_t back[MAX_PATH];
  if (!GetEnvironmentVariableW(L"ZEL_SERVER_BACK", back, MAX_PATH)) return;
  std::printf("vanish: ended\n");
  pumpuntil([&] { return GetFileAttributesW(back) != INVALID_FILE_ATTRIBUTES; }, 120000);
  c.sink.events.clear();
  c.play(L"stereo44100.ogg");
  check(c.waitend() && c.sink.events.back() == "ErrorCode 0 No error" && c.sink.has("Progress 2 00:00:02"),
        "vanish: once the sound server is back, the next file plays", joined(c.sink.events));
}

ZEL_CASE(casenodevice, "nodevice", Alone,
         "no sound server: ErrorCode 29 for both classes (run without the daemon)") {
  Control c, ex;
  c.create();
  c.play(L"short.ogg");
  check(c.waitend() && c.sink.events.back() == "ErrorCode 29 No valid devices in the system",
        "nodevice: ErrorCode 29", joined(c.sink.events));
  // ZelOggPlayEx's mixer finds no sound card to open either.
  ex.create(CLSID_ZelOggPlayEx);
  ex.play(L"short.ogg");
  check(ex.waitend() && ex.sink.events.back() == "ErrorCode 29 No valid devices in the system",
        "nodevice: ZelOggPlayEx: ErrorCode 29", joined(ex.sink.events));
}

}  // namespace controltest

namespace controltest {

// Paths that "open" cannot take: a name the ANSI code page cannot spell,
// and a path of 300 characters (written as \\?\ the way Windows takes one
// past 259). Both play, through the engine's wide open.
ZEL_CASE(casewidepaths, "widepaths", Together,
         "a name the code page cannot spell, a path of 300 characters") {
  const std::wstring named = fixtures + L"\\\u041c\u0443\u0437\u044b\u043a\u0430 \u4e2d\u6587.ogg";
  CopyFileW(fixture(L"short.ogg").c_str(), named.c_str(), FALSE);
  std::wstring folder = L"\\\\?\\" + fixtures;
  while (folder.size() < 300 - 110) {
    folder += L"\\" + std::wstring(100, L'd');
    CreateDirectoryW(folder.c_str(), nullptr);
  }
  const std::wstring longpath = folder + L"\\" + std::wstring(300 - folder.size() - 5, L'f') + L".ogg";
  CopyFileW(fixture(L"short.ogg").c_str(), longpath.c_str(), FALSE);
  for (const CLSID* cls : {&CLSID_ZelOggPlay, &CLSID_ZelOggPlayEx}) {
    for (const std::wstring& path : {named, longpath}) {
      Control c;
      c.create(*cls);
      c.call(L"PlayFile", &path);
      check(c.waitend() && c.sink.events.back() == "ErrorCode 0 No error",
            std::string("widepaths: ") + (cls == &CLSID_ZelOggPlay ? "ZelOggPlay" : "ZelOggPlayEx") + " plays " +
                (path == named ? "a Cyrillic and CJK name" : "a path of 300 characters"),
            joined(c.sink.events));
    }
  }
  check(longpath.size() == 300, "widepaths: the long path has 300 characters");
}

}  // namespace controltest
