// Calls both classes from another apartment, as a host's worker thread or a
// second window's thread does: each control is made in this program's
// single-threaded apartment and its interface is marshalled to a thread of
// the multithreaded apartment, through the proxies that COM builds from the
// type libraries (found through the registry, or through the program's
// manifest when nothing is registered). Prints one line for each call and
// exits 0 when every call came back with the right answer, 1 otherwise.
#include <cstdio>
#include <cwchar>

#include "ZelOggPlayer100.h"
#include "ZelOggPlayerEx.h"
#include "com/ptr.h"
#include "com/win.h"

namespace {

struct Handoff {
  IStream* plain = nullptr;     // _ZelOggPlay of a ZelOggPlay
  IStream* extended = nullptr;  // _ZelOggPlayEx2 of a ZelOggPlayEx
  int failures = 0;
};

void report(Handoff& h, bool ok, const char* what, HRESULT hr) {
  std::printf("%s %s (0x%08lx)\n", ok ? "ok" : "FAIL", what, static_cast<unsigned long>(hr));
  if (!ok) ++h.failures;
}

DWORD WINAPI caller(void* parameter) {
  Handoff& h = *static_cast<Handoff*>(parameter);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    com::com_ptr<_ZelOggPlay> plain;
    HRESULT hr = CoGetInterfaceAndReleaseStream(h.plain, IID__ZelOggPlay, plain.put_void());
    report(h, SUCCEEDED(hr), "ZelOggPlay: a proxy of _ZelOggPlay in another apartment", hr);
    com::bstr name;
    hr = plain ? plain->ControlName(name.put()) : E_POINTER;
    report(h, SUCCEEDED(hr) && name.get() && std::wcscmp(name.get(), L"Zel OGG Vorbis Player OCX 1.0.0") == 0,
           "ZelOggPlay: ControlName through the proxy", hr);

    com::com_ptr<_ZelOggPlayEx2> extended;
    hr = CoGetInterfaceAndReleaseStream(h.extended, IID__ZelOggPlayEx2, extended.put_void());
    report(h, SUCCEEDED(hr), "ZelOggPlayEx: a proxy of _ZelOggPlayEx2 in another apartment", hr);
    long volume = -1;
    hr = extended ? extended->put_Volume(40) : E_POINTER;
    if (SUCCEEDED(hr)) hr = extended->get_Volume(&volume);
    report(h, SUCCEEDED(hr) && volume == 40, "ZelOggPlayEx: Volume put and read back through the proxy", hr);
    VARIANT_BOOL loop = VARIANT_FALSE;
    hr = extended ? extended->put_Loop(VARIANT_TRUE) : E_POINTER;
    if (SUCCEEDED(hr)) hr = extended->get_Loop(&loop);
    report(h, SUCCEEDED(hr) && loop == VARIANT_TRUE, "ZelOggPlayEx: Loop (of the second interface) through the proxy",
           hr);
  }
  CoUninitialize();
  return 0;
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Handoff h;
  {
    com::com_ptr<_ZelOggPlay> plain;
    com::com_ptr<_ZelOggPlayEx2> extended;
    HRESULT hr = CoCreateInstance(CLSID_ZelOggPlay, nullptr, CLSCTX_INPROC_SERVER, IID__ZelOggPlay, plain.put_void());
    report(h, SUCCEEDED(hr), "ZelOggPlay created", hr);
    hr = CoCreateInstance(CLSID_ZelOggPlayEx, nullptr, CLSCTX_INPROC_SERVER, IID__ZelOggPlayEx2, extended.put_void());
    report(h, SUCCEEDED(hr), "ZelOggPlayEx created", hr);
    if (h.failures == 0) {
      hr = CoMarshalInterThreadInterfaceInStream(IID__ZelOggPlay, plain.get(), &h.plain);
      report(h, SUCCEEDED(hr), "ZelOggPlay: _ZelOggPlay marshalled", hr);
      hr = CoMarshalInterThreadInterfaceInStream(IID__ZelOggPlayEx2, extended.get(), &h.extended);
      report(h, SUCCEEDED(hr), "ZelOggPlayEx: _ZelOggPlayEx2 marshalled", hr);
    }
    if (h.failures == 0) {
      // The calls come back through this apartment's messages.
      HANDLE thread = CreateThread(nullptr, 0, caller, &h, 0, nullptr);
      while (thread && MsgWaitForMultipleObjects(1, &thread, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      }
      if (!thread || WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) report(h, false, "the calling thread ended", E_FAIL);
      if (thread) CloseHandle(thread);
    }
  }
  CoUninitialize();
  std::printf("crossapartment: %d failed\n", h.failures);
  return h.failures == 0 ? 0 : 1;
}
