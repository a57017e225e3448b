// The control's events: a connection point for __ZelOggPlay and, on
// ZelOggPlayEx, one for its own __ZelOggPlayEx; each accepts any sink that
// answers its event interface or IDispatch. The six events of __ZelOggPlay
// are raised on both with every parameter by reference.
#include <new>

#include "control/dispids.h"
#include "control/zeloggplay.h"

namespace control {

namespace {

// Enumerates the control's connection points (one or two).
class PointEnumerator final : public com::implements<IEnumConnectionPoints> {
 public:
  PointEnumerator(IConnectionPoint* first, IConnectionPoint* second, ULONG position)
      : points_{first, second}, count_(second ? 2 : 1), position_(position) {}
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    ULONG given = 0;
    while (given < count && position_ < count_) out[given++] = com::com_ptr<IConnectionPoint>(points_[position_++]).detach();
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const ULONG skipped = count < count_ - position_ ? count : count_ - position_;
    position_ += skipped;
    return skipped == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** out) override {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) PointEnumerator(points_[0].get(), points_[1].get(), position_);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  com::com_ptr<IConnectionPoint> points_[2];
  ULONG count_;
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

VARIANT ByRef(double& value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BYREF | VT_R8;
  V_R8REF(&v) = &value;
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
  *iid = events_;
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
  if (FAILED(sink->QueryInterface(events_, dispatch.put_void())) &&
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
  // ZelOggPlayEx's own first: it is the class's default source.
  *out = extended_ ? new (std::nothrow) PointEnumerator(&exevents_, &events_, 0)
                   : new (std::nothrow) PointEnumerator(&events_, nullptr, 0);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT ZelOggPlayControl::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  EventPoint* point = iid == DIID___ZelOggPlay ? &events_ : extended_ && iid == DIID___ZelOggPlayEx ? &exevents_ : nullptr;
  if (!point) return CONNECT_E_NOCONNECTION;
  *out = point;
  point->AddRef();
  return S_OK;
}

void ZelOggPlayControl::Raise(DISPID dispid, const VARIANT* arguments, UINT count) {
  if (dispid < ZEL_DISPID_FADEDONE) events_.Fire(dispid, arguments, count);
  if (extended_) exevents_.Fire(dispid, arguments, count);
}

}  // namespace control

namespace control {

void ZelOggPlayControl::Status(wtext& Statusvalue) {
  if (frozen_) return;
  TextArgument value(Statusvalue);
  const VARIANT arguments[] = {value.ref()};
  Raise(ZEL_DISPID_STATUS, arguments);
}

void ZelOggPlayControl::Finished() {
  if (frozen_) return;
  Raise(ZEL_DISPID_FINISHED, nullptr, 0);
}

void ZelOggPlayControl::OggVorbisSettings(int32_t& Samplerate, int32_t& Bitrate, int32_t& Channels,
                                          int32_t& Version, wtext& Vendor) {
  if (frozen_) return;
  TextArgument vendor(Vendor);
  const VARIANT arguments[] = {ByRef(Samplerate), ByRef(Bitrate), ByRef(Channels), ByRef(Version), vendor.ref()};
  Raise(ZEL_DISPID_OGGVORBISSETTINGS, arguments);
}

void ZelOggPlayControl::Progress(int32_t& ProgressAsLong, wtext& ProgressAsString) {
  if (frozen_) return;
  TextArgument text(ProgressAsString);
  const VARIANT arguments[] = {ByRef(ProgressAsLong), text.ref()};
  Raise(ZEL_DISPID_PROGRESS, arguments);
}

void ZelOggPlayControl::TimePosition(int32_t& TimeAsSeconds, wtext& TimeAsString) {
  if (frozen_) return;
  TextArgument text(TimeAsString);
  const VARIANT arguments[] = {ByRef(TimeAsSeconds), text.ref()};
  Raise(ZEL_DISPID_TIMEPOSITION, arguments);
}

void ZelOggPlayControl::ErrorCode(int32_t& ErrorNumber, wtext& ErrorDescription) {
  if (frozen_) return;
  TextArgument description(ErrorDescription);
  const VARIANT arguments[] = {ByRef(ErrorNumber), description.ref()};
  Raise(ZEL_DISPID_ERRORCODE, arguments);
}

void ZelOggPlayControl::FadeDone() {
  if (frozen_) return;
  Raise(ZEL_DISPID_FADEDONE, nullptr, 0);
}

void ZelOggPlayControl::Marker(double& Seconds) {
  if (frozen_) return;
  const VARIANT arguments[] = {ByRef(Seconds)};
  Raise(ZEL_DISPID_MARKER, arguments);
}

void ZelOggPlayControl::NearEnd() {
  if (frozen_) return;
  Raise(ZEL_DISPID_NEAREND, nullptr, 0);
}

void ZelOggPlayControl::Queued() {
  if (frozen_) return;
  Raise(ZEL_DISPID_QUEUED, nullptr, 0);
}

void ZelOggPlayControl::CommentsChanged() {
  if (frozen_) return;
  Raise(ZEL_DISPID_COMMENTSCHANGED, nullptr, 0);
}

}  // namespace control
