// Plays an Ogg file through ZelOggPlayEx from C++ with the SDK's header:
// prints its length and title, sets the volume, and prints the events
// until the file has ended. The exit code is the last ErrorCode number.
//   play.exe C:\Music\song.ogg
// Build with Visual C++ from a Developer Command Prompt of the edition's
// bitness (it is C++ over the Windows SDK's headers):
//   cl /EHsc /W4 /utf-8 /I ..\..\sdk play.cpp ole32.lib oleaut32.lib user32.lib
// or with mingw-w64:
//   x86_64-w64-mingw32-g++ -municode -I ../../sdk play.cpp -lole32 -loleaut32 -luuid -luser32 -o play.exe
// The control's events come from its timers, so this thread pumps messages.
#include <windows.h>
#include <ocidl.h>

#include <initguid.h>  // the GUIDs of the headers below are defined here

#include <cstdio>
#include <string>

#include "ZelOggPlayerEx.h"  // includes ZelOggPlayer100.h

// A string as UTF-8, which the console shows once its code page is UTF-8.
static std::string utf8(const wchar_t* text) {
  if (!text || !*text) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], size, nullptr, nullptr);
  bytes.resize(static_cast<std::size_t>(size) - 1);
  return bytes;
}

// The events' DISPIDs (the type library's __ZelOggPlay).
enum { EventStatus = 1, EventFinished = 2, EventErrorCode = 6 };

// Receives the control's events. Their arguments come by reference, the
// last one first.
class EventSink : public IDispatch {
 public:
  bool ended = false;
  long lasterror = 255;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID___ZelOggPlay) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on main's stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    switch (id) {
      case EventStatus:
        std::printf("Status %s\n", utf8(*params->rgvarg[0].pbstrVal).c_str());
        break;
      case EventFinished:
        std::printf("Finished\n");
        break;
      case EventErrorCode:  // ErrorNumber, ErrorDescription
        lasterror = *params->rgvarg[1].plVal;
        ended = true;
        std::printf("ErrorCode %ld %s\n", lasterror, utf8(*params->rgvarg[0].pbstrVal).c_str());
        break;
    }
    std::fflush(stdout);
    return S_OK;
  }

 private:
  ULONG references_ = 1;
};

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: play FILE.ogg\n");
    return 2;
  }
  SetConsoleOutputCP(CP_UTF8);
  CoInitialize(nullptr);
  _ZelOggPlayEx2* player = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_ZelOggPlayEx, nullptr, CLSCTX_INPROC_SERVER, IID__ZelOggPlayEx2,
                                reinterpret_cast<void**>(&player));
  if (FAILED(hr)) {
    std::fprintf(stderr, "ZelOggPlayEx is not registered (0x%08lx)\n", static_cast<unsigned long>(hr));
    CoUninitialize();
    return 1;
  }

  EventSink sink;
  IConnectionPointContainer* points = nullptr;
  IConnectionPoint* point = nullptr;
  DWORD cookie = 0;
  if (SUCCEEDED(player->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points)))) {
    if (SUCCEEDED(points->FindConnectionPoint(DIID___ZelOggPlay, &point))) point->Advise(&sink, &cookie);
    points->Release();
  }

  // OpenFile returns with the length and the comments known, paused.
  BSTR path = SysAllocString(argv[1]);
  BSTR name = SysAllocString(L"TITLE");
  BSTR title = nullptr;
  VARIANT ignored;
  VariantInit(&ignored);
  double seconds = 0;
  player->OpenFile(path, &ignored);
  player->get_Duration(&seconds);
  player->get_Comment(name, &title);
  std::printf("Duration %.1f s, TITLE \"%s\"\n", seconds, utf8(title).c_str());
  player->put_Volume(80);
  player->ResumePlayback(&ignored);

  const DWORD started = GetTickCount();
  while (!sink.ended && GetTickCount() - started < 600000) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }

  if (point) {
    point->Unadvise(cookie);
    point->Release();
  }
  player->Release();
  SysFreeString(title);
  SysFreeString(name);
  SysFreeString(path);
  VariantClear(&ignored);
  CoUninitialize();
  return static_cast<int>(sink.lasterror);
}
