// What every case of the control's Wine tests shares: the checks and their
// count, the fixtures, a message pump, the event sink, a control with its
// connection, and helpers for registry, threads, deployment and message
// boxes.
#pragma once
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "ZelOggPlayer100.h"
#include "ZelOggPlayerEx.h"
#include "control/dispids.h"
#include "control/player.h"
#include "resources/resource.h"
#include "com/ptr.h"
#include "com/win.h"
#include "tools/hostsite.h"

namespace controltest {

extern int passed, failed;
extern std::wstring fixtures;
extern std::string capture;
// The folder the recording handler of http: and mailto: writes into (a
// file an address), when the driver set one up.
extern std::wstring openedfile;

// Prints "ok NAME" or "FAIL NAME: why" and counts it.
void check(bool ok, const std::string& name, const std::string& why = "");
std::string narrow(const std::wstring& text);
std::wstring fixture(const wchar_t* name);
// Pumps this thread's messages until the condition holds. The limit only
// guards against a hang: Wine under emulation is very slow.
bool pumpuntil(const std::function<bool()>& condition, DWORD limit = 300000);
// Pumps this thread's messages for `ms` milliseconds.
void pumpfor(DWORD ms);
// Whether the engine has left the process, pumping for a few seconds: a
// sound card's output keeps it while it lingers after its last sound.
bool engineleft();
// Whether the sink has played anything but silence so far, or since the
// byte offset `from` of the capture.
bool soundcaptured(long long from = 0);
// The bytes the sink has written so far: where the sound heard now will be.
long long capturedbytes();
// A line for the driver: where the capture stood when something was done
// (now, or the reading `at` taken then).
void mark(const char* what, double value = 0, long long at = -1);
// Waits until the sink has been silent for half a second (what earlier
// cases played has drained) and gives the capture's length then.
long long quietmark();
// Pumps until a timer of this thread, set now, has fired twice at the
// interval of the control's slowest timer: by then any timer the control
// left running has ticked, and whatever it would raise has been raised.
void lettimerstick();
std::string joined(const std::vector<std::string>& lines);

// ---- the cases ----

// Each case registers itself where it is defined:
//   ZEL_CASE(casedeploy, "deploy", Together, "what it checks") { ... }
// The driver (tests/wine/run.sh) runs the Together cases in one process, in
// the order "controltest --list" gives (each case sets up what it needs:
// none relies on another having run), and each Alone case in a step of its
// own (a fresh sound server, none at all, or after unregistering).
enum Schedule { Together, Alone };
struct Case {
  const wchar_t* name;
  Schedule schedule;
  const char* about;
  void (*run)();
};
const std::vector<Case>& cases();
bool addcase(const Case& entry);
#define ZEL_CASE(function, name, schedule, about)                                     \
  static void function();                                                             \
  static const bool function##_added = addcase({L##name, schedule, about, function}); \
  static void function()

// ---- the event sink ----

class Sink final : public ControlSink {
 public:
  explicit Sink(REFIID events = DIID___ZelOggPlay) : ControlSink(events) {}
  std::vector<std::string> events;
  DWORD thread = GetCurrentThreadId();
  bool wrongthread = false;
  std::function<void(const std::string&)> onevent;

  void Status(const std::wstring& status) override { add("Status " + narrow(status)); }
  void Finished() override { add("Finished"); }
  void FadeDone() override { add("FadeDone"); }
  void Marker(double seconds) override { add("Marker " + std::to_string(seconds)); }
  void NearEnd() override { add("NearEnd"); }
  void Queued() override { add("Queued"); }
  void CommentsChanged() override { add("CommentsChanged"); }
  void OggVorbisSettings(LONG rate, LONG bitrate, LONG channels, LONG version, const std::wstring& vendor) override {
    add("Settings " + std::to_string(rate) + " " + std::to_string(bitrate) + " " + std::to_string(channels) + " " +
        std::to_string(version) + " " + narrow(vendor));
  }
  void Progress(LONG seconds, const std::wstring& text) override {
    add("Progress " + std::to_string(seconds) + " " + narrow(text));
  }
  void TimePosition(LONG seconds, const std::wstring& text) override {
    add("TimePosition " + std::to_string(seconds) + " " + narrow(text));
  }
  void ErrorCode(LONG number, const std::wstring& text) override {
    add("ErrorCode " + std::to_string(number) + " " + narrow(text));
  }
  // Arguments not by reference, or not of their declared types.
  void Malformed(DISPID id) override { add("<malformed event " + std::to_string(id) + ">"); }

  bool has(const std::string& line) const {
    for (const auto& e : events)
      if (e == line) return true;
    return false;
  }
  // The events that are not times or settings, in order.
  std::vector<std::string> milestones() const {
    std::vector<std::string> out;
    for (const auto& e : events)
      if (e.rfind("Status", 0) == 0 || e == "Finished" || e.rfind("ErrorCode", 0) == 0) out.push_back(e);
    return out;
  }
  bool ended() const { return !events.empty() && events.back().rfind("ErrorCode", 0) == 0; }

 private:
  void add(const std::string& line) {
    if (GetCurrentThreadId() != thread) wrongthread = true;
    events.push_back(line);
    if (onevent) onevent(line);
  }
};

// Frees the texts an EXCEPINFO holds.
inline void clearexception(EXCEPINFO& exception) {
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  exception = EXCEPINFO{};
}

// ---- a control and its connection ----

struct Control {
  // The sink connects to __ZelOggPlay, or to the source interface given.
  explicit Control(REFIID events = DIID___ZelOggPlay) : source(events), sink(events) {}
  com::com_ptr<IUnknown> unknown;
  com::com_ptr<IDispatch> dispatch;
  com::com_ptr<IConnectionPoint> point;
  DWORD cookie = 0;
  IID source;
  Sink sink;

  bool create(REFCLSID clsid = CLSID_ZelOggPlay) {
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, unknown.put_void())))
      return false;
    dispatch = unknown.as<IDispatch>();
    auto container = unknown.as<IConnectionPointContainer>();
    if (!dispatch || !container || FAILED(container->FindConnectionPoint(source, point.put()))) return false;
    return SUCCEEDED(point->Advise(&sink, &cookie));
  }
  void release() {
    if (point) point->Unadvise(cookie);
    point.reset();
    dispatch.reset();
    unknown.reset();
  }
  ~Control() { release(); }

  // Calls a method by name through IDispatch, as script and late-bound
  // callers do; the text result, if any, goes to *text.
  HRESULT call(const wchar_t* method, const std::wstring* argument = nullptr, std::wstring* text = nullptr,
               EXCEPINFO* exception = nullptr) {
    com::variant result;
    const HRESULT hr = invoke(method, DISPATCH_METHOD, argument, result.get(), exception);
    if (text && V_VT(result.get()) == VT_BSTR) *text = V_BSTR(result.get()) ? V_BSTR(result.get()) : L"";
    return hr;
  }
  // A property of ZelOggPlayEx through IDispatch: read (with an optional
  // text argument, for Tag) and written.
  HRESULT get(const wchar_t* property, VARIANT* value, const std::wstring* argument = nullptr) {
    VariantInit(value);
    return invoke(property, DISPATCH_PROPERTYGET, argument, value, nullptr);
  }
  HRESULT put(const wchar_t* property, VARIANT value, EXCEPINFO* exception = nullptr) {
    return invoke(property, DISPATCH_PROPERTYPUT, nullptr, nullptr, exception, &value);
  }
  double number(const wchar_t* property) {
    com::variant value;
    if (FAILED(get(property, value.get())) || FAILED(VariantChangeType(value.get(), value.get(), 0, VT_R8))) return -1;
    return V_R8(value.get());
  }
  std::wstring text(const wchar_t* property, const wchar_t* argument = nullptr) {
    com::variant value;
    const std::wstring given = argument ? argument : L"";
    if (FAILED(get(property, value.get(), argument ? &given : nullptr)) || V_VT(value.get()) != VT_BSTR)
      return L"<no text>";
    return V_BSTR(value.get()) ? V_BSTR(value.get()) : L"";
  }
  HRESULT set(const wchar_t* property, double value, EXCEPINFO* exception = nullptr) {
    VARIANT v;
    V_VT(&v) = VT_R8;
    V_R8(&v) = value;
    return put(property, v, exception);
  }
  HRESULT setlong(const wchar_t* property, LONG value, EXCEPINFO* exception = nullptr) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return put(property, v, exception);
  }
  HRESULT setbool(const wchar_t* property, bool value) {
    VARIANT v;
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return put(property, v);
  }

  HRESULT play(const wchar_t* name) {
    const std::wstring path = fixture(name);
    return call(L"PlayFile", &path);
  }
  HRESULT open(const wchar_t* name) {
    const std::wstring path = fixture(name);
    return call(L"OpenFile", &path);
  }
  std::string status() {
    std::wstring text;
    call(L"GetStatus", nullptr, &text);
    return narrow(text);
  }
  bool waitend() { return pumpuntil([&] { return sink.ended(); }); }

 private:
  HRESULT invoke(const wchar_t* member, WORD flags, const std::wstring* argument, VARIANT* result,
                 EXCEPINFO* exception, VARIANT* putvalue = nullptr) {
    EXCEPINFO local = {};
    const HRESULT hr = InvokeByName(dispatch.get(), member, flags, argument ? argument->c_str() : nullptr, result,
                                    exception ? exception : &local, putvalue);
    if (!exception) clearexception(local);
    return hr;
  }
};

// ---- registry ----

std::wstring regvalue(HKEY root, const std::wstring& key, const wchar_t* name = nullptr);
bool regkey(HKEY root, const std::wstring& key);
std::wstring guid(REFGUID g);
// Whether a coclass's two interfaces are both marked default: `iface`, and
// the source interface `source` (whose function count goes to *events).
bool defaultinterfaces(ITypeInfo* coclass, REFIID iface, UINT* events = nullptr, REFIID source = DIID___ZelOggPlay);
// The vtable view behind a dual interface's dispatch description, and the
// interface that view derives from; false when either is missing.
bool vtableview(ITypeInfo* dual, com::com_ptr<ITypeInfo>& vtable, com::com_ptr<ITypeInfo>& base);
// Whether a dual interface's vtable view derives from `base` and holds
// `own` functions of its own after `before` slots (IDispatch's 7 and those
// of the interfaces it derives from).
bool dualafter(ITypeInfo* dual, REFIID base, UINT own, UINT before);

// ---- threads and the deployed engine ----

// Runs a body on a new apartment thread, pumping this thread's messages
// meanwhile: each thread has its own link to the engine, so it deploys again.
void onnewthread(const std::function<void()>& body);
std::wstring deployedpath();
FILETIME written(const std::wstring& path);
DWORD filesize(const std::wstring& path);
// The size of the engine the control carries.
DWORD carriedsize();

struct BoxWatcher {
  DWORD thread;
  HANDLE handle = nullptr;
  std::vector<std::string> texts;
  std::vector<std::string> captions;
  volatile bool stop = false;

  explicit BoxWatcher(DWORD t) : thread(t) { handle = CreateThread(nullptr, 0, Watch, this, 0, nullptr); }
  ~BoxWatcher() {
    stop = true;
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
  }

  static BOOL CALLBACK Found(HWND w, LPARAM p) {
    auto* self = reinterpret_cast<BoxWatcher*>(p);
    char cls[16] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (std::string(cls) != "#32770" || !IsWindowVisible(w)) return TRUE;
    char text[256] = {}, caption[256] = {};
    GetDlgItemTextA(w, 0xFFFF, text, sizeof text);
    GetWindowTextA(w, caption, sizeof caption);
    self->texts.push_back(text);
    self->captions.push_back(caption);
    PostMessageA(w, WM_COMMAND, IDOK, 0);
    while (IsWindow(w)) Sleep(20);
    return FALSE;
  }
  static DWORD WINAPI Watch(void* p) {
    auto* self = static_cast<BoxWatcher*>(p);
    while (!self->stop) {
      EnumThreadWindows(self->thread, Found, reinterpret_cast<LPARAM>(p));
      Sleep(20);
    }
    return 0;
  }
};

}  // namespace controltest
