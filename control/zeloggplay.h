// The ActiveX control ZelOggPlay: one COM object with the interfaces that
// containers and script hosts use. The same object serves the class
// ZelOggPlayEx, whose interface _ZelOggPlayEx adds seeking, volume, length
// and tags to _ZelOggPlay, _ZelOggPlayEx2 looping, memory playback, the
// sound card and the level to that, and _ZelOggPlayEx3 the card by its id
// and the output's linger; a ZelOggPlay answers none of them. Each OLE
// concern has its own file:
// dispatch.cpp (the methods, through the type library), events.cpp (the
// connection point), oleobject.cpp (embedding), inplace.cpp (activation and
// the design-time face), view.cpp (drawing), persist.cpp (persistence and
// class information), timers.cpp (the three timers).
#pragma once
#include "ZelOggPlayer100.h"
#include "ZelOggPlayerEx.h"
#include "bridge/failure.h"
#include "com/ptr.h"
#include "com/unknown.h"
#include "control/player.h"
#include "resources/resource.h"

namespace control {

// The misc status of both classes, as GetMiscStatus gives it and the
// registry holds it: recompose on resize, cannot link inside, inside-out,
// activate when visible, invisible at run time, wants its client site first.
constexpr DWORD MiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                             OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INVISIBLEATRUNTIME | OLEMISC_SETCLIENTSITEFIRST;
static_assert(MiscStatus == 0x20591, "the misc status that hosts have always been given");
// The locale of both type libraries.
constexpr LCID TypeLibLcid = 0x0409;

// A type description from the library's two type libraries (a new
// reference), or null.
inline ITypeInfo* TypeInfoOf(REFGUID guid) { return com::TypeInfoOf(guid, ZEL_TYPELIB_EX_RESOURCE); }

// The window classes of the library: the timers' message-only window, the
// design-time face, and the About box. A library must unregister its
// classes when it is unloaded (UnregisterWindowClasses, from DllMain), or a
// later load would find them pointing into the old image.
constexpr const wchar_t* TimerClass = L"ZelOggPlayTimers";
constexpr const wchar_t* FaceClass = L"ZelOggPlayFace";
constexpr const wchar_t* FormClass = L"ZelOggPlayAbout";
void UnregisterWindowClasses();
// Registers one of them once per process (a second call finds it there).
// A visible window gets the arrow cursor and the button-face background.
bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure, bool visible, HICON icon = nullptr);

// Creates a control of the class ZelOggPlay, or ZelOggPlayEx when extended
// (one reference), or null when out of memory.
IUnknown* NewZelOggPlay(bool extended);
// Shows the About box modally on the calling thread (about.cpp).
void ShowAboutBox();

class ZelOggPlayControl;

// The control's private message-only window, whose timers tick on the
// control's thread (timers.cpp).
HWND CreateTimerWindow(ZelOggPlayControl* control);
// Draws the design-time picture stretched over the rectangle (view.cpp).
void DrawPicture(HDC dc, int left, int top, int width, int height);

// A connection point of the control: __ZelOggPlay, or ZelOggPlayEx's own
// __ZelOggPlayEx. It lives inside the control and shares its reference
// count.
class EventPoint final : public IConnectionPoint {
 public:
  EventPoint(ZelOggPlayControl& owner, REFIID events) : owner_(owner), events_(events) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override;

  ~EventPoint() { ReleaseSinks(); }

  // Calls every sink's Invoke with the arguments, given in their declared
  // order; by-reference values come back changed by the handlers.
  void Fire(DISPID dispid, const VARIANT* arguments, UINT count);
  template <UINT N>
  void Fire(DISPID dispid, const VARIANT (&arguments)[N]) { Fire(dispid, arguments, N); }
  void ReleaseSinks();

 private:
  // Each sink holds one reference, taken by Advise and given back by
  // Unadvise or ReleaseSinks.
  struct Sink {
    DWORD cookie;
    IDispatch* dispatch;
  };
  ZelOggPlayControl& owner_;
  const IID events_;
  base::buffer<Sink> sinks_;
  DWORD nextcookie_ = 1;
};

class ZelOggPlayControl final
    : public com::implements<_ZelOggPlayEx3, IOleObject, IOleInPlaceObject, IOleInPlaceActiveObject, IOleControl,
                             IViewObject2, IPersistStreamInit, IPersistPropertyBag, IProvideClassInfo2,
                             IConnectionPointContainer, ISupportErrorInfo>,
      private PlayerHost {
 public:
  explicit ZelOggPlayControl(bool extended);
  bool Ready() const { return timerwindow_ != nullptr; }
  // The class this object was created as, and its default interface.
  REFCLSID ClassId() const { return extended_ ? CLSID_ZelOggPlayEx : CLSID_ZelOggPlay; }
  REFIID DefaultInterface() const { return extended_ ? IID__ZelOggPlayEx3 : IID__ZelOggPlay; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;

  // IDispatch (dispatch.cpp)
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argerror) override;
  // _ZelOggPlay (dispatch.cpp)
  HRESULT STDMETHODCALLTYPE OpenFile(BSTR Inputfile, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE PlayFile(BSTR Inputfile, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE GetStatus(BSTR* result) override;
  HRESULT STDMETHODCALLTYPE PausePlayback(VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE ResumePlayback(VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE CancelPlayback(VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE ControlName(BSTR* result) override;
  HRESULT STDMETHODCALLTYPE About(VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Goto_ZelSoftware(VARIANT* result) override;
  // _ZelOggPlayEx (dispatch.cpp)
  HRESULT STDMETHODCALLTYPE get_Position(double* seconds) override;
  HRESULT STDMETHODCALLTYPE put_Position(double seconds) override;
  HRESULT STDMETHODCALLTYPE get_Duration(double* seconds) override;
  HRESULT STDMETHODCALLTYPE get_Volume(LONG* level) override;
  HRESULT STDMETHODCALLTYPE put_Volume(LONG level) override;
  HRESULT STDMETHODCALLTYPE get_Mute(VARIANT_BOOL* muted) override;
  HRESULT STDMETHODCALLTYPE put_Mute(VARIANT_BOOL muted) override;
  HRESULT STDMETHODCALLTYPE get_Tag(BSTR Name, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE get_Tags(BSTR* lines) override;
  // _ZelOggPlayEx2 (dispatch.cpp)
  HRESULT STDMETHODCALLTYPE get_Comment(BSTR Name, BSTR* value) override;
  HRESULT STDMETHODCALLTYPE get_Comments(BSTR* lines) override;
  HRESULT STDMETHODCALLTYPE get_Loop(VARIANT_BOOL* on) override;
  HRESULT STDMETHODCALLTYPE put_Loop(VARIANT_BOOL on) override;
  HRESULT STDMETHODCALLTYPE OpenMemory(VARIANT Data) override;
  HRESULT STDMETHODCALLTYPE PlayMemory(VARIANT Data) override;
  HRESULT STDMETHODCALLTYPE get_DeviceCount(LONG* count) override;
  HRESULT STDMETHODCALLTYPE get_DeviceName(LONG Index, BSTR* name) override;
  HRESULT STDMETHODCALLTYPE get_Device(LONG* index) override;
  HRESULT STDMETHODCALLTYPE put_Device(LONG index) override;
  HRESULT STDMETHODCALLTYPE get_PeakLevel(double* level) override;
  // _ZelOggPlayEx3 (dispatch.cpp)
  HRESULT STDMETHODCALLTYPE get_DeviceId(BSTR* id) override;
  HRESULT STDMETHODCALLTYPE put_DeviceId(BSTR id) override;
  HRESULT STDMETHODCALLTYPE get_OutputLinger(double* seconds) override;
  HRESULT STDMETHODCALLTYPE put_OutputLinger(double seconds) override;
  HRESULT STDMETHODCALLTYPE get_Pan(double* position) override;
  HRESULT STDMETHODCALLTYPE put_Pan(double position) override;
  HRESULT STDMETHODCALLTYPE get_Rate(double* speed) override;
  HRESULT STDMETHODCALLTYPE put_Rate(double speed) override;
  HRESULT STDMETHODCALLTYPE FadeTo(LONG Volume, LONG Milliseconds) override;
  HRESULT STDMETHODCALLTYPE FadeOutAndStop(LONG Milliseconds) override;
  HRESULT STDMETHODCALLTYPE AddMarker(double Seconds) override;
  HRESULT STDMETHODCALLTYPE ClearMarkers() override;
  HRESULT STDMETHODCALLTYPE get_NearEndSeconds(double* seconds) override;
  HRESULT STDMETHODCALLTYPE put_NearEndSeconds(double seconds) override;
  HRESULT STDMETHODCALLTYPE Spectrum(LONG Bands, VARIANT* Levels) override;
  HRESULT STDMETHODCALLTYPE QueueFile(BSTR Inputfile) override;
  HRESULT STDMETHODCALLTYPE QueueMemory(VARIANT Data) override;
  HRESULT STDMETHODCALLTYPE get_CrossFade(double* seconds) override;
  HRESULT STDMETHODCALLTYPE put_CrossFade(double seconds) override;
  HRESULT STDMETHODCALLTYPE OpenUrl(BSTR Url) override;
  HRESULT STDMETHODCALLTYPE PlayUrl(BSTR Url) override;
  HRESULT STDMETHODCALLTYPE get_BufferSeconds(double* seconds) override;
  HRESULT STDMETHODCALLTYPE put_BufferSeconds(double seconds) override;
  HRESULT STDMETHODCALLTYPE get_BufferLevel(LONG* percent) override;
  // ISupportErrorInfo (dispatch.cpp)
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

  // IOleObject (oleobject.cpp)
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  HRESULT STDMETHODCALLTYPE Close(DWORD saveoption) override;
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                                   LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
  HRESULT STDMETHODCALLTYPE Update() override;
  HRESULT STDMETHODCALLTYPE IsUpToDate() override;
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* type) override;
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advise) override;
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) override;

  // IOleControl (oleobject.cpp)
  HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* msg) override;
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override;
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject (inplace.cpp)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

  // IViewObject2 (view.cpp)
  HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectinfo, DVTARGETDEVICE* device, HDC target,
                                 HDC draw, LPCRECTL bounds, LPCRECTL wbounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                                 ULONG_PTR contarg) override;
  HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectinfo, DVTARGETDEVICE* device, HDC target,
                                        LOGPALETTE** colors) override;
  HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectinfo, DWORD* freeze) override;
  HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
  HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

  // IPersist, IPersistStreamInit, IPersistPropertyBag, IProvideClassInfo2 (persist.cpp)
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override;
  HRESULT STDMETHODCALLTYPE Save(LPSTREAM stream, BOOL cleardirty) override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;
  HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override;
  HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL cleardirty, BOOL saveall) override;
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

  // IConnectionPointContainer (events.cpp)
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

  // A WM_TIMER of the control's timer window (timers.cpp).
  void OnTimer(int timer);

 private:
  ~ZelOggPlayControl() override;
  void* extrainterface(REFIID iid) override;

  // PlayerHost: timers (timers.cpp) and events (events.cpp).
  void SetTimer(int timer, bool enabled) override;
  void Status(wtext& Statusvalue) override;
  void Finished() override;
  void OggVorbisSettings(int32_t& Samplerate, int32_t& Bitrate, int32_t& Channels, int32_t& Version,
                         wtext& Vendor) override;
  void Progress(int32_t& ProgressAsLong, wtext& ProgressAsString) override;
  void TimePosition(int32_t& TimeAsSeconds, wtext& TimeAsString) override;
  void ErrorCode(int32_t& ErrorNumber, wtext& ErrorDescription) override;
  void FadeDone() override;
  void Marker(double& Seconds) override;
  void NearEnd() override;
  void Queued() override;
  void CommentsChanged() override;
  // Raises an event on every point that carries it: the six of
  // __ZelOggPlay on both, ZelOggPlayEx's own (from FadeDone on) on
  // __ZelOggPlayEx alone.
  template <UINT N>
  void Raise(DISPID dispid, const VARIANT (&arguments)[N]) { Raise(dispid, arguments, N); }
  void Raise(DISPID dispid, const VARIANT* arguments, UINT count);

  // Runs a method of the player; a deployment failure becomes the call's
  // error (dispatch.cpp).
  template <typename Body>
  HRESULT Call(VARIANT* result, Body body);
  HRESULT Fail(const bridge::AutomationError& error);
  // Fails the call with an error object that says why; hr is its result.
  HRESULT FailWith(HRESULT hr, const base::wtext& description);
  // OpenMemory and PlayMemory: the bytes of the array in Data, or a failure
  // that says what is expected.
  template <typename Body>
  HRESULT WithBytes(const VARIANT& Data, Body body);

  // In-place activation (inplace.cpp).
  HRESULT ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT rect);
  bool UserMode();

  const bool extended_;
  Player player_{*this, extended_};
  HWND timerwindow_ = nullptr;
  EventPoint events_{*this, DIID___ZelOggPlay};
  // ZelOggPlayEx's own events; the class also serves __ZelOggPlay, for a
  // program built against its first versions.
  EventPoint exevents_{*this, DIID___ZelOggPlayEx};
  LONG frozen_ = 0;
  com::com_ptr<ITypeInfo> typeinfo_;
  bool failed_ = false;  // the last method failed with failure_
  bridge::AutomationError failure_{};

  com::com_ptr<IOleClientSite> site_;
  com::com_ptr<IOleAdviseHolder> oleadvise_;
  com::com_ptr<IAdviseSink> viewadvise_;
  DWORD viewadviseaspects_ = 0, viewadviseflags_ = 0;
  com::com_ptr<IOleInPlaceSite> inplacesite_;
  HWND face_ = nullptr;  // the design-time picture's window while in place
  bool inplace_ = false;
  bool snapping_ = false;

  friend class EventPoint;
};

// The control's fixed size: 560 by 560 twips, in HIMETRIC units.
constexpr LONG ExtentHimetric = (560 * 2540 + 720) / 1440;

}  // namespace control
