// The control's methods, as the dual interface _ZelOggPlay and through
// IDispatch on the type library; failures of the engine deployment become
// the call's error, with an error object.
#include <cstring>
#include <new>
#include <vector>

#include "bridge/failure.h"
#include "base/product.h"
#include "control/zeloggplay.h"

#include <shellapi.h>

namespace control {

namespace {

// VB reads an HRESULT of FACILITY_CONTROL as Err.Number = its code.
HRESULT ControlHresult(int32_t number) { return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number & 0xffff); }

}  // namespace

IUnknown* NewZelOggPlay(bool extended) {
  auto* control = new (std::nothrow) ZelOggPlayControl(extended);
  if (control && !control->Ready()) {
    static_cast<_ZelOggPlayEx3*>(control)->Release();
    return nullptr;
  }
  return static_cast<_ZelOggPlayEx3*>(control);
}

HRESULT ZelOggPlayControl::QueryInterface(REFIID iid, void** out) {
  if ((iid == IID__ZelOggPlayEx || iid == IID__ZelOggPlayEx2 || iid == IID__ZelOggPlayEx3) && !extended_) {
    if (out) *out = nullptr;
    return out ? E_NOINTERFACE : E_POINTER;
  }
  return implements::QueryInterface(iid, out);
}

void* ZelOggPlayControl::extrainterface(REFIID iid) {
  if (iid == IID_IDispatch || iid == IID__ZelOggPlay) return static_cast<_ZelOggPlay*>(this);
  if (iid == IID__ZelOggPlayEx) return static_cast<_ZelOggPlayEx*>(this);
  if (iid == IID__ZelOggPlayEx2) return static_cast<_ZelOggPlayEx2*>(this);
  if (iid == IID_IOleWindow) return static_cast<IOleInPlaceObject*>(this);
  if (iid == IID_IViewObject) return static_cast<IViewObject2*>(this);
  if (iid == IID_IPersist) return static_cast<IPersistStreamInit*>(this);
  if (iid == IID_IProvideClassInfo) return static_cast<IProvideClassInfo2*>(this);
  return nullptr;
}

HRESULT ZelOggPlayControl::Fail(const bridge::AutomationError& error) {
  failed_ = true;
  failure_ = error;
  return FailWith(ControlHresult(error.number), error.description);
}

HRESULT ZelOggPlayControl::FailWith(HRESULT hr, const base::wtext& description) {
  com::com_ptr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.put()))) {
    com::bstr text(description);
    create->SetDescription(text.get());
    create->SetGUID(DefaultInterface());
    if (auto info = create.as<IErrorInfo>()) SetErrorInfo(0, info.get());
  }
  return hr;
}

template <typename Body>
HRESULT ZelOggPlayControl::Call(VARIANT* result, Body body) {
  if (result) VariantInit(result);
  com::keepalive alive(unknown());
  failed_ = false;
  try {
    body();
    return S_OK;
  } catch (const bridge::AutomationError& error) {
    return Fail(error);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ZelOggPlayControl::OpenFile(BSTR Inputfile, VARIANT* result) {
  return Call(result, [&] { player_.OpenFile(com::text(Inputfile)); });
}

HRESULT ZelOggPlayControl::PlayFile(BSTR Inputfile, VARIANT* result) {
  return Call(result, [&] { player_.PlayFile(com::text(Inputfile)); });
}

HRESULT ZelOggPlayControl::GetStatus(BSTR* result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  return Call(nullptr, [&] { *result = com::bstr(player_.GetStatus()).detach(); });
}

HRESULT ZelOggPlayControl::PausePlayback(VARIANT* result) {
  return Call(result, [&] { player_.PausePlayback(); });
}

HRESULT ZelOggPlayControl::ResumePlayback(VARIANT* result) {
  return Call(result, [&] { player_.ResumePlayback(); });
}

HRESULT ZelOggPlayControl::CancelPlayback(VARIANT* result) {
  return Call(result, [&] { player_.CancelPlayback(); });
}

HRESULT ZelOggPlayControl::ControlName(BSTR* result) {
  if (!result) return E_POINTER;
  *result = com::bstr(base::widen(product::AppTitle)).detach();
  return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT ZelOggPlayControl::About(VARIANT* result) {
  if (result) VariantInit(result);
  com::keepalive alive(unknown());
  ShowAboutBox();
  return S_OK;
}

HRESULT ZelOggPlayControl::Goto_ZelSoftware(VARIANT* result) {
  if (result) VariantInit(result);
  ShellExecuteA(nullptr, "open", product::WebSite, "", "C:\\", SW_SHOWNORMAL);
  return S_OK;
}

// The members of _ZelOggPlayEx. Only an extended control is reached through
// this interface; its methods never load the engine.
HRESULT ZelOggPlayControl::get_Position(double* seconds) {
  if (!seconds) return E_POINTER;
  *seconds = player_.Position();
  return S_OK;
}

HRESULT ZelOggPlayControl::put_Position(double seconds) {
  player_.SetPosition(seconds);
  return S_OK;
}

HRESULT ZelOggPlayControl::get_Duration(double* seconds) {
  if (!seconds) return E_POINTER;
  *seconds = player_.Duration();
  return S_OK;
}

HRESULT ZelOggPlayControl::get_Volume(LONG* level) {
  if (!level) return E_POINTER;
  *level = player_.Volume();
  return S_OK;
}

HRESULT ZelOggPlayControl::put_Volume(LONG level) {
  if (!player_.SetVolume(level)) return FailWith(E_INVALIDARG, base::widen("Volume must be from 0 to 100."));
  return S_OK;
}

HRESULT ZelOggPlayControl::get_Mute(VARIANT_BOOL* muted) {
  if (!muted) return E_POINTER;
  *muted = player_.Mute() ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT ZelOggPlayControl::put_Mute(VARIANT_BOOL muted) {
  player_.SetMute(muted != VARIANT_FALSE);
  return S_OK;
}

HRESULT ZelOggPlayControl::get_Tag(BSTR Name, BSTR* value) {
  if (!value) return E_POINTER;
  *value = com::bstr(player_.Tag(com::text(Name))).detach();
  return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT ZelOggPlayControl::get_Tags(BSTR* lines) {
  if (!lines) return E_POINTER;
  *lines = com::bstr(player_.Tags()).detach();
  return *lines ? S_OK : E_OUTOFMEMORY;
}

// The members of _ZelOggPlayEx2.
HRESULT ZelOggPlayControl::get_Comment(BSTR Name, BSTR* value) { return get_Tag(Name, value); }

HRESULT ZelOggPlayControl::get_Comments(BSTR* lines) { return get_Tags(lines); }

HRESULT ZelOggPlayControl::get_Loop(VARIANT_BOOL* on) {
  if (!on) return E_POINTER;
  *on = player_.Loop() ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT ZelOggPlayControl::put_Loop(VARIANT_BOOL on) {
  player_.SetLoop(on != VARIANT_FALSE);
  return S_OK;
}

// A one-dimensional array of bytes, as VB's Byte(), .NET's byte[] and
// ADODB.Stream's Read give it: in the VARIANT, or behind a reference in it.
// Its bytes are read under SafeArrayAccessData; the engine copies them
// before the call returns.
template <typename Body>
HRESULT ZelOggPlayControl::WithBytes(const VARIANT& Data, Body body) {
  const VARIANT* v = &Data;
  if (V_VT(v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
  SAFEARRAY* array = nullptr;
  if (V_VT(v) == (VT_ARRAY | VT_UI1)) array = V_ARRAY(v);
  else if (V_VT(v) == (VT_ARRAY | VT_UI1 | VT_BYREF) && V_ARRAYREF(v)) array = *V_ARRAYREF(v);
  if (!array || SafeArrayGetDim(array) != 1 || SafeArrayGetElemsize(array) != 1)
    return FailWith(E_INVALIDARG, base::widen("Data must be a one-dimensional array of bytes (Byte()) "
                                              "holding a whole Ogg file."));
  const std::size_t size = array->rgsabound[0].cElements;
  void* bytes = nullptr;
  if (FAILED(SafeArrayAccessData(array, &bytes))) return FailWith(E_INVALIDARG, base::widen("Data cannot be read."));
  const HRESULT hr = Call(nullptr, [&] { body(size ? bytes : nullptr, size); });
  SafeArrayUnaccessData(array);
  return hr;
}

HRESULT ZelOggPlayControl::OpenMemory(VARIANT Data) {
  return WithBytes(Data, [&](const void* bytes, std::size_t size) { player_.OpenMemory(bytes, size); });
}

HRESULT ZelOggPlayControl::PlayMemory(VARIANT Data) {
  return WithBytes(Data, [&](const void* bytes, std::size_t size) { player_.PlayMemory(bytes, size); });
}

HRESULT ZelOggPlayControl::get_DeviceCount(LONG* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return Call(nullptr, [&] { *count = player_.DeviceCount(); });
}

HRESULT ZelOggPlayControl::get_DeviceName(LONG Index, BSTR* name) {
  if (!name) return E_POINTER;
  *name = nullptr;
  bool found = false;
  base::wtext text;
  const HRESULT hr = Call(nullptr, [&] { found = player_.DeviceName(Index, text); });
  if (FAILED(hr)) return hr;
  if (!found) return FailWith(E_INVALIDARG, base::widen("Index must be from 0 to DeviceCount - 1."));
  *name = com::bstr(text).detach();
  return *name ? S_OK : E_OUTOFMEMORY;
}

HRESULT ZelOggPlayControl::get_Device(LONG* index) {
  if (!index) return E_POINTER;
  *index = player_.Device();
  return S_OK;
}

HRESULT ZelOggPlayControl::put_Device(LONG index) {
  bool set = false;
  const HRESULT hr = Call(nullptr, [&] { set = player_.SetDevice(index); });
  if (FAILED(hr)) return hr;
  if (!set) return FailWith(E_INVALIDARG, base::widen("Device must be -1 (the default) or from 0 to DeviceCount - 1."));
  return S_OK;
}

HRESULT ZelOggPlayControl::get_PeakLevel(double* level) {
  if (!level) return E_POINTER;
  *level = player_.PeakLevel();
  return S_OK;
}

// The members of _ZelOggPlayEx3.

HRESULT ZelOggPlayControl::get_DeviceId(BSTR* id) {
  if (!id) return E_POINTER;
  *id = nullptr;
  base::wtext text;
  const HRESULT hr = Call(nullptr, [&] { text = player_.DeviceId(); });
  if (FAILED(hr)) return hr;
  *id = com::bstr(text).detach();
  return *id ? S_OK : E_OUTOFMEMORY;
}

HRESULT ZelOggPlayControl::put_DeviceId(BSTR id) {
  bool set = false;
  const HRESULT hr = Call(nullptr, [&] { set = player_.SetDeviceId(com::text(id)); });
  if (FAILED(hr)) return hr;
  if (!set)
    return FailWith(E_INVALIDARG, base::widen("DeviceId must be \"\" (the default) or the id of a sound card that is present."));
  return S_OK;
}

HRESULT ZelOggPlayControl::get_OutputLinger(double* seconds) {
  if (!seconds) return E_POINTER;
  *seconds = 0;
  return Call(nullptr, [&] { *seconds = player_.OutputLinger(); });
}

HRESULT ZelOggPlayControl::put_OutputLinger(double seconds) {
  bool set = false;
  const HRESULT hr = Call(nullptr, [&] { set = player_.SetOutputLinger(seconds); });
  if (FAILED(hr)) return hr;
  if (!set) return FailWith(E_INVALIDARG, base::widen("OutputLinger must be from 0 to 60 seconds."));
  return S_OK;
}

HRESULT ZelOggPlayControl::get_Pan(double* position) {
  if (!position) return E_POINTER;
  *position = player_.Pan();
  return S_OK;
}

HRESULT ZelOggPlayControl::put_Pan(double position) {
  bool set = false;
  const HRESULT hr = Call(nullptr, [&] { set = player_.SetPan(position); });
  if (FAILED(hr)) return hr;
  if (!set) return FailWith(E_INVALIDARG, base::widen("Pan must be from -1 (left) to 1 (right)."));
  return S_OK;
}

HRESULT ZelOggPlayControl::get_Rate(double* speed) {
  if (!speed) return E_POINTER;
  *speed = player_.Rate();
  return S_OK;
}

HRESULT ZelOggPlayControl::put_Rate(double speed) {
  bool set = false;
  const HRESULT hr = Call(nullptr, [&] { set = player_.SetRate(speed); });
  if (FAILED(hr)) return hr;
  if (!set) return FailWith(E_INVALIDARG, base::widen("Rate must be from 0.25 to 4."));
  return S_OK;
}

HRESULT ZelOggPlayControl::FadeTo(LONG Volume, LONG Milliseconds) {
  bool set = false;
  const HRESULT hr = Call(nullptr, [&] { set = player_.FadeTo(Volume, Milliseconds); });
  if (FAILED(hr)) return hr;
  if (!set) return FailWith(E_INVALIDARG, base::widen("FadeTo takes a volume from 0 to 100 and from 0 to 600000 milliseconds."));
  return S_OK;
}

HRESULT ZelOggPlayControl::FadeOutAndStop(LONG Milliseconds) {
  bool set = false;
  const HRESULT hr = Call(nullptr, [&] { set = player_.FadeOutAndStop(Milliseconds); });
  if (FAILED(hr)) return hr;
  if (!set) return FailWith(E_INVALIDARG, base::widen("FadeOutAndStop takes from 0 to 600000 milliseconds."));
  return S_OK;
}

HRESULT ZelOggPlayControl::AddMarker(double Seconds) {
  bool set = false;
  const HRESULT hr = Call(nullptr, [&] { set = player_.AddMarker(Seconds); });
  if (FAILED(hr)) return hr;
  if (!set) return FailWith(E_INVALIDARG, base::widen("AddMarker takes a time from 0 to the file's length, in seconds."));
  return S_OK;
}

HRESULT ZelOggPlayControl::ClearMarkers() {
  return Call(nullptr, [&] { player_.ClearMarkers(); });
}

HRESULT ZelOggPlayControl::get_NearEndSeconds(double* seconds) {
  if (!seconds) return E_POINTER;
  *seconds = player_.NearEndSeconds();
  return S_OK;
}

HRESULT ZelOggPlayControl::put_NearEndSeconds(double seconds) {
  bool set = false;
  const HRESULT hr = Call(nullptr, [&] { set = player_.SetNearEndSeconds(seconds); });
  if (FAILED(hr)) return hr;
  if (!set) return FailWith(E_INVALIDARG, base::widen("NearEndSeconds must be from 0 to 3600."));
  return S_OK;
}

HRESULT ZelOggPlayControl::QueueFile(BSTR Inputfile) {
  return Call(nullptr, [&] { player_.QueueFile(com::text(Inputfile)); });
}

HRESULT ZelOggPlayControl::QueueMemory(VARIANT Data) {
  return WithBytes(Data, [&](const void* bytes, std::size_t size) { player_.QueueMemory(bytes, size); });
}

HRESULT ZelOggPlayControl::get_CrossFade(double* seconds) {
  if (!seconds) return E_POINTER;
  *seconds = player_.CrossFade();
  return S_OK;
}

HRESULT ZelOggPlayControl::put_CrossFade(double seconds) {
  bool set = false;
  const HRESULT hr = Call(nullptr, [&] { set = player_.SetCrossFade(seconds); });
  if (FAILED(hr)) return hr;
  if (!set) return FailWith(E_INVALIDARG, base::widen("CrossFade must be from 0 to 60 seconds."));
  return S_OK;
}

HRESULT ZelOggPlayControl::OpenUrl(BSTR Url) {
  return Call(nullptr, [&] { player_.OpenUrl(com::text(Url)); });
}

HRESULT ZelOggPlayControl::PlayUrl(BSTR Url) {
  return Call(nullptr, [&] { player_.PlayUrl(com::text(Url)); });
}

HRESULT ZelOggPlayControl::get_BufferSeconds(double* seconds) {
  if (!seconds) return E_POINTER;
  *seconds = player_.BufferSeconds();
  return S_OK;
}

HRESULT ZelOggPlayControl::put_BufferSeconds(double seconds) {
  bool set = false;
  const HRESULT hr = Call(nullptr, [&] { set = player_.SetBufferSeconds(seconds); });
  if (FAILED(hr)) return hr;
  if (!set) return FailWith(E_INVALIDARG, base::widen("BufferSeconds must be from 0.1 to 10."));
  return S_OK;
}

HRESULT ZelOggPlayControl::get_BufferLevel(LONG* percent) {
  if (!percent) return E_POINTER;
  *percent = 0;
  return Call(nullptr, [&] { *percent = player_.BufferLevel(); });
}

HRESULT ZelOggPlayControl::Spectrum(LONG Bands, VARIANT* Levels) {
  if (!Levels) return E_POINTER;
  VariantInit(Levels);
  std::vector<double> levels;
  bool set = false;
  const HRESULT hr = Call(nullptr, [&] { set = player_.Spectrum(Bands, levels); });
  if (FAILED(hr)) return hr;
  if (!set) return FailWith(E_INVALIDARG, base::widen("Spectrum takes from 1 to 1024 bands."));
  SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(levels.size()));
  void* data = nullptr;
  if (!array || FAILED(SafeArrayAccessData(array, &data))) {
    if (array) SafeArrayDestroy(array);
    return E_OUTOFMEMORY;
  }
  std::memcpy(data, levels.data(), levels.size() * sizeof(double));
  SafeArrayUnaccessData(array);
  V_VT(Levels) = VT_ARRAY | VT_R8;
  V_ARRAY(Levels) = array;
  return S_OK;
}

HRESULT ZelOggPlayControl::InterfaceSupportsErrorInfo(REFIID iid) {
  if (extended_ && (iid == IID__ZelOggPlayEx || iid == IID__ZelOggPlayEx2 || iid == IID__ZelOggPlay)) return S_OK;
  return iid == DefaultInterface() ? S_OK : S_FALSE;
}

HRESULT ZelOggPlayControl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = typeinfo_ ? 1 : 0;
  return S_OK;
}

HRESULT ZelOggPlayControl::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  if (!typeinfo_) return TYPE_E_CANTLOADLIBRARY;
  *out = com::com_ptr<ITypeInfo>(typeinfo_).detach();
  return S_OK;
}

HRESULT ZelOggPlayControl::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (!typeinfo_) return TYPE_E_CANTLOADLIBRARY;
  return DispGetIDsOfNames(typeinfo_.get(), names, count, ids);
}

HRESULT ZelOggPlayControl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* exception, UINT* argerror) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (!typeinfo_) return TYPE_E_CANTLOADLIBRARY;
  com::keepalive alive(unknown());
  failed_ = false;
  // Script hosts ask for a result even from methods called as statements.
  if (flags & DISPATCH_PROPERTYGET) flags |= DISPATCH_METHOD;
  const HRESULT hr = DispInvoke(static_cast<_ZelOggPlayEx3*>(this), typeinfo_.get(), id, flags, params, result,
                                exception, argerror);
  if (!failed_) return hr;
  // The method failed with its own error: the caller gets it as an
  // exception with that number and description.
  if (exception) {
    SysFreeString(exception->bstrSource);
    SysFreeString(exception->bstrDescription);
    SysFreeString(exception->bstrHelpFile);
    *exception = EXCEPINFO{};
    exception->scode = ControlHresult(failure_.number);
    exception->bstrDescription = com::bstr(failure_.description).detach();
  }
  return DISP_E_EXCEPTION;
}

}  // namespace control
