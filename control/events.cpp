// The control's events: one connection point for __ZelOggPlay, which
// accepts any sink that answers the event interface or IDispatch, and the
// raising of the six events with every parameter by reference.
#include <new>

#include "control/dispids.h"
#include "control/zeloggplay.h"

namespace control {

namespace {

// Enumerates the control's one connection point.
class PointEnumerator final : public com::implements<IEnumConnectionPoints> {
 public:
  PointEnumerator(IConnectionPoint* point, ULONG position) : point_(point), position_(position) {}
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    ULONG given = 0;
    if (count > 0 && position_ == 0) {
      out[given++] = com::com_ptr<IConnectionPoint>(point_).detach();
      position_ = 1;
    }
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    if (count == 0) return S_OK;
    const bool had = position_ == 0;
    position_ = 1;
    return had && count == 1 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** out) override {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) PointEnumerator(point_.get(), position_);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  com::com_ptr<IConnectionPoint> point_;
  ULONG position_;
};

// The most arguments an event has (OggVorbisSettings).
constexpr UINT MostEventArguments = 5;

VARIANT ByRef(int32_t& value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BYREF | VT_I4;
  V_I4REF(&v) = reinterpret_cast<LONG*>(&value);
  return v;
}

VARIANT ByRef(BSTR& value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&v) = &value;
  return v;
}

// A text event parameter: the handlers get a BSTR by reference and may
// replace it; whatever it holds afterwards is copied back and freed.
class TextArgument {
 public:
  explicit TextArgument(wtext& text) : text_(text), b_(com::bstr(text).detach()) {}
  ~TextArgument() {
    text_ = com::text(b_);
    SysFreeString(b_);
  }
  TextArgument(const TextArgument&) = delete;
  TextArgument& operator=(const TextArgument&) = delete;
  VARIANT ref() { return ByRef(b_); }

 private:
  wtext& text_;
  BSTR b_;
};

}  // namespace

HRESULT EventPoint::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
  *out = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

ULONG EventPoint::AddRef() { return static_cast<_ZelOggPlay&>(owner_).AddRef(); }
ULONG EventPoint::Release() { return static_cast<_ZelOggPlay&>(owner_).Release(); }

HRESULT EventPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = DIID___ZelOggPlay;
  return S_OK;
}

HRESULT EventPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  *out = static_cast<IConnectionPointContainer*>(&owner_);
  (*out)->AddRef();
  return S_OK;
}

HRESULT EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  com::com_ptr<IDispatch> dispatch;
  if (FAILED(sink->QueryInterface(DIID___ZelOggPlay, dispatch.put_void())) &&
      FAILED(sink->QueryInterface(IID_IDispatch, dispatch.put_void())))
    return CONNECT_E_CANNOTCONNECT;
  try {
    sinks_.push_back({nextcookie_, dispatch.get()});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  dispatch.detach();  // the list holds this reference now
  *cookie = nextcookie_++;
  return S_OK;
}

HRESULT EventPoint::Unadvise(DWORD cookie) {
  for (std::size_t at = 0; at < sinks_.size(); ++at) {
    if (sinks_[at].cookie == cookie) {
      IDispatch* dispatch = sinks_[at].dispatch;
      sinks_.erase(at);
      dispatch->Release();
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT EventPoint::EnumConnections(IEnumConnections** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

void EventPoint::Fire(DISPID dispid, const VARIANT* arguments, UINT count) {
  // DISPPARAMS holds the arguments last first.
  VARIANT reversed[MostEventArguments];
  if (count > MostEventArguments) return;
  for (UINT i = 0; i < count; ++i) reversed[i] = arguments[count - 1 - i];
  DISPPARAMS params = {count ? reversed : nullptr, nullptr, count, 0};
  // A handler may unadvise, or release the control: work on a copy that
  // holds its own references.
  const base::buffer<Sink> sinks = sinks_;
  for (const Sink& sink : sinks) sink.dispatch->AddRef();
  for (const Sink& sink : sinks) {
    sink.dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    sink.dispatch->Release();
  }
}

void EventPoint::ReleaseSinks() {
  base::buffer<Sink> sinks;
  sinks.swap(sinks_);
  for (const Sink& sink : sinks) sink.dispatch->Release();
}

HRESULT ZelOggPlayControl::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) PointEnumerator(&events_, 0);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT ZelOggPlayControl::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != DIID___ZelOggPlay) return CONNECT_E_NOCONNECTION;
  *out = &events_;
  events_.AddRef();
  return S_OK;
}

}  // namespace control

namespace control {

void ZelOggPlayControl::Status(wtext& Statusvalue) {
  if (frozen_) return;
  TextArgument value(Statusvalue);
  const VARIANT arguments[] = {value.ref()};
  events_.Fire(ZEL_DISPID_STATUS, arguments);
}

void ZelOggPlayControl::Finished() {
  if (frozen_) return;
  events_.Fire(ZEL_DISPID_FINISHED, nullptr, 0);
}

void ZelOggPlayControl::OggVorbisSettings(int32_t& Samplerate, int32_t& Bitrate, int32_t& Channels,
                                          int32_t& Version, wtext& Vendor) {
  if (frozen_) return;
  TextArgument vendor(Vendor);
  const VARIANT arguments[] = {ByRef(Samplerate), ByRef(Bitrate), ByRef(Channels), ByRef(Version), vendor.ref()};
  events_.Fire(ZEL_DISPID_OGGVORBISSETTINGS, arguments);
}

void ZelOggPlayControl::Progress(int32_t& ProgressAsLong, wtext& ProgressAsString) {
  if (frozen_) return;
  TextArgument text(ProgressAsString);
  const VARIANT arguments[] = {ByRef(ProgressAsLong), text.ref()};
  events_.Fire(ZEL_DISPID_PROGRESS, arguments);
}

void ZelOggPlayControl::TimePosition(int32_t& TimeAsSeconds, wtext& TimeAsString) {
  if (frozen_) return;
  TextArgument text(TimeAsString);
  const VARIANT arguments[] = {ByRef(TimeAsSeconds), text.ref()};
  events_.Fire(ZEL_DISPID_TIMEPOSITION, arguments);
}

void ZelOggPlayControl::ErrorCode(int32_t& ErrorNumber, wtext& ErrorDescription) {
  if (frozen_) return;
  TextArgument description(ErrorDescription);
  const VARIANT arguments[] = {ByRef(ErrorNumber), description.ref()};
  events_.Fire(ZEL_DISPID_ERRORCODE, arguments);
}

}  // namespace control
