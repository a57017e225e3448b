// zelplay: a small console host of the ZelOggPlay control. It creates the
// control through COM as a form's container would (site, initialisation,
// events through the connection point), plays one file, prints every event
// as it arrives, and exits with the last error number the control reported.
//
//   zelplay [--open] [--ocx PATH] FILE.ogg
//     --open      open the file paused (OpenFile); "r" starts it
//     --ocx PATH  use the control library at PATH without registration
//   Keys on a console, or lines on standard input: p pause, r resume,
//   c cancel, q quit. On a console the times show as one updating line.
//   Exit code: the last ErrorNumber (0 after a normal end or a cancel),
//   1 when the control cannot be created or a method fails, 2 for usage.
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

#include "ZelOggPlayer100.h"
#include "com/ptr.h"
#include "com/win.h"
#include "control/dispids.h"
#include "tools/hostsite.h"

namespace {

int lasterror = -1;
bool finished = false;
bool done = false;          // the user cancelled or quit
bool progressline = false;  // stdout is a console: times on one line
bool lineopen = false;      // the progress line is showing
std::string elapsed = "00:00:00", length = "00:00:00", state = "";

// Prints an event on its own line, clearing the progress line first.
void say(const char* format, ...) {
  if (lineopen) std::printf("\r%-60s\r", "");
  lineopen = false;
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
}

void showprogress() {
  if (!progressline) return;
  std::printf("\r  %s / %s  %s   ", elapsed.c_str(), length.c_str(), state.c_str());
  lineopen = true;
}

std::string narrow(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out.push_back(c < 128 ? static_cast<char>(c) : '?');
  return out;
}

// The event sink: prints each event on its own line.
class Sink final : public ControlSink {
 public:
  void Status(const std::wstring& status) override {
    state = narrow(status);
    say("Status %s\n", state.c_str());
    shown();
  }
  void Finished() override {
    say("Finished\n");
    finished = true;
    shown();
  }
  void OggVorbisSettings(LONG rate, LONG bitrate, LONG channels, LONG version, const std::wstring& vendor) override {
    say("OggVorbisSettings rate %ld, bitrate %ld, channels %ld, version %ld, vendor \"%s\"\n", rate, bitrate, channels,
        version, narrow(vendor).c_str());
    shown();
  }
  void Progress(LONG seconds, const std::wstring& text) override {
    elapsed = narrow(text);
    if (!progressline) say("Progress %ld %s\n", seconds, elapsed.c_str());
    shown();
  }
  void TimePosition(LONG seconds, const std::wstring& text) override {
    length = narrow(text);
    if (!progressline) say("TimePosition %ld %s\n", seconds, length.c_str());
    shown();
  }
  void ErrorCode(LONG number, const std::wstring& text) override {
    lasterror = static_cast<int>(number);
    say("ErrorCode %ld \"%s\"\n", number, narrow(text).c_str());
    shown();
  }

 private:
  static void shown() {
    showprogress();
    std::fflush(stdout);
  }
};

com::com_ptr<IUnknown> createcontrol(const wchar_t* ocx) {
  com::com_ptr<IUnknown> control;
  if (!ocx) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"ZelOggPlayer100.ZelOggPlay", &clsid))) {
      std::fprintf(stderr, "zelplay: the control is not registered (regsvr32 zeloggplays100.ocx)\n");
      return control;
    }
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control.put_void());
    return control;
  }
  HMODULE library = LoadLibraryW(ocx);
  using getclassobject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  auto get = library ? reinterpret_cast<getclassobject>(
                           reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")))
                     : nullptr;
  com::com_ptr<IClassFactory> factory;
  if (get && SUCCEEDED(get(CLSID_ZelOggPlay, IID_IClassFactory, factory.put_void())))
    factory->CreateInstance(nullptr, IID_IUnknown, control.put_void());
  return control;
}

// Calls a method of the control by name; false (and a message) when it fails.
bool invoke(IDispatch* control, const wchar_t* method, const wchar_t* argument = nullptr) {
  EXCEPINFO exception = {};
  com::variant result;
  const HRESULT hr = InvokeByName(control, method, DISPATCH_METHOD, argument, result.get(), &exception);
  if (FAILED(hr)) {
    say("%ls failed: error %ld, %s\n", method, static_cast<long>((exception.scode ? exception.scode : hr) & 0xffff),
        exception.bstrDescription ? narrow(exception.bstrDescription).c_str() : "");
  }
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return SUCCEEDED(hr);
}

constexpr UINT WM_KEYCOMMAND = WM_APP + 1;

// Lines of a standard input that is not a console arrive as messages.
DWORD WINAPI ReadLines(void* thread) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  char c;
  DWORD got;
  while (ReadFile(in, &c, 1, &got, nullptr) && got == 1)
    if (c != '\n' && c != '\r' && c != ' ')
      PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<uintptr_t>(thread)), WM_KEYCOMMAND, static_cast<WPARAM>(c), 0);
  return 0;
}

// The keys typed on a console, as command characters.
void readconsole(HANDLE in, std::string& keys) {
  INPUT_RECORD records[16];
  DWORD count = 0;
  if (!GetNumberOfConsoleInputEvents(in, &count) || count == 0) return;
  if (!ReadConsoleInputW(in, records, 16, &count)) return;
  for (DWORD i = 0; i < count; ++i)
    if (records[i].EventType == KEY_EVENT && records[i].Event.KeyEvent.bKeyDown)
      keys.push_back(static_cast<char>(records[i].Event.KeyEvent.uChar.UnicodeChar));
}

void command(IDispatch* control, char key) {
  switch (key) {
    case 'p': invoke(control, L"PausePlayback"); break;
    case 'r': invoke(control, L"ResumePlayback"); break;
    case 'c':
      invoke(control, L"CancelPlayback");
      say("cancelled\n");
      done = true;
      break;
    case 'q': done = true; break;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool openonly = false;
  const wchar_t* ocx = nullptr;
  const wchar_t* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--open") openonly = true;
    else if (arg == L"--ocx" && i + 1 < argc) ocx = argv[++i];
    else if (!file && arg.rfind(L"--", 0) != 0) file = argv[i];
    else file = nullptr, i = argc;
  }
  if (!file) {
    std::fprintf(stderr, "usage: zelplay [--open] [--ocx PATH] FILE.ogg\n"
                         "keys: p pause, r resume, c cancel, q quit\n");
    return 2;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);
  DWORD mode;
  progressline = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  const bool console = GetConsoleMode(in, &mode) != 0;
  if (console) SetConsoleMode(in, ENABLE_PROCESSED_INPUT);

  CoInitialize(nullptr);
  int exitcode = 1;
  {
    com::com_ptr<IUnknown> control = createcontrol(ocx);
    if (!control) {
      std::fprintf(stderr, "zelplay: cannot create ZelOggPlay\n");
      CoUninitialize();
      return 1;
    }
    HostSite site(nullptr);  // a form at run time, with no window: the control stays invisible
    Sink sink;
    auto object = control.as<IOleObject>();
    DWORD misc = 0;
    if (object) {
      object->GetMiscStatus(DVASPECT_CONTENT, &misc);
      object->SetClientSite(&site);
    }
    if (auto persist = control.as<IPersistStreamInit>()) persist->InitNew();

    // Finds the event interface as hosts do, and connects the sink.
    IID events = DIID___ZelOggPlay;
    if (auto info = control.as<IProvideClassInfo2>()) info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events);
    com::com_ptr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (auto container = control.as<IConnectionPointContainer>())
      if (SUCCEEDED(container->FindConnectionPoint(events, point.put()))) point->Advise(&sink, &cookie);

    auto dispatch = control.as<IDispatch>();
    if (dispatch && invoke(dispatch.get(), openonly ? L"OpenFile" : L"PlayFile", file)) {
      if (openonly) say("opened paused: press r to start\n");
      if (!console && in && in != INVALID_HANDLE_VALUE) {
        HANDLE reader = CreateThread(nullptr, 0, ReadLines,
                                     reinterpret_cast<void*>(static_cast<uintptr_t>(GetCurrentThreadId())), 0, nullptr);
        if (reader) CloseHandle(reader);
      }
      // The control's timers tick through this thread's messages. The run
      // ends with the ErrorCode that follows Finished.
      while (!done && !(finished && lasterror >= 0)) {
        MsgWaitForMultipleObjects(console ? 1 : 0, &in, FALSE, INFINITE, QS_ALLINPUT);
        std::string keys;
        if (console) readconsole(in, keys);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
          if (msg.message == WM_KEYCOMMAND) keys.push_back(static_cast<char>(msg.wParam));
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
        }
        for (char key : keys) command(dispatch.get(), key);
      }
      exitcode = lasterror >= 0 ? lasterror : 0;
    }
    if (lineopen) std::printf("\n");

    if (point) point->Unadvise(cookie);
    if (object) {
      object->Close(OLECLOSE_NOSAVE);
      object->SetClientSite(nullptr);
    }
  }
  CoUninitialize();
  return exitcode;
}
