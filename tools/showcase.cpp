// showcase: puts the control on screen for the README's pictures.
//   showcase face SECONDS   a design-mode form holding the control
//   showcase about          the About box (until it is closed)
// The screenshot script (tools/screenshots.sh) runs it under Xvfb.
#include <string>

#include "ZelOggPlayer100.h"
#include "com/ptr.h"
#include "com/win.h"
#include "tools/hostsite.h"

namespace {

void pump(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  CoInitialize(nullptr);
  com::com_ptr<IUnknown> control;
  if (FAILED(CoCreateInstance(CLSID_ZelOggPlay, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control.put_void())))
    return 1;
  if (std::wstring(argv[1]) == L"about") {
    auto dual = control.as<_ZelOggPlay>();
    VARIANT result;
    dual->About(&result);
  } else {
    HWND form = CreateWindowExW(0, L"STATIC", L"Form1", WS_OVERLAPPEDWINDOW | WS_VISIBLE | SS_WHITERECT, 40, 40, 200,
                                140, nullptr, nullptr, nullptr, nullptr);
    HostSite site(form, RECT{24, 24, 61, 61});
    site.usermode = false;  // a form in design mode: the face shows
    auto object = control.as<IOleObject>();
    object->SetClientSite(&site);
    if (auto persist = control.as<IPersistStreamInit>()) persist->InitNew();
    RECT rect = {24, 24, 61, 61};
    object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, form, &rect);
    pump(argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) * 1000 : 10000);
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
  }
  control.reset();
  CoUninitialize();
  return 0;
}
