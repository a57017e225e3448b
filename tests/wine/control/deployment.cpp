// Deployment and loading of the engine, and their failures.
#include "tests/wine/control/harness.h"

namespace controltest {

ZEL_CASE(casedeploy, "deploy", Together,
         "first use, identical file kept, changed file rewritten") {
  const std::wstring path = deployedpath();
  // Earlier cases deployed the engine; begin again from nothing.
  DeleteFileW(path.c_str());
  RemoveDirectoryW(path.substr(0, path.size() - 9).c_str());
  onnewthread([&] {
    Control c;
    c.create();
    check(c.status() == "stop" && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES,
          "deploy: first use writes the engine into ZelSoftware");
  });
  const FILETIME first = written(path);
  Sleep(1100);
  onnewthread([&] {
    Control c;
    c.create();
    c.status();
  });
  const FILETIME again = written(path);
  check(CompareFileTime(&first, &again) == 0, "deploy: an identical file is left untouched");
  // One byte more: the file differs and is written anew.
  HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD put;
  WriteFile(f, "x", 1, &put, nullptr);
  CloseHandle(f);
  onnewthread([&] {
    Control c;
    c.create();
    check(c.status() == "stop", "deploy: a changed file is rewritten and loads");
  });
  check(carriedsize() != 0 && filesize(path) == carriedsize(), "deploy: the rewritten file has the carried size");
}

namespace {

// A folder where the engine file should be: it cannot be written or loaded.
void blockengine(const std::wstring& path) {
  DeleteFileW(path.c_str());
  CreateDirectoryW(path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
  CreateDirectoryW(path.c_str(), nullptr);
}

}  // namespace

// Finds the message boxes the watched thread shows, reads them and
// presses OK.
ZEL_CASE(caseunloadable, "unloadable", Together,
         "the message boxes when the engine cannot be loaded") {
  const std::wstring path = deployedpath();
  onnewthread([&] {
    blockengine(path);
    BoxWatcher watcher(GetCurrentThreadId());
    Control c;
    c.create();
    const std::string status = c.status();
    Sleep(500);
    check(status == "stop" && watcher.texts == std::vector<std::string>{"error loading the dll", "error loading the dll"},
          "unloadable: the load failure is told twice for one method", joined(watcher.texts));
    check(!watcher.captions.empty() && watcher.captions[0] == "Zel OGG Vorbis Player OCX 1.0.0",
          "unloadable: the boxes carry the application title");
    // A file opened without an engine ends at once, and no timer goes on
    // asking the missing engine.
    c.play(L"short.ogg");
    const std::vector<std::string> ended = c.sink.milestones();
    lettimerstick();
    watcher.stop = true;
    check(watcher.texts.size() == 4 && c.sink.milestones() == ended &&
              ended == std::vector<std::string>{"Finished", "ErrorCode 255 Unexpected error"},
          "unloadable: PlayFile tells it twice and ends the file at once with 255",
          joined(c.sink.events) + " / " + std::to_string(watcher.texts.size()) + " boxes");
    RemoveDirectoryW(path.c_str());
  });
}

ZEL_CASE(caseunloadableplay, "unloadable-play", Together,
         "PlayFile as a control's first method with an engine that cannot load: at most two boxes, both classes") {
  const std::wstring path = deployedpath();
  for (const CLSID* clsid : {&CLSID_ZelOggPlay, &CLSID_ZelOggPlayEx}) {
    const std::string name = clsid == &CLSID_ZelOggPlay ? "ZelOggPlay" : "ZelOggPlayEx";
    onnewthread([&] {
      blockengine(path);
      BoxWatcher watcher(GetCurrentThreadId());
      Control c;
      c.create(*clsid);
      c.play(L"short.ogg");
      lettimerstick();
      const std::size_t afterplay = watcher.texts.size();
      c.status();
      lettimerstick();
      watcher.stop = true;
      // ZelOggPlay tells it twice (loading, then calling); ZelOggPlayEx,
      // which has no stream to call yet, once.
      const std::size_t want = clsid == &CLSID_ZelOggPlay ? 2 : 1;
      check(afterplay == want, "unloadable-play: " + name + "'s PlayFile shows " + std::to_string(want) + " box(es)",
            std::to_string(afterplay) + ": " + joined(watcher.texts));
      check(watcher.texts.size() - afterplay == want,
            "unloadable-play: " + name + "'s GetStatus after it as many, and no timer adds any",
            std::to_string(watcher.texts.size() - afterplay));
      RemoveDirectoryW(path.c_str());
    });
  }
}

// Deploys the engine, then cuts the deployed file to its first 1000 bytes.
void cutdeployed() {
  onnewthread([] {
    Control c;
    c.create();
    c.status();
  });
  HANDLE f = CreateFileW(deployedpath().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFilePointer(f, 1000, nullptr, FILE_BEGIN);
  SetEndOfFile(f);
  CloseHandle(f);
}

// Opens the deployed file as another program would hold it: others may read
// it (and load it), not replace or delete it.
HANDLE holddeployed() {
  return CreateFileW(deployedpath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The message boxes that GetStatus on a new control of a new thread shows.
std::vector<std::string> statusboxes(std::string& status) {
  std::vector<std::string> texts;
  onnewthread([&] {
    BoxWatcher watcher(GetCurrentThreadId());
    Control c;
    c.create();
    status = c.status();
    watcher.stop = true;
    texts = watcher.texts;
  });
  return texts;
}

ZEL_CASE(casetruncated, "truncated", Together,
         "a deployed file cut short is rewritten and loads") {
  cutdeployed();
  onnewthread([&] {
    Control c;
    c.create();
    check(c.status() == "stop", "truncated: a cut deployed file is rewritten and loads");
  });
  check(filesize(deployedpath()) == carriedsize(), "truncated: it has the carried size again");
}

ZEL_CASE(caselocked, "locked", Together,
         "a cut deployed file held open by another program is not loaded: the load failure's boxes") {
  cutdeployed();
  HANDLE holder = holddeployed();
  std::string status;
  const std::vector<std::string> texts = statusboxes(status);
  check(status == "stop" && texts == std::vector<std::string>{"error loading the dll", "error loading the dll"},
        "locked: a held, cut file is never loaded: the load failure's boxes", joined(texts));
  check(filesize(deployedpath()) == 1000, "locked: the held file is left as it was");
  CloseHandle(holder);
  DeleteFileW(deployedpath().c_str());
}

ZEL_CASE(caseplanted, "planted", Together,
         "a foreign library held in the engine's place: never loaded") {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring library = self;
  library = library.substr(0, library.rfind(L'\\') + 1) + L"planted.dll";
  const std::wstring path = deployedpath();
  DeleteFileW(path.c_str());
  CopyFileW(library.c_str(), path.c_str(), FALSE);
  HANDLE holder = holddeployed();
  onnewthread([&] {
    BoxWatcher watcher(GetCurrentThreadId());
    Control c;
    c.create();
    c.play(L"short.ogg");
    const std::vector<std::string> ended = c.sink.milestones();
    watcher.stop = true;
    check(watcher.texts == std::vector<std::string>{"error loading the dll", "error loading the dll"},
          "planted: a foreign library held in the engine's place fails as a load, told twice by one PlayFile",
          joined(watcher.texts));
    check(ended == std::vector<std::string>{"Finished", "ErrorCode 255 Unexpected error"},
          "planted: and the file ends at once with 255", joined(c.sink.events));
  });
  wchar_t mark[4] = {};
  check(GetEnvironmentVariableW(L"ZEL_PLANTED_RAN", mark, 4) == 0 && GetModuleHandleW(path.c_str()) == nullptr,
        "planted: it was never loaded");
  CloseHandle(holder);
  // Once the other program lets go, the engine replaces it and plays.
  onnewthread([&] {
    Control c;
    c.create();
    c.play(L"short.ogg");
    check(c.waitend() && c.sink.milestones().back() == "ErrorCode 0 No error",
          "planted: let go, it is replaced by the engine, which plays", joined(c.sink.events));
  });
}

ZEL_CASE(caseunwritable, "unwritable", Together,
         "a temporary folder that cannot hold the engine: 5001") {
  onnewthread([&] {
    wchar_t saved[MAX_PATH];
    GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    // A temporary folder below an ordinary file cannot be created.
    const std::wstring blocker = fixture(L"short.ogg") + L"\\below\\";
    SetEnvironmentVariableW(L"TMP", blocker.c_str());
    SetEnvironmentVariableW(L"TEMP", blocker.c_str());
    Control c;
    c.create();
    EXCEPINFO exception = {};
    const std::wstring path = fixture(L"short.ogg");
    const HRESULT hr = c.call(L"PlayFile", &path, nullptr, &exception);
    const std::wstring description = exception.bstrDescription ? exception.bstrDescription : L"";
    check(hr == DISP_E_EXCEPTION && exception.scode == MAKE_HRESULT(1, FACILITY_CONTROL, 5001) &&
              (exception.scode & 0xffff) == 5001,
          "unwritable: PlayFile fails with error 5001");
    check(description == L"Unexpected error , please contact the developer support@zel.example",
          "unwritable: with the unexpected-error description", narrow(description));
    auto dual = c.unknown.as<_ZelOggPlay>();
    VARIANT result;
    com::bstr p(path.c_str());
    const HRESULT direct = dual->PlayFile(p.get(), &result);
    com::com_ptr<IErrorInfo> info;
    com::bstr text;
    check(direct == MAKE_HRESULT(1, FACILITY_CONTROL, 5001) && GetErrorInfo(0, info.put()) == S_OK &&
              SUCCEEDED(info->GetDescription(text.put())) && std::wstring(text.get()) == description,
          "unwritable: the dual interface returns it with an error object");
    clearexception(exception);
    SetEnvironmentVariableW(L"TMP", saved);
    SetEnvironmentVariableW(L"TEMP", saved);
  });
}

}  // namespace controltest
