// The container side of a control's site, as a form gives it: a client
// site, an in-place site on a window, and the ambient UserMode property.
// Used by the hosts of the control: zelplay, showcase, the test container
// and the Wine benchmark, which also share the event sink and the call by
// name below. It lives on the host's stack; its reference count is fixed.
#pragma once
#include <string>

#include "ZelOggPlayer100.h"
#include "com/ptr.h"
#include "com/win.h"
#include "control/dispids.h"

class HostSite final : public IOleClientSite, public IOleInPlaceSite, public IDispatch {
 public:
  HWND window;
  RECT position;          // where the form places the control
  bool usermode = true;   // false: a form in design mode
  bool activated = false;
  RECT posrect = {};      // the last size the control asked for
  int posrectchanges = 0;

  explicit HostSite(HWND w, RECT at = {0, 0, 37, 37}) : window(w), position(at) {}

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

  HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override { return *w = window, window ? S_OK : E_FAIL; }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return window ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return activated = true, S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** f, IOleInPlaceUIWindow** d, LPRECT pos, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO) override {
    *f = nullptr;
    *d = nullptr;
    *pos = *clip = position;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return activated = false, S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT r) override {
    ++posrectchanges;
    posrect = *r;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (id != DISPID_AMBIENT_USERMODE || !result) return DISP_E_MEMBERNOTFOUND;
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = usermode ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
};

// The host's side of the control's events: a sink answering the event
// interface and IDispatch. A host implements Invoke only. Like the site,
// it lives on the host's stack.
class HostSink : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == events_) return *out = static_cast<IDispatch*>(this), S_OK;
    return *out = nullptr, E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

 protected:
  explicit HostSink(REFIID events) : events_(events) {}
  ~HostSink() = default;

 private:
  IID events_;
};

// The control's events as a host receives them (the six of __ZelOggPlay,
// and FadeDone, Marker, NearEnd, Queued and CommentsChanged of __ZelOggPlayEx): the sink reads their by-reference
// arguments and calls the member of the event. An event whose arguments
// are not of the declared types goes to Malformed instead.
class ControlSink : public HostSink {
 public:
  virtual void FadeDone() {}
  virtual void Marker(double) {}
  virtual void NearEnd() {}
  virtual void Queued() {}
  virtual void CommentsChanged() {}
  virtual void Status(const std::wstring&) {}
  virtual void Finished() {}
  virtual void OggVorbisSettings(LONG /*rate*/, LONG /*bitrate*/, LONG /*channels*/, LONG /*version*/,
                                 const std::wstring& /*vendor*/) {}
  virtual void Progress(LONG, const std::wstring&) {}
  virtual void TimePosition(LONG, const std::wstring&) {}
  virtual void ErrorCode(LONG, const std::wstring&) {}
  virtual void Malformed(DISPID) {}

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    bool wellformed = true;
    auto arg = [&](UINT i) -> VARIANT* { return p && i < p->cArgs ? &p->rgvarg[p->cArgs - 1 - i] : nullptr; };
    auto number = [&](UINT i) -> LONG {
      VARIANT* v = arg(i);
      if (v && V_VT(v) == (VT_BYREF | VT_I4)) return *V_I4REF(v);
      wellformed = false;
      return 0;
    };
    auto text = [&](UINT i) -> std::wstring {
      VARIANT* v = arg(i);
      if (v && V_VT(v) == (VT_BYREF | VT_BSTR)) {
        const BSTR s = *V_BSTRREF(v);
        return s ? std::wstring(s, SysStringLen(s)) : std::wstring();
      }
      wellformed = false;
      return {};
    };
    switch (id) {
      case ZEL_DISPID_STATUS: {
        const std::wstring status = text(0);
        if (wellformed) Status(status);
        break;
      }
      case ZEL_DISPID_FINISHED: Finished(); break;
      case ZEL_DISPID_FADEDONE: FadeDone(); break;
      case ZEL_DISPID_NEAREND: NearEnd(); break;
      case ZEL_DISPID_QUEUED: Queued(); break;
      case ZEL_DISPID_COMMENTSCHANGED: CommentsChanged(); break;
      case ZEL_DISPID_MARKER: {
        VARIANT* v = arg(0);
        if (v && V_VT(v) == (VT_BYREF | VT_R8)) Marker(*V_R8REF(v));
        else wellformed = false;
        break;
      }
      case ZEL_DISPID_OGGVORBISSETTINGS: {
        const LONG rate = number(0), bitrate = number(1), channels = number(2), version = number(3);
        const std::wstring vendor = text(4);
        if (wellformed) OggVorbisSettings(rate, bitrate, channels, version, vendor);
        break;
      }
      case ZEL_DISPID_PROGRESS:
      case ZEL_DISPID_TIMEPOSITION:
      case ZEL_DISPID_ERRORCODE: {
        const LONG value = number(0);
        const std::wstring words = text(1);
        if (!wellformed) break;
        if (id == ZEL_DISPID_PROGRESS) Progress(value, words);
        else if (id == ZEL_DISPID_TIMEPOSITION) TimePosition(value, words);
        else ErrorCode(value, words);
        break;
      }
      default: return DISP_E_MEMBERNOTFOUND;
    }
    if (!wellformed) Malformed(id);
    return S_OK;
  }

 protected:
  explicit ControlSink(REFIID events = DIID___ZelOggPlay) : HostSink(events) {}
  ~ControlSink() = default;
};

// Calls a member of a control by name through IDispatch, as script and
// late-bound callers do: a method or a property get (flags) with an
// optional text argument, or a property put of `putvalue`. The exception's
// texts are the caller's to free.
inline HRESULT InvokeByName(IDispatch* object, const wchar_t* member, WORD flags, const wchar_t* argument,
                            VARIANT* result, EXCEPINFO* exception, VARIANT* putvalue = nullptr) {
  LPOLESTR name = const_cast<LPOLESTR>(member);
  DISPID id, named = DISPID_PROPERTYPUT;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  com::bstr value(argument ? argument : L"");
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_BSTR;
  V_BSTR(&arg) = value.get();
  DISPPARAMS params = {argument ? &arg : nullptr, nullptr, argument ? 1u : 0u, 0};
  if (putvalue) params = {putvalue, &named, 1, 1};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, exception, nullptr);
}
