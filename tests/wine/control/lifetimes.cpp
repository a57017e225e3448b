// Lifetimes: several controls, several apartments, release while playing,
// a soak of many files, and the library unloaded and loaded again.
#include "tests/wine/control/harness.h"
#include "tools/usage.h"

namespace controltest {

// ---- lifetimes ----

ZEL_CASE(casetwocontrols, "twocontrols", Together,
         "two controls on one thread; releasing one keeps the engine") {
  onnewthread([&] {
    Control first, second;
    first.create();
    second.create();
    first.status();
    check(GetModuleHandleW(L"" ZEL_ENGINE_FILE) != nullptr, "twocontrols: the engine is loaded");
    first.release();
    second.play(L"short.ogg");
    check(second.waitend() && second.sink.has("ErrorCode 0 No error"),
          "twocontrols: the other control plays after the first ended");
    second.release();
    check(engineleft(), "twocontrols: the last one releases the engine");
  });
}

// Two apartments, a control in each: the engine plays one file per process.
// The control whose file the other one cut short says so, and nothing more;
// the last control of a thread leaves the other thread's file playing.
struct Apartment {
  HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE finish = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // events are in
  std::vector<std::string> events;
  ~Apartment() {
    CloseHandle(done);
    CloseHandle(started);
    CloseHandle(finish);
  }
};

DWORD WINAPI SecondApartment(void* p) {
  auto* a = static_cast<Apartment*>(p);
  CoInitialize(nullptr);
  {
    Control c;
    c.create();
    c.play(L"stereo44100.ogg");
    SetEvent(a->started);
    c.waitend();
    a->events = c.sink.milestones();
    SetEvent(a->done);
    // Kept until the first thread has looked at its own file again.
    WaitForSingleObject(a->finish, 60000);
  }
  CoUninitialize();
  return 0;
}

ZEL_CASE(casetwoapartments, "twoapartments", Together,
         "a control in each of two apartments: each reports only its own file; one thread's last control leaves the other's") {
  Control first;
  first.create();
  first.play(L"long.ogg");
  pumpuntil([&] { return first.sink.has("Status playing"); });
  Apartment second;
  HANDLE thread = CreateThread(nullptr, 0, SecondApartment, &second, 0, nullptr);
  WaitForSingleObject(second.started, 60000);
  check(pumpuntil([&] { return first.sink.ended(); }, 60000) &&
            first.sink.milestones() ==
                std::vector<std::string>{"Status playing", "Finished", "ErrorCode 255 Unexpected error"},
        "twoapartments: the file cut short by another thread's control ends with 255",
        joined(first.sink.milestones()));
  check(first.status() == "stop", "twoapartments: and its GetStatus says stop");
  const std::size_t count = first.sink.events.size();
  pumpuntil([&] { return WaitForSingleObject(second.done, 0) == WAIT_OBJECT_0; }, 60000);
  check(second.events == std::vector<std::string>{"Status playing", "Status stop", "Finished", "ErrorCode 0 No error"},
        "twoapartments: the other control's file plays to its end", joined(second.events));
  check(first.sink.events.size() == count, "twoapartments: the first control reports nothing of it");
  SetEvent(second.finish);
  WaitForSingleObject(thread, 60000);
  CloseHandle(thread);

  // Now the other way round: this thread plays, and the other thread's last
  // control goes.
  first.play(L"long.ogg");
  pumpuntil([&] { return first.status() == "playing"; });
  onnewthread([] {
    Control c;
    c.create();
    c.status();
  });
  lettimerstick();
  check(first.status() == "playing", "twoapartments: the last control of another thread leaves this file playing");
  first.call(L"CancelPlayback");
}

ZEL_CASE(casereleaseplaying, "release-playing", Together,
         "releasing the last control while playing") {
  onnewthread([&] {
    Control c;
    c.create();
    c.play(L"long.ogg");
    pumpuntil([&] { return c.sink.has("Status playing"); });
    c.release();
    check(engineleft(), "release-playing: the engine is released after cancelling");
    Control again;
    again.create();
    check(again.status() == "stop", "release-playing: a later control loads the engine again");
  });
}

// A form holding the control, opened and closed again and again: each time
// the thread's last control goes, the engine leaves the process, and what
// it made for its streams must go with it.
ZEL_CASE(casecycles, "cycles", Together,
         "create, PlayFile, CancelPlayback, release, 140 times with no other control on the thread: "
         "handles and memory flat, both classes") {
  for (const CLSID* clsid : {&CLSID_ZelOggPlay, &CLSID_ZelOggPlayEx}) {
    const std::string name = clsid == &CLSID_ZelOggPlay ? "ZelOggPlay" : "ZelOggPlayEx";
    Usage before, after;
    bool played = true;
    onnewthread([&] {
      for (int i = 0; i < 140; ++i) {
        if (i == 20) before = usage();  // once every lazily made part of the process exists
        Control c;
        c.create(*clsid);
        played = played && SUCCEEDED(c.play(L"short.ogg"));
        c.call(L"CancelPlayback");
        c.release();
      }
      after = usage();
    });
    std::printf("cycles: %s: handles %ld -> %ld, heap bytes in use %lld -> %lld\n", name.c_str(), before.handles,
                after.handles, before.heapbytes, after.heapbytes);
    check(played && engineleft(),
          "cycles: " + name + ": each cycle played and let the engine go");
    // Before the engine gave its streams back: 3 handles a cycle, and
    // 600 KB a cycle for ZelOggPlayEx.
    check(after.handles - before.handles <= 8, "cycles: " + name + ": at most 8 handles gained in 120 cycles",
          std::to_string(after.handles - before.handles));
    check(after.heapbytes - before.heapbytes <= 1024 * 1024,
          "cycles: " + name + ": heap memory grew by at most 1 MB in 120 cycles",
          std::to_string(after.heapbytes - before.heapbytes) + " bytes");
  }
}

// ---- soak ----


// Many files in a row through one control: good and broken files, pauses
// and resumes, cancels, and playlist starts from Finished. Every file that
// ends must bring its end events; handles and memory must not grow.
//   ZEL_SOAK_FILES sets the number of files (60 by default).
ZEL_CASE(casesoak, "soak", Together,
         "many files in a row (ZEL_SOAK_FILES, 60 by default): end events for each, no handle or memory growth") {
  wchar_t value[16] = L"60";
  GetEnvironmentVariableW(L"ZEL_SOAK_FILES", value, 16);
  const int files = std::max(12, _wtoi(value));
  Control c;
  c.create();
  int missing = 0, started = 0;
  bool chain = false;
  c.sink.onevent = [&](const std::string& line) {
    if (line == "Finished" && chain) {
      chain = false;
      c.play(L"short.ogg");
    }
  };
  auto endings = [&](const std::string& error) {
    int n = 0;
    for (const auto& e : c.sink.events) n += e == error;
    return n;
  };
  auto expectend = [&](const std::string& error, int count) {
    if (!pumpuntil([&] { return endings(error) >= count; }, 60000)) ++missing;
  };
  Usage before;
  for (int i = 0; i < files; ++i) {
    if (i == 12) before = usage();  // after the first round of every kind
    c.sink.events.clear();
    ++started;
    switch (i % 6) {
      case 0:
        c.play(L"short.ogg");
        expectend("ErrorCode 0 No error", 1);
        break;
      case 1:
        c.play(L"garbage-large.bin");
        expectend("ErrorCode 23 Input does not appear to be an Ogg bitstream", 1);
        break;
      case 2:
        c.play(L"stereo44100.ogg");
        c.call(L"CancelPlayback");
        if (!c.sink.milestones().empty()) ++missing;  // a cancelled file raises nothing
        break;
      case 3:
        c.open(L"short.ogg");
        c.call(L"PausePlayback");
        c.call(L"ResumePlayback");
        expectend("ErrorCode 0 No error", 1);
        break;
      case 4:
        c.play(L"bad-comment.ogg");
        expectend("ErrorCode 27 Corrupt secondary header", 1);
        break;
      case 5:
        chain = true;
        ++started;
        c.play(L"short.ogg");
        expectend("ErrorCode 0 No error", 2);
        break;
    }
  }
  const Usage after = usage();
  const long handles = after.handles - before.handles;
  const long long bytes = after.heapbytes - before.heapbytes;
  std::printf("soak: %d files, handles %ld -> %ld, heap bytes in use %lld -> %lld\n", started, before.handles,
              after.handles, before.heapbytes, after.heapbytes);
  check(missing == 0, "soak: every file brought its end events (" + std::to_string(started) + " files)",
        std::to_string(missing) + " did not");
  check(before.handles > 0 && handles <= 0, "soak: no handles gained", std::to_string(handles));
  check(before.heapbytes > 0 && bytes <= 64 * 1024, "soak: heap memory grew by at most 64 KB",
        std::to_string(bytes) + " bytes");
}

// ---- unloading ----

// With no control left, COM may unload the library; loaded again, it works
// as the first time (its window classes went with it).
ZEL_CASE(casereload, "reload", Together,
         "the unused library unloads, and works when loaded again") {
  HMODULE before = GetModuleHandleW(L"zeloggplays100.ocx");
  for (int i = 0; i < 3 && GetModuleHandleW(L"zeloggplays100.ocx"); ++i) {
    CoFreeUnusedLibrariesEx(0, 0);
    Sleep(20);
  }
  check(GetModuleHandleW(L"zeloggplays100.ocx") == nullptr, "reload: the unused library is unloaded");
  WNDCLASSEXW cls = {};
  cls.cbSize = sizeof cls;
  check(before && !GetClassInfoExW(before, L"ZelOggPlayTimers", &cls), "reload: its window classes went with it");
  Control c;
  c.create();
  c.play(L"short.ogg");
  check(c.waitend() && c.sink.milestones().back() == "ErrorCode 0 No error",
        "reload: loaded again, a control plays to its end", joined(c.sink.milestones()));
}

}  // namespace controltest
