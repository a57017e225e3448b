// showcase: puts the control on screen for the README's pictures.
//   showcase face SECONDS   a design-mode form holding the control
//   showcase about          the About box (until it is closed)
// The screenshot script (tools/screenshots.sh) runs it under Xvfb.
#include <string>

#include "ZelOggPlayer100.h"
#include "com/ptr.h"
#include "com/win.h"

namespace {

// A form's site in design mode: the control shows its face.
class DesignSite final : public IOleClientSite, public IOleInPlaceSite, public IDispatch {
 public:
  explicit DesignSite(HWND form) : form_(form) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleInPlaceSite || iid == IID_IOleWindow) *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IDispatch) *out = static_cast<IDispatch*>(this);
    else return *out = nullptr, E_NOINTERFACE;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** m) override { return *m = nullptr, E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override { return *c = nullptr, E_NOINTERFACE; }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override { return *w = form_, S_OK; }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** f, IOleInPlaceUIWindow** d, LPRECT pos, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO) override {
    *f = nullptr;
    *d = nullptr;
    SetRect(pos, 24, 24, 61, 61);
    *clip = *pos;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (id != DISPID_AMBIENT_USERMODE || !result) return DISP_E_MEMBERNOTFOUND;
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = VARIANT_FALSE;
    return S_OK;
  }

 private:
  HWND form_;
};

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
    DesignSite site(form);
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
