// The control library under Wine: a test container of our own that uses
// zeloggplays100.ocx as real containers do, with the real engine, WINMM and
// a PulseAudio pipe sink. The shell driver (tests/wine/run.sh) registers
// the library first. Each check prints "ok NAME" or "FAIL NAME: why"; the
// last line counts them.
//   controltest FIXTURES-DIR CAPTURE-FILE CASE...
// Cases (run in the order given, in one process):
//   registry       the registration data, read back
//   typelib        the registered type library against the interface table
//   create         creation by CLSID and by ProgID; unsited use
//   container      site, activation, extent snap, picture drawn, persistence
//   play           events at a normal end, in order and on this thread (the
//                  driver compares what the sink received with the file)
//   openfile       silent until ResumePlayback; pause and resume as Status
//   paths          empty and missing paths; a failing file gives 23
//   playlist       the next file started from Finished is monitored
//   deploy         first use, identical file kept, changed file rewritten
//   unloadable     the message boxes when the engine cannot be loaded
//   unwritable     a temporary folder that cannot hold the engine: 5001
//   truncated      a deployed file cut short is rewritten and loads
//   locked         a different deployed file held open by another program is
//                  loaded as it is: a cut one gives the load failure's boxes
//   noexport       a library without interface1 there: the entry's boxes
//   twocontrols    two controls on one thread; releasing one keeps the engine
//   release-playing  releasing the last control while playing
//   atl            Wine's AtlAxWin container hosting the control by CLSID
//   about          the About box: layout, texts, fonts, caption, closing,
//                  events while open, and the links opened by the shell
//   soak           many files in a row (ZEL_SOAK_FILES, 60 by default): end
//                  events for each, no handle or memory growth
//   reload         the unused library unloads, and works when loaded again
//   vanish         the sound server stops during a file: ErrorCode 22
//   nodevice       no sound server: ErrorCode 29 (run without the daemon)
//   unregistered   after regsvr32 /u: nothing left, creation fails
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "ZelOggPlayer100.h"
#include "control/dispids.h"
#include "com/ptr.h"
#include "com/win.h"
#include "tools/hostsite.h"

namespace {

int passed = 0, failed = 0;
std::wstring fixtures;
std::string capture;

void check(bool ok, const std::string& name, const std::string& why = "") {
  if (ok) {
    ++passed;
    std::printf("ok %s\n", name.c_str());
  } else {
    ++failed;
    std::printf("FAIL %s: %s\n", name.c_str(), why.c_str());
  }
  std::fflush(stdout);
}

std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
  return out;
}

std::wstring fixture(const wchar_t* name) { return fixtures + L"\\" + name; }

// Pumps this thread's messages until the condition holds. The limit only
// guards against a hang: Wine under emulation is very slow.
bool pumpuntil(const std::function<bool()>& condition, DWORD limit = 300000) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > limit) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return true;
}

// Whether the sink has played anything but silence so far.
bool soundcaptured() {
  FILE* f = std::fopen(capture.c_str(), "rb");
  if (!f) return false;
  short buffer[4096];
  std::size_t n;
  bool any = false;
  while (!any && (n = std::fread(buffer, 2, 4096, f)) > 0)
    for (std::size_t i = 0; i < n; ++i) any |= buffer[i] != 0;
  std::fclose(f);
  return any;
}

// ---- the event sink ----

class Sink final : public HostSink {
 public:
  Sink() : HostSink(DIID___ZelOggPlay) {}
  std::vector<std::string> events;
  DWORD thread = GetCurrentThreadId();
  bool wrongthread = false;
  std::function<void(const std::string&)> onevent;

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    if (GetCurrentThreadId() != thread) wrongthread = true;
    std::string line;
    auto arg = [&](UINT i) -> VARIANT& { return p->rgvarg[p->cArgs - 1 - i]; };
    auto num = [&](UINT i) {
      return V_VT(&arg(i)) == (VT_BYREF | VT_I4) ? std::to_string(*V_I4REF(&arg(i))) : std::string("<not byref long>");
    };
    auto txt = [&](UINT i) {
      if (V_VT(&arg(i)) != (VT_BYREF | VT_BSTR)) return std::string("<not byref string>");
      const BSTR s = *V_BSTRREF(&arg(i));
      return narrow(s ? std::wstring(s, SysStringLen(s)) : std::wstring());
    };
    switch (id) {
      case ZEL_DISPID_STATUS: line = "Status " + txt(0); break;
      case ZEL_DISPID_FINISHED: line = "Finished"; break;
      case ZEL_DISPID_OGGVORBISSETTINGS: line = "Settings " + num(0) + " " + num(1) + " " + num(2) + " " + num(3) + " " + txt(4); break;
      case ZEL_DISPID_PROGRESS: line = "Progress " + num(0) + " " + txt(1); break;
      case ZEL_DISPID_TIMEPOSITION: line = "TimePosition " + num(0) + " " + txt(1); break;
      case ZEL_DISPID_ERRORCODE: line = "ErrorCode " + num(0) + " " + txt(1); break;
      default: return DISP_E_MEMBERNOTFOUND;
    }
    events.push_back(line);
    if (onevent) onevent(line);
    return S_OK;
  }

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
};

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += (out.empty() ? "" : " | ") + l;
  return out;
}

// ---- a control and its connection ----

struct Control {
  com::com_ptr<IUnknown> unknown;
  com::com_ptr<IDispatch> dispatch;
  com::com_ptr<IConnectionPoint> point;
  DWORD cookie = 0;
  Sink sink;

  bool create() {
    if (FAILED(CoCreateInstance(CLSID_ZelOggPlay, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, unknown.put_void())))
      return false;
    dispatch = unknown.as<IDispatch>();
    auto container = unknown.as<IConnectionPointContainer>();
    if (!dispatch || !container || FAILED(container->FindConnectionPoint(DIID___ZelOggPlay, point.put()))) return false;
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
    LPOLESTR name = const_cast<LPOLESTR>(method);
    DISPID id;
    HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    com::bstr value(argument ? argument->c_str() : L"");
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = value.get();
    DISPPARAMS params = {argument ? &arg : nullptr, nullptr, argument ? 1u : 0u, 0};
    com::variant result;
    EXCEPINFO local = {};
    hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(),
                          exception ? exception : &local, nullptr);
    if (text && V_VT(result.get()) == VT_BSTR) *text = V_BSTR(result.get()) ? V_BSTR(result.get()) : L"";
    if (!exception) {
      SysFreeString(local.bstrSource);
      SysFreeString(local.bstrDescription);
      SysFreeString(local.bstrHelpFile);
    }
    return hr;
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
};

// ---- registry ----

std::wstring regvalue(HKEY root, const std::wstring& key, const wchar_t* name = nullptr) {
  wchar_t data[1024];
  DWORD size = sizeof data;
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) return L"<none>";
  return data;
}

bool regkey(HKEY root, const std::wstring& key) {
  HKEY k;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

std::wstring guid(REFGUID g) {
  wchar_t text[40];
  StringFromGUID2(g, text, 40);
  return text;
}

void caseregistry() {
  const std::wstring clsid = L"CLSID\\" + guid(CLSID_ZelOggPlay);
  const std::wstring server = regvalue(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32");
  check(server.size() > 18 && _wcsicmp(server.c_str() + server.size() - 18, L"zeloggplays100.ocx") == 0,
        "registry: InprocServer32 names the library", narrow(server));
  check(regvalue(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", L"ThreadingModel") == L"Apartment",
        "registry: apartment threaded");
  check(regvalue(HKEY_CLASSES_ROOT, clsid + L"\\ProgID") == L"ZelOggPlayer100.ZelOggPlay", "registry: ProgID");
  check(regvalue(HKEY_CLASSES_ROOT, L"ZelOggPlayer100.ZelOggPlay\\CLSID") == guid(CLSID_ZelOggPlay),
        "registry: ProgID leads to the CLSID");
  check(regkey(HKEY_CLASSES_ROOT, clsid + L"\\Control"), "registry: marked as a control");
  check(regvalue(HKEY_CLASSES_ROOT, clsid + L"\\MiscStatus\\1") == L"132497", "registry: misc status 0x20591");
  const std::wstring bitmap = regvalue(HKEY_CLASSES_ROOT, clsid + L"\\ToolboxBitmap32");
  check(bitmap.size() > 7 && bitmap.substr(bitmap.size() - 7) == L", 30000", "registry: toolbox bitmap 30000",
        narrow(bitmap));
  check(regvalue(HKEY_CLASSES_ROOT, clsid + L"\\TypeLib") == guid(LIBID_ZelOggPlayer100), "registry: type library");
  check(regkey(HKEY_CLASSES_ROOT, clsid + L"\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}"),
        "registry: implements the control category");
  check(regkey(HKEY_CLASSES_ROOT, L"TypeLib\\" + guid(LIBID_ZelOggPlayer100) + L"\\17.0"),
        "registry: type library version 23.0 (hex 17.0)");
}

// ---- type library ----

struct Method {
  const wchar_t* name;
  MEMBERID id;
  VARTYPE argument;  // VT_EMPTY: none
  VARTYPE result;
};

// The numbers as hosts have them compiled in, written out rather than taken
// from control/dispids.h, so that a change there fails here.
const Method Methods[] = {
    {L"OpenFile", 0x60030000, VT_BSTR, VT_VARIANT},   {L"PlayFile", 0x60030001, VT_BSTR, VT_VARIANT},
    {L"GetStatus", 0x60030002, VT_EMPTY, VT_BSTR},    {L"PausePlayback", 0x60030003, VT_EMPTY, VT_VARIANT},
    {L"ResumePlayback", 0x60030004, VT_EMPTY, VT_VARIANT}, {L"CancelPlayback", 0x60030005, VT_EMPTY, VT_VARIANT},
    {L"ControlName", 0x6003000B, VT_EMPTY, VT_BSTR},  {L"About", 0x6003000C, VT_EMPTY, VT_VARIANT},
    {L"Goto_ZelSoftware", 0x6003000E, VT_EMPTY, VT_VARIANT},
};

struct Event {
  const wchar_t* name;
  std::vector<VARTYPE> parameters;  // all by reference
};

const Event Events[] = {
    {L"Status", {VT_BSTR}},
    {L"Finished", {}},
    {L"OggVorbisSettings", {VT_I4, VT_I4, VT_I4, VT_I4, VT_BSTR}},
    {L"Progress", {VT_I4, VT_BSTR}},
    {L"TimePosition", {VT_I4, VT_BSTR}},
    {L"ErrorCode", {VT_I4, VT_BSTR}},
};

std::wstring membername(ITypeInfo* info, MEMBERID id) {
  com::bstr name;
  info->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr);
  return name.get() ? name.get() : L"";
}

void casetypelib() {
  com::com_ptr<ITypeLib> lib;
  HRESULT hr = LoadRegTypeLib(LIBID_ZelOggPlayer100, 23, 0, 0x0409, lib.put());
  check(SUCCEEDED(hr), "typelib: registered library loads");
  if (!lib) return;
  TLIBATTR* attr;
  lib->GetLibAttr(&attr);
  check(attr->wMajorVerNum == 23 && attr->wMinorVerNum == 0 && attr->lcid == 0x0409 &&
            (attr->wLibFlags & LIBFLAG_FCONTROL),
        "typelib: version 23.0, LCID 0x0409, control library");
  lib->ReleaseTLibAttr(attr);
  com::bstr name, help;
  lib->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr);
  check(std::wstring(name.get()) == L"ZelOggPlayer100" && std::wstring(help.get()) == L"Zel OGG Vorbis Player OCX 1.0.0",
        "typelib: name and help string");

  com::com_ptr<ITypeInfo> coclass, iface, events;
  lib->GetTypeInfoOfGuid(CLSID_ZelOggPlay, coclass.put());
  lib->GetTypeInfoOfGuid(IID__ZelOggPlay, iface.put());
  lib->GetTypeInfoOfGuid(DIID___ZelOggPlay, events.put());
  check(coclass && iface && events, "typelib: coclass, interface and events present");
  if (!coclass || !iface || !events) return;
  TYPEATTR* ta;
  coclass->GetTypeAttr(&ta);
  const bool coclassok = ta->typekind == TKIND_COCLASS && (ta->wTypeFlags & TYPEFLAG_FCONTROL) &&
                         (ta->wTypeFlags & TYPEFLAG_FCANCREATE) && ta->wMajorVerNum == 1 && ta->cImplTypes == 2;
  coclass->ReleaseTypeAttr(ta);
  check(coclassok, "typelib: coclass ZelOggPlay 1.0, a creatable control with two interfaces");
  bool defaults = true;
  for (UINT i = 0; i < 2; ++i) {
    INT flags = 0;
    HREFTYPE ref;
    com::com_ptr<ITypeInfo> impl;
    coclass->GetImplTypeFlags(i, &flags);
    coclass->GetRefTypeOfImplType(i, &ref);
    coclass->GetRefTypeInfo(ref, impl.put());
    TYPEATTR* ia;
    impl->GetTypeAttr(&ia);
    const bool source = flags & IMPLTYPEFLAG_FSOURCE;
    defaults &= (flags & IMPLTYPEFLAG_FDEFAULT) && ia->guid == (source ? DIID___ZelOggPlay : IID__ZelOggPlay);
    impl->ReleaseTypeAttr(ia);
  }
  check(defaults, "typelib: default interface _ZelOggPlay, default source __ZelOggPlay");

  // Its dispatch view, and the vtable view behind it.
  iface->GetTypeAttr(&ta);
  const WORD wanted = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE;
  bool ifaceok = ta->typekind == TKIND_DISPATCH && (ta->wTypeFlags & wanted) == wanted && ta->cVars == 0;
  const UINT functions = ta->cFuncs;
  std::string seenflags = "dispatch view flags " + std::to_string(ta->wTypeFlags);
  iface->ReleaseTypeAttr(ta);
  HREFTYPE vtableref;
  com::com_ptr<ITypeInfo> vtable;
  if (SUCCEEDED(iface->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableref)) &&
      SUCCEEDED(iface->GetRefTypeInfo(vtableref, vtable.put()))) {
    vtable->GetTypeAttr(&ta);
    ifaceok = ifaceok && ta->typekind == TKIND_INTERFACE && (ta->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) &&
              (ta->wTypeFlags & wanted) == wanted && ta->cFuncs == 9;
    seenflags += ", vtable view flags " + std::to_string(ta->wTypeFlags);
    vtable->ReleaseTypeAttr(ta);
  } else {
    ifaceok = false;
  }
  check(ifaceok, "typelib: _ZelOggPlay is dual, hidden, non-extensible, automation", seenflags);
  // The dispatch view lists IDispatch's seven methods first.
  std::string mismatch;
  UINT seen = 0;
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* fd;
    iface->GetFuncDesc(i, &fd);
    const std::wstring name = membername(iface.get(), fd->memid);
    for (const Method& m : Methods) {
      if (name != m.name) continue;
      ++seen;
      const bool argok = m.argument == VT_EMPTY ? fd->cParams == 0
                                                : fd->cParams == 1 && fd->lprgelemdescParam[0].tdesc.vt == m.argument;
      if (fd->memid != m.id || !argok || fd->elemdescFunc.tdesc.vt != m.result || fd->invkind != INVOKE_FUNC)
        mismatch += narrow(name) + " ";
    }
    iface->ReleaseFuncDesc(fd);
  }
  check(seen == 9 && mismatch.empty(), "typelib: the nine methods with their DISPIDs, parameters and results",
        "seen " + std::to_string(seen) + ", wrong: " + mismatch);

  events->GetTypeAttr(&ta);
  const bool eventsok = ta->typekind == TKIND_DISPATCH && (ta->wTypeFlags & TYPEFLAG_FHIDDEN) && ta->cFuncs == 6;
  events->ReleaseTypeAttr(ta);
  check(eventsok, "typelib: __ZelOggPlay is a hidden dispinterface of six events");
  mismatch.clear();
  for (UINT i = 0; i < 6; ++i) {
    FUNCDESC* fd;
    events->GetFuncDesc(i, &fd);
    const Event& e = Events[fd->memid >= 1 && fd->memid <= 6 ? fd->memid - 1 : 0];
    bool ok = membername(events.get(), fd->memid) == e.name && fd->cParams == static_cast<SHORT>(e.parameters.size()) &&
              fd->elemdescFunc.tdesc.vt == VT_VOID;
    for (SHORT p = 0; ok && p < fd->cParams; ++p) {
      const TYPEDESC& t = fd->lprgelemdescParam[p].tdesc;
      ok = t.vt == VT_PTR && t.lptdesc->vt == e.parameters[p];
    }
    if (!ok) mismatch += narrow(e.name) + " ";
    events->ReleaseFuncDesc(fd);
  }
  check(mismatch.empty(), "typelib: events 1 to 6 with every parameter by reference", mismatch);
}

// ---- creation ----

void casecreate() {
  com::com_ptr<IUnknown> byclsid, byprogid;
  check(SUCCEEDED(CoCreateInstance(CLSID_ZelOggPlay, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, byclsid.put_void())),
        "create: by CLSID");
  CLSID clsid;
  const bool known = SUCCEEDED(CLSIDFromProgID(L"ZelOggPlayer100.ZelOggPlay", &clsid)) && clsid == CLSID_ZelOggPlay;
  check(known && SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, byprogid.put_void())),
        "create: by ProgID");
  auto dual = byclsid.as<_ZelOggPlay>();
  com::bstr name;
  check(dual && SUCCEEDED(dual->ControlName(name.put())) && std::wstring(name.get()) == L"Zel OGG Vorbis Player OCX 1.0.0",
        "create: ControlName through the dual interface");
  check(GetModuleHandleW(L"zelov.dll") == nullptr, "create: ControlName leaves the engine alone");
  // Unsited, as a script creates it: methods and events still work.
  Control c;
  check(c.create() && c.status() == "stop", "create: unsited control answers GetStatus with stop");
  auto info = c.unknown.as<IProvideClassInfo2>();
  GUID events = GUID_NULL;
  check(info && SUCCEEDED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events)) && events == DIID___ZelOggPlay,
        "create: IProvideClassInfo2 names the event interface");
  auto support = c.unknown.as<ISupportErrorInfo>();
  check(support && support->InterfaceSupportsErrorInfo(IID__ZelOggPlay) == S_OK, "create: supports error info");
}

// ---- container ----

void casecontainer() {
  HWND form = CreateWindowExW(0, L"STATIC", L"form", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr,
                              nullptr);
  HostSite site(form, RECT{10, 10, 143, 77});  // 2000 by 1000 twips at 96 dpi
  site.usermode = false;                         // a form in design mode
  Control c;
  check(c.create(), "container: created");
  auto object = c.unknown.as<IOleObject>();
  DWORD misc = 0;
  check(object && SUCCEEDED(object->GetMiscStatus(DVASPECT_CONTENT, &misc)) && misc == 0x20591,
        "container: misc status 0x20591");
  check(SUCCEEDED(object->SetClientSite(&site)), "container: client site set first");
  auto persist = c.unknown.as<IPersistStreamInit>();
  CLSID clsid = GUID_NULL;
  check(persist && SUCCEEDED(persist->InitNew()) && SUCCEEDED(persist->GetClassID(&clsid)) && clsid == CLSID_ZelOggPlay,
        "container: InitNew and the class id from IPersistStreamInit");
  check(c.unknown.as<IPersistPropertyBag>() && persist->IsDirty() == S_FALSE, "container: property bag, never dirty");
  SIZEL asked = {3528, 1764};  // 2000 by 1000 twips
  SIZEL extent = {};
  check(SUCCEEDED(object->SetExtent(DVASPECT_CONTENT, &asked)) && SUCCEEDED(object->GetExtent(DVASPECT_CONTENT, &extent)) &&
            extent.cx == 988 && extent.cy == 988,
        "container: SetExtent keeps 560 by 560 twips", std::to_string(extent.cx) + "x" + std::to_string(extent.cy));
  RECT rect = {10, 10, 143, 77};
  check(SUCCEEDED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, form, &rect)) && site.activated,
        "container: in-place activation");
  auto inplace = c.unknown.as<IOleInPlaceObject>();
  HWND face = nullptr;
  check(inplace && SUCCEEDED(inplace->GetWindow(&face)) && face && GetParent(face) == form &&
            (GetWindowLongW(face, GWL_STYLE) & WS_VISIBLE),
        "container: design-time face window on the form");
  if (inplace) inplace->SetObjectRects(&rect, &rect);
  const int width = site.posrect.right - site.posrect.left, height = site.posrect.bottom - site.posrect.top;
  check(site.posrectchanges > 0 && width == height && width >= 36 && width <= 38,
        "container: a resize snaps back to 560 by 560 twips",
        std::to_string(width) + "x" + std::to_string(height));

  // The picture, drawn into a white bitmap.
  auto view = c.unknown.as<IViewObject2>();
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP target = CreateCompatibleBitmap(screen, 100, 100);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, target);
  RECT all = {0, 0, 100, 100};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  RECTL bounds = {0, 0, 100, 100};
  const HRESULT drawn = view ? view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0)
                             : E_NOINTERFACE;
  const COLORREF corner = GetPixel(dc, 0, 0), magnet = GetPixel(dc, 8, 18), outside = GetPixel(dc, 60, 60);
  check(SUCCEEDED(drawn) && corner == RGB(192, 192, 192) && magnet == RGB(64, 64, 64) && outside == RGB(255, 255, 255),
        "container: IViewObject::Draw paints the 39 by 37 loudspeaker at the top left");
  SelectObject(dc, old);
  DeleteObject(target);
  DeleteDC(dc);

  c.play(L"short.ogg");
  check(c.waitend() && c.sink.has("ErrorCode 0 No error"), "container: a sited control plays to its end");
  check(SUCCEEDED(inplace->InPlaceDeactivate()) && !site.activated && !IsWindow(face),
        "container: deactivation removes the face");
  object->Close(OLECLOSE_NOSAVE);
  object->SetClientSite(nullptr);

  // At run time the control is invisible.
  HostSite running(form, RECT{10, 10, 143, 77});
  Control r;
  r.create();
  auto runobject = r.unknown.as<IOleObject>();
  runobject->SetClientSite(&running);
  runobject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &running, 0, form, &rect);
  HWND runface = nullptr;
  auto runinplace = r.unknown.as<IOleInPlaceObject>();
  const bool hidden = !runinplace || FAILED(runinplace->GetWindow(&runface)) || !runface ||
                      !(GetWindowLongW(runface, GWL_STYLE) & WS_VISIBLE);
  check(hidden, "container: in a running form the control shows nothing");
  runobject->Close(OLECLOSE_NOSAVE);
  runobject->SetClientSite(nullptr);
  DestroyWindow(form);
}

// ---- playback ----

void caseplay() {
  Control c;
  c.create();
  check(SUCCEEDED(c.play(L"stereo44100.ogg")), "play: PlayFile");
  check(c.waitend(), "play: ends");
  const std::vector<std::string> expected = {"Status playing", "Status stop", "Finished", "ErrorCode 0 No error"};
  check(c.sink.milestones() == expected, "play: Status playing, stop, Finished, ErrorCode 0 in order",
        joined(c.sink.milestones()));
  bool settings = false;
  for (const auto& e : c.sink.events) settings |= e.rfind("Settings 44100 ", 0) == 0 && e.find(" 2 0 Xiph.Org") != std::string::npos;
  check(settings, "play: OggVorbisSettings 44100 Hz, 2 channels, version 0, the vendor", joined(c.sink.events));
  check(c.sink.has("TimePosition 3 00:00:03"), "play: TimePosition gives the length");
  check(!c.sink.wrongthread, "play: events arrive on the calling thread");
  const std::size_t count = c.sink.events.size();
  pumpuntil([] { return false; }, 1500);
  check(c.sink.events.size() == count, "play: nothing after the end");
}

void caseopenfile() {
  Control c;
  c.create();
  // The capture is still silent: this case runs before any other sound.
  c.open(L"long.ogg");
  pumpuntil([&] { return c.sink.has("Status playing"); });
  pumpuntil([] { return false; }, 3000);
  check(c.status() == "playing" && !soundcaptured(), "openfile: playing yet silent until ResumePlayback");
  c.call(L"ResumePlayback");
  check(pumpuntil([] { return soundcaptured(); }), "openfile: sound after ResumePlayback");
  c.call(L"PausePlayback");
  check(pumpuntil([&] { return c.sink.has("Status paused"); }) && c.status() == "paused", "openfile: paused");
  c.call(L"ResumePlayback");
  check(pumpuntil([&] { return c.sink.milestones().back() == "Status playing"; }), "openfile: playing again");
  c.call(L"CancelPlayback");
  const std::size_t count = c.sink.milestones().size();
  pumpuntil([] { return false; }, 1500);
  check(c.status() == "stop" && c.sink.milestones().size() == count, "openfile: cancel raises nothing");
}

void casepaths() {
  Control c;
  c.create();
  const std::wstring empty;
  c.call(L"OpenFile", &empty);
  check(c.sink.milestones() == std::vector<std::string>{"Finished", "ErrorCode 3 The input file is empty "},
        "paths: empty path gives Finished and 3", joined(c.sink.milestones()));
  c.sink.events.clear();
  c.play(L"no-such-file.ogg");
  check(c.sink.milestones() == std::vector<std::string>{"Finished", "ErrorCode 5 The input file or path is invalid"},
        "paths: missing file gives Finished and 5", joined(c.sink.milestones()));
  c.sink.events.clear();
  c.play(L"garbage-large.bin");
  check(c.waitend() && c.sink.events.back() == "ErrorCode 23 Input does not appear to be an Ogg bitstream",
        "paths: the engine's failure arrives as 23", joined(c.sink.events));
}

void caseplaylist() {
  Control c;
  c.create();
  int started = 0;
  c.sink.onevent = [&](const std::string& line) {
    if (line == "Finished" && started++ == 0) c.play(L"short.ogg");
  };
  c.play(L"short.ogg");
  const bool both = pumpuntil([&] {
    int ends = 0;
    for (const auto& e : c.sink.events) ends += e == "ErrorCode 0 No error";
    return ends == 2;
  });
  check(both, "playlist: the file started from Finished plays and is monitored to its end", joined(c.sink.milestones()));
}

// ---- deployment and loading ----

std::wstring deployedpath() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"ZelSoftware\\zelov.dll";
}

FILETIME written(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

// Runs a body on a new apartment thread: each thread has its own link to
// the engine, so it deploys again.
DWORD WINAPI RunBody(void* body) {
  CoInitialize(nullptr);
  (*static_cast<const std::function<void()>*>(body))();
  CoUninitialize();
  return 0;
}

void onnewthread(const std::function<void()>& body) {
  HANDLE thread = CreateThread(nullptr, 0, RunBody, const_cast<std::function<void()>*>(&body), 0, nullptr);
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  CloseHandle(thread);
}

DWORD filesize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.nFileSizeLow;
}

DWORD carriedsize() {
  HMODULE self = GetModuleHandleW(L"zeloggplays100.ocx");
  HRSRC engine = FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(10));
  return engine ? SizeofResource(self, engine) : 0;
}

void casedeploy() {
  const std::wstring path = deployedpath();
  // Earlier cases deployed the engine; begin again from nothing.
  DeleteFileW(path.c_str());
  RemoveDirectoryW(path.substr(0, path.size() - 9).c_str());
  onnewthread([&] {
    Control c;
    c.create();
    check(c.status() == "stop" && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES,
          "deploy: first use writes the engine into ZelSoftware");
  });
  const FILETIME first = written(path);
  Sleep(1100);
  onnewthread([&] {
    Control c;
    c.create();
    c.status();
  });
  const FILETIME again = written(path);
  check(CompareFileTime(&first, &again) == 0, "deploy: an identical file is left untouched");
  // One byte more: the file differs and is written anew.
  HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD put;
  WriteFile(f, "x", 1, &put, nullptr);
  CloseHandle(f);
  onnewthread([&] {
    Control c;
    c.create();
    check(c.status() == "stop", "deploy: a changed file is rewritten and loads");
  });
  check(carriedsize() != 0 && filesize(path) == carriedsize(), "deploy: the rewritten file has the carried size");
}

// Finds the message boxes the watched thread shows, reads them and
// presses OK.
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

void caseunloadable() {
  // A folder where the engine file should be: it cannot be written or loaded.
  const std::wstring path = deployedpath();
  onnewthread([&] {
    DeleteFileW(path.c_str());
    CreateDirectoryW(path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
    CreateDirectoryW(path.c_str(), nullptr);
    BoxWatcher watcher(GetCurrentThreadId());
    Control c;
    c.create();
    const std::string status = c.status();
    Sleep(500);
    check(status == "stop" && watcher.texts == std::vector<std::string>{"error loading the dll", "error loading the dll"},
          "unloadable: the load failure is told twice for one method", joined(watcher.texts));
    check(!watcher.captions.empty() && watcher.captions[0] == "Zel OGG Vorbis Player OCX 1.0.0",
          "unloadable: the boxes carry the application title");
    // A file opened without an engine ends at once, and no timer goes on
    // asking the missing engine.
    c.play(L"short.ogg");
    const std::vector<std::string> ended = c.sink.milestones();
    pumpuntil([] { return false; }, 1500);
    watcher.stop = true;
    check(watcher.texts.size() == 4 && c.sink.milestones() == ended &&
              ended == std::vector<std::string>{"Finished", "ErrorCode 255 Unexpected error"},
          "unloadable: PlayFile tells it twice and ends the file at once with 255",
          joined(c.sink.events) + " / " + std::to_string(watcher.texts.size()) + " boxes");
    RemoveDirectoryW(path.c_str());
  });
}

// Deploys the engine, then cuts the deployed file to its first 1000 bytes.
void cutdeployed() {
  onnewthread([] {
    Control c;
    c.create();
    c.status();
  });
  HANDLE f = CreateFileW(deployedpath().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFilePointer(f, 1000, nullptr, FILE_BEGIN);
  SetEndOfFile(f);
  CloseHandle(f);
}

// Opens the deployed file as another program would hold it: others may read
// it (and load it), not replace or delete it.
HANDLE holddeployed() {
  return CreateFileW(deployedpath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The message boxes that GetStatus on a new control of a new thread shows.
std::vector<std::string> statusboxes(std::string& status) {
  std::vector<std::string> texts;
  onnewthread([&] {
    BoxWatcher watcher(GetCurrentThreadId());
    Control c;
    c.create();
    status = c.status();
    watcher.stop = true;
    texts = watcher.texts;
  });
  return texts;
}

void casetruncated() {
  cutdeployed();
  onnewthread([&] {
    Control c;
    c.create();
    check(c.status() == "stop", "truncated: a cut deployed file is rewritten and loads");
  });
  check(filesize(deployedpath()) == carriedsize(), "truncated: it has the carried size again");
}

void caselocked() {
  cutdeployed();
  HANDLE holder = holddeployed();
  std::string status;
  const std::vector<std::string> texts = statusboxes(status);
  check(status == "stop" && texts == std::vector<std::string>{"error loading the dll", "error loading the dll"},
        "locked: a held, cut file is loaded as it is and fails to load", joined(texts));
  check(filesize(deployedpath()) == 1000, "locked: the held file is left as it was");
  CloseHandle(holder);
  DeleteFileW(deployedpath().c_str());
}

void casenoexport() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring library = self;
  library = library.substr(0, library.rfind(L'\\') + 1) + L"noexport.dll";
  const std::wstring path = deployedpath();
  DeleteFileW(path.c_str());
  CopyFileW(library.c_str(), path.c_str(), FALSE);
  HANDLE holder = holddeployed();
  std::string status;
  const std::vector<std::string> texts = statusboxes(status);
  const std::string missing = "error locating the interface1 function ";
  check(status == "stop" && texts == std::vector<std::string>{missing, missing},
        "noexport: a library without interface1 is told twice for one method", joined(texts));
  CloseHandle(holder);
  // The library was let go with the control: nothing holds it now.
  check(GetModuleHandleW(path.c_str()) == nullptr && DeleteFileW(path.c_str()),
        "noexport: the library is released with the last control");
}

void caseunwritable() {
  onnewthread([&] {
    wchar_t saved[MAX_PATH];
    GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    // A temporary folder below an ordinary file cannot be created.
    const std::wstring blocker = fixture(L"short.ogg") + L"\\below\\";
    SetEnvironmentVariableW(L"TMP", blocker.c_str());
    SetEnvironmentVariableW(L"TEMP", blocker.c_str());
    Control c;
    c.create();
    EXCEPINFO exception = {};
    const std::wstring path = fixture(L"short.ogg");
    const HRESULT hr = c.call(L"PlayFile", &path, nullptr, &exception);
    const std::wstring description = exception.bstrDescription ? exception.bstrDescription : L"";
    check(hr == DISP_E_EXCEPTION && exception.scode == MAKE_HRESULT(1, FACILITY_CONTROL, 5001) &&
              (exception.scode & 0xffff) == 5001,
          "unwritable: PlayFile fails with error 5001");
    check(description == L"Unexpected error , please contact the developer support@zel.example",
          "unwritable: with the unexpected-error description", narrow(description));
    auto dual = c.unknown.as<_ZelOggPlay>();
    VARIANT result;
    com::bstr p(path.c_str());
    const HRESULT direct = dual->PlayFile(p.get(), &result);
    com::com_ptr<IErrorInfo> info;
    com::bstr text;
    check(direct == MAKE_HRESULT(1, FACILITY_CONTROL, 5001) && GetErrorInfo(0, info.put()) == S_OK &&
              SUCCEEDED(info->GetDescription(text.put())) && std::wstring(text.get()) == description,
          "unwritable: the dual interface returns it with an error object");
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    SetEnvironmentVariableW(L"TMP", saved);
    SetEnvironmentVariableW(L"TEMP", saved);
  });
}

// ---- lifetimes ----

void casetwocontrols() {
  onnewthread([&] {
    Control first, second;
    first.create();
    second.create();
    first.status();
    check(GetModuleHandleW(L"zelov.dll") != nullptr, "twocontrols: the engine is loaded");
    first.release();
    second.play(L"short.ogg");
    check(second.waitend() && second.sink.has("ErrorCode 0 No error"),
          "twocontrols: the other control plays after the first ended");
    second.release();
    check(GetModuleHandleW(L"zelov.dll") == nullptr, "twocontrols: the last one releases the engine");
  });
}

// Two apartments, a control in each: the engine plays one file per process.
// The control whose file the other one cut short says so, and nothing more;
// the last control of a thread leaves the other thread's file playing.
struct Apartment {
  HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE finish = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // events are in
  std::vector<std::string> events;
  ~Apartment() {
    CloseHandle(done);
    CloseHandle(started);
    CloseHandle(finish);
  }
};

DWORD WINAPI SecondApartment(void* p) {
  auto* a = static_cast<Apartment*>(p);
  CoInitialize(nullptr);
  {
    Control c;
    c.create();
    c.play(L"stereo44100.ogg");
    SetEvent(a->started);
    c.waitend();
    a->events = c.sink.milestones();
    SetEvent(a->done);
    // Kept until the first thread has looked at its own file again.
    WaitForSingleObject(a->finish, 60000);
  }
  CoUninitialize();
  return 0;
}

void casetwoapartments() {
  Control first;
  first.create();
  first.play(L"long.ogg");
  pumpuntil([&] { return first.sink.has("Status playing"); });
  Apartment second;
  HANDLE thread = CreateThread(nullptr, 0, SecondApartment, &second, 0, nullptr);
  WaitForSingleObject(second.started, 60000);
  check(pumpuntil([&] { return first.sink.ended(); }, 60000) &&
            first.sink.milestones() ==
                std::vector<std::string>{"Status playing", "Finished", "ErrorCode 255 Unexpected error"},
        "twoapartments: the file cut short by another thread's control ends with 255",
        joined(first.sink.milestones()));
  check(first.status() == "stop", "twoapartments: and its GetStatus says stop");
  const std::size_t count = first.sink.events.size();
  pumpuntil([&] { return WaitForSingleObject(second.done, 0) == WAIT_OBJECT_0; }, 60000);
  check(second.events == std::vector<std::string>{"Status playing", "Status stop", "Finished", "ErrorCode 0 No error"},
        "twoapartments: the other control's file plays to its end", joined(second.events));
  check(first.sink.events.size() == count, "twoapartments: the first control reports nothing of it");
  SetEvent(second.finish);
  WaitForSingleObject(thread, 60000);
  CloseHandle(thread);

  // Now the other way round: this thread plays, and the other thread's last
  // control goes.
  first.play(L"long.ogg");
  pumpuntil([&] { return first.status() == "playing"; });
  onnewthread([] {
    Control c;
    c.create();
    c.status();
  });
  pumpuntil([] { return false; }, 1000);
  check(first.status() == "playing", "twoapartments: the last control of another thread leaves this file playing");
  first.call(L"CancelPlayback");
}

void casereleaseplaying() {
  onnewthread([&] {
    Control c;
    c.create();
    c.play(L"long.ogg");
    pumpuntil([&] { return c.sink.has("Status playing"); });
    c.release();
    check(GetModuleHandleW(L"zelov.dll") == nullptr, "release-playing: the engine is released after cancelling");
    Control again;
    again.create();
    check(again.status() == "stop", "release-playing: a later control loads the engine again");
  });
}

// ---- Wine's own container ----

void caseatl() {
  HMODULE atl = LoadLibraryW(L"atl.dll");
  auto init = reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
  auto get = reinterpret_cast<HRESULT(WINAPI*)(HWND, IUnknown**)>(
      reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
  check(init && get && init(), "atl: AtlAxWin available");
  if (!init || !get) return;
  const std::wstring name = guid(CLSID_ZelOggPlay);
  HWND host = CreateWindowExW(0, L"AtlAxWin", name.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, nullptr, nullptr,
                              nullptr, nullptr);
  com::com_ptr<IUnknown> control;
  check(host && SUCCEEDED(get(host, control.put())) && control, "atl: AtlAxWin hosts the control by CLSID");
  if (!control) return;
  Control c;
  c.unknown = control;
  c.dispatch = control.as<IDispatch>();
  auto container = control.as<IConnectionPointContainer>();
  if (container && SUCCEEDED(container->FindConnectionPoint(DIID___ZelOggPlay, c.point.put())))
    c.point->Advise(&c.sink, &c.cookie);
  c.play(L"short.ogg");
  check(c.waitend() && c.sink.milestones().back() == "ErrorCode 0 No error", "atl: plays a file to its end with events",
        joined(c.sink.milestones()));
  c.release();
  DestroyWindow(host);
}

// ---- the About box ----

// What a watcher thread saw of the About box, and what it did.
struct AboutWatch {
  explicit AboutWatch(DWORD t) : thread(t) {}
  DWORD thread;
  std::vector<std::string> failures;  // checks of the form that failed
  std::string caption;
  bool seen = false;
  volatile bool playbackended = false;  // set by the event sink
  bool endedwhileopen = false;
  bool clicklinks = false;
  bool useclosebox = false;
};

BOOL CALLBACK FindAbout(HWND window, LPARAM out) {
  wchar_t name[32];
  if (GetClassNameW(window, name, 32) && lstrcmpW(name, L"ZelOggPlayAbout") == 0 && IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(out) = window;
    return FALSE;
  }
  return TRUE;
}

void inspectabout(AboutWatch& w, HWND form) {
  auto expect = [&](bool ok, const std::string& what) {
    if (!ok) w.failures.push_back(what);
  };
  char text[512] = {};
  GetWindowTextA(form, text, sizeof text);
  w.caption = text;
  HDC screen = GetDC(nullptr);
  const int dpix = GetDeviceCaps(screen, LOGPIXELSX), dpiy = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  auto px = [&](int twips) { return MulDiv(twips, dpix, 1440); };
  auto py = [&](int twips) { return MulDiv(twips, dpiy, 1440); };
  const LONG style = GetWindowLongW(form, GWL_STYLE);
  expect((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU) && !(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)),
         "style: caption and close box, no minimize or maximize");
  expect(GetWindow(form, GW_OWNER) == nullptr, "no owner");
  RECT client;
  GetClientRect(form, &client);
  expect(client.right == px(4905) && client.bottom == py(3660), "client area 4905 by 3660 twips");
  RECT outer;
  GetWindowRect(form, &outer);
  const int cx = (outer.left + outer.right) / 2, cy = (outer.top + outer.bottom) / 2;
  expect(std::abs(cx - GetSystemMetrics(SM_CXSCREEN) / 2) <= 1 && std::abs(cy - GetSystemMetrics(SM_CYSCREEN) / 2) <= 1,
         "centred on the screen");
  expect(SendMessageW(form, WM_GETICON, ICON_BIG, 0) != 0 || GetClassLongPtrW(form, GCLP_HICON) != 0, "has an icon");

  struct Expected {
    int id;
    const char* cls;
    const char* text;
    int left, top, width, height;
    int hundredthpoints;
    bool underline;
  };
  static const std::string description =
      "ActiveX OCX to play OGG Vorbis media files , the OGG Vorbis format can store the same quality of an MP3 128 "
      "kbits in 64 kbits , even 48 kbits will provide a good quality in the playback , the technology used in OGG "
      "Vorbis is a lot better than MP3 and WMA and unencumbered of patents\r\n";
  const Expected children[] = {
      {101, "Static", "Zel Software", 480, 240, 3855, 375, 1350, false},
      {102, "Static", "http://www.zel.example", 1440, 720, 2535, 255, 825, true},
      {103, "Static", "support@zel.example", 1440, 960, 2295, 255, 825, true},
      {104, "Edit", description.c_str(), 480, 1680, 3855, 1335, 825, false},
      {105, "Button", "Exit", 3000, 3120, 1335, 375, 825, false},
      {106, "Static", nullptr, 120, 3360, 2295, 255, 825, false},
  };
  expect(description.size() == 284, "the description is 284 characters");
  for (const Expected& e : children) {
    HWND child = GetDlgItem(form, e.id);
    const std::string name = "control " + std::to_string(e.id);
    if (!child) {
      expect(false, name + " exists");
      continue;
    }
    char cls[32] = {};
    GetClassNameA(child, cls, sizeof cls);
    expect(_stricmp(cls, e.cls) == 0, name + " is a " + e.cls);
    std::string value(static_cast<std::size_t>(GetWindowTextLengthA(child)), '\0');
    GetWindowTextA(child, value.data(), static_cast<int>(value.size() + 1));
    expect(e.text ? value == e.text : value.find("Zel Software") != std::string::npos, name + " text");
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
    expect(r.left == px(e.left) && r.top == py(e.top) && r.right - r.left == px(e.width) &&
               r.bottom - r.top == py(e.height),
           name + " position");
    LOGFONTA font = {};
    HFONT hfont = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
    expect(hfont && GetObjectA(hfont, sizeof font, &font) && std::string(font.lfFaceName) == "MS Sans Serif" &&
               font.lfHeight == -MulDiv(e.hundredthpoints, dpiy, 7200) && (font.lfUnderline != 0) == e.underline,
           name + " font");
  }
  // Tab order: the text box is the first control that takes the focus.
  HWND first = GetWindow(form, GW_CHILD);
  while (first && !(GetWindowLongW(first, GWL_STYLE) & WS_TABSTOP)) first = GetWindow(first, GW_HWNDNEXT);
  expect(first == GetDlgItem(form, 104), "the text box is first in the tab order");
}

DWORD WINAPI WatchAbout(void* p) {
  auto& w = *static_cast<AboutWatch*>(p);
  HWND form = nullptr;
  const DWORD start = GetTickCount();
  while (!form && GetTickCount() - start < 60000) {
    EnumThreadWindows(w.thread, FindAbout, reinterpret_cast<LPARAM>(&form));
    if (!form) Sleep(20);
  }
  if (!form) return 0;
  w.seen = true;
  inspectabout(w, form);
  if (w.clicklinks) {
    // The form's timers-and-events loop goes on: the playback ends while it is open.
    while (!w.playbackended && IsWindow(form) && GetTickCount() - start < 300000) Sleep(20);
    w.endedwhileopen = w.playbackended && IsWindow(form);
    PostMessageW(form, WM_COMMAND, MAKEWPARAM(102, STN_CLICKED), 0);
    PostMessageW(form, WM_COMMAND, MAKEWPARAM(103, STN_CLICKED), 0);
  }
  if (w.useclosebox)
    PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
  else
    PostMessageW(form, WM_COMMAND, MAKEWPARAM(105, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(form, 105)));
  return 0;
}

// Lines the recording handler of http: and mailto: wrote.
std::vector<std::string> recorded(const std::wstring& path) {
  std::vector<std::string> lines;
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return lines;
  char line[512];
  while (std::fgets(line, sizeof line, f)) {
    std::string l = line;
    while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
    lines.push_back(l);
  }
  std::fclose(f);
  return lines;
}

std::wstring openedfile;  // where the recording handler writes, when the driver set one up

void caseabout() {
  Control c;
  c.create();
  c.call(L"ControlName");
  AboutWatch first(GetCurrentThreadId());
  first.clicklinks = true;
  c.sink.onevent = [&](const std::string& line) {
    if (line.rfind("ErrorCode", 0) == 0) first.playbackended = true;
  };
  c.play(L"stereo44100.ogg");
  HANDLE watcher = CreateThread(nullptr, 0, WatchAbout, &first, 0, nullptr);
  const HRESULT hr = c.call(L"About");
  WaitForSingleObject(watcher, INFINITE);
  CloseHandle(watcher);
  check(SUCCEEDED(hr) && first.seen, "about: About shows the form and returns when it closes");
  check(first.failures.empty(), "about: the form's layout, texts, fonts and style", joined(first.failures));
  check(first.caption == "Zel OGG Vorbis Player OCX 1.0.0", "about: caption set on load", first.caption);
  check(first.endedwhileopen && c.sink.milestones().back() == "ErrorCode 0 No error",
        "about: the control's timers and events go on while it is open", joined(c.sink.milestones()));

  AboutWatch second(GetCurrentThreadId());
  second.useclosebox = true;
  watcher = CreateThread(nullptr, 0, WatchAbout, &second, 0, nullptr);
  c.call(L"About");
  WaitForSingleObject(watcher, INFINITE);
  CloseHandle(watcher);
  check(second.seen && second.caption == "Zel OGG Vorbis Player OCX 1.0.0",
        "about: a second About, closed by its close box, has the caption again");

  if (!openedfile.empty()) {
    c.call(L"Goto_ZelSoftware");
    std::vector<std::string> lines;
    pumpuntil([&] { return (lines = recorded(openedfile)).size() >= 3; }, 60000);
    std::sort(lines.begin(), lines.end());
    check(lines == std::vector<std::string>{"http://www.zel.example", "http://www.zel.example",
                                            "mailto:support@zel.example"},
          "about: the web site (twice) and a mailto: address reach the shell's handlers", joined(lines));
  }
}

// ---- soak ----

struct Usage {
  long handles = 0;
  long long heapbytes = 0;
};

// Counted directly, since Wine answers the usual counters with 0: the
// handle values that name an open handle, and the bytes in use in every
// heap of the process.
Usage usage() {
  Usage u;
  for (uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++u.handles;
  }
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  for (DWORD i = 0; i < count && i < 64; ++i) {
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(heaps[i]);
    while (HeapWalk(heaps[i], &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) u.heapbytes += entry.cbData;
    HeapUnlock(heaps[i]);
  }
  return u;
}

// Many files in a row through one control: good and broken files, pauses
// and resumes, cancels, and playlist starts from Finished. Every file that
// ends must bring its end events; handles and memory must not grow.
//   ZEL_SOAK_FILES sets the number of files (60 by default).
void casesoak() {
  wchar_t value[16] = L"60";
  GetEnvironmentVariableW(L"ZEL_SOAK_FILES", value, 16);
  const int files = std::max(12, _wtoi(value));
  Control c;
  c.create();
  int missing = 0, started = 0;
  bool chain = false;
  c.sink.onevent = [&](const std::string& line) {
    if (line == "Finished" && chain) {
      chain = false;
      c.play(L"short.ogg");
    }
  };
  auto endings = [&](const std::string& error) {
    int n = 0;
    for (const auto& e : c.sink.events) n += e == error;
    return n;
  };
  auto expectend = [&](const std::string& error, int count) {
    if (!pumpuntil([&] { return endings(error) >= count; }, 60000)) ++missing;
  };
  Usage before;
  for (int i = 0; i < files; ++i) {
    if (i == 12) before = usage();  // after the first round of every kind
    c.sink.events.clear();
    ++started;
    switch (i % 6) {
      case 0:
        c.play(L"short.ogg");
        expectend("ErrorCode 0 No error", 1);
        break;
      case 1:
        c.play(L"garbage-large.bin");
        expectend("ErrorCode 23 Input does not appear to be an Ogg bitstream", 1);
        break;
      case 2:
        c.play(L"stereo44100.ogg");
        c.call(L"CancelPlayback");
        if (!c.sink.milestones().empty()) ++missing;  // a cancelled file raises nothing
        break;
      case 3:
        c.open(L"short.ogg");
        c.call(L"PausePlayback");
        c.call(L"ResumePlayback");
        expectend("ErrorCode 0 No error", 1);
        break;
      case 4:
        c.play(L"bad-comment.ogg");
        expectend("ErrorCode 27 Corrupt secondary header", 1);
        break;
      case 5:
        chain = true;
        ++started;
        c.play(L"short.ogg");
        expectend("ErrorCode 0 No error", 2);
        break;
    }
  }
  const Usage after = usage();
  const long handles = after.handles - before.handles;
  const long long bytes = after.heapbytes - before.heapbytes;
  std::printf("soak: %d files, handles %ld -> %ld, heap bytes in use %lld -> %lld\n", started, before.handles,
              after.handles, before.heapbytes, after.heapbytes);
  check(missing == 0, "soak: every file brought its end events (" + std::to_string(started) + " files)",
        std::to_string(missing) + " did not");
  check(before.handles > 0 && handles <= 0, "soak: no handles gained", std::to_string(handles));
  check(before.heapbytes > 0 && bytes <= 64 * 1024, "soak: heap memory grew by at most 64 KB",
        std::to_string(bytes) + " bytes");
}

// ---- unloading ----

// With no control left, COM may unload the library; loaded again, it works
// as the first time (its window classes went with it).
void casereload() {
  HMODULE before = GetModuleHandleW(L"zeloggplays100.ocx");
  for (int i = 0; i < 3 && GetModuleHandleW(L"zeloggplays100.ocx"); ++i) {
    CoFreeUnusedLibrariesEx(0, 0);
    Sleep(20);
  }
  check(GetModuleHandleW(L"zeloggplays100.ocx") == nullptr, "reload: the unused library is unloaded");
  WNDCLASSEXW cls = {};
  cls.cbSize = sizeof cls;
  check(before && !GetClassInfoExW(before, L"ZelOggPlayTimers", &cls), "reload: its window classes went with it");
  Control c;
  c.create();
  c.play(L"short.ogg");
  check(c.waitend() && c.sink.milestones().back() == "ErrorCode 0 No error",
        "reload: loaded again, a control plays to its end", joined(c.sink.milestones()));
}

// ---- without a device, and after unregistering ----

// The sound server goes away in the middle of a file (the driver stops it
// once this case says the sound has started): the file ends with 22. With
// ZEL_SERVER_BACK the driver then starts the server again and makes that
// file, and the next file must play.
void casevanish() {
  Control c;
  c.create();
  c.play(L"long.ogg");
  pumpuntil([&] { return c.sink.has("Progress 1 00:00:01"); });
  std::printf("vanish: sound started\n");
  check(c.waitend() && c.sink.events.back() == "ErrorCode 22 Error opening waveout",
        "vanish: a lost sound device ends the file with ErrorCode 22", joined(c.sink.milestones()));
  // The driver starts the sound server again and then makes this file.
  wchar_t back[MAX_PATH];
  if (!GetEnvironmentVariableW(L"ZEL_SERVER_BACK", back, MAX_PATH)) return;
  std::printf("vanish: ended\n");
  pumpuntil([&] { return GetFileAttributesW(back) != INVALID_FILE_ATTRIBUTES; }, 120000);
  c.sink.events.clear();
  c.play(L"stereo44100.ogg");
  check(c.waitend() && c.sink.events.back() == "ErrorCode 0 No error" && c.sink.has("Progress 2 00:00:02"),
        "vanish: once the sound server is back, the next file plays", joined(c.sink.events));
}

void casenodevice() {
  Control c;
  c.create();
  c.play(L"short.ogg");
  check(c.waitend() && c.sink.events.back() == "ErrorCode 29 No valid devices in the system",
        "nodevice: ErrorCode 29", joined(c.sink.events));
}

void caseunregistered() {
  com::com_ptr<IUnknown> control;
  const HRESULT hr =
      CoCreateInstance(CLSID_ZelOggPlay, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control.put_void());
  check(hr == REGDB_E_CLASSNOTREG, "unregistered: creation fails as not registered");
  CLSID clsid;
  check(FAILED(CLSIDFromProgID(L"ZelOggPlayer100.ZelOggPlay", &clsid)), "unregistered: the ProgID is gone");
  check(!regkey(HKEY_CLASSES_ROOT, L"CLSID\\" + guid(CLSID_ZelOggPlay)), "unregistered: the class key is gone");
  com::com_ptr<ITypeLib> lib;
  check(FAILED(LoadRegTypeLib(LIBID_ZelOggPlayer100, 23, 0, 0x0409, lib.put())),
        "unregistered: the type library is no longer registered");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  // As the shell's handler of http: and mailto: addresses, it records what
  // it was asked to open:  controltest record FILE ADDRESS
  if (argc == 4 && std::wstring(argv[1]) == L"record") {
    FILE* f = _wfopen(argv[2], L"ab");
    if (!f) return 1;
    std::fprintf(f, "%s\n", narrow(argv[3]).c_str());
    return std::fclose(f) == 0 ? 0 : 1;
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: controltest FIXTURES-DIR CAPTURE-FILE CASE...\n");
    return 2;
  }
  wchar_t opened[MAX_PATH];
  if (GetEnvironmentVariableW(L"ZEL_OPENED", opened, MAX_PATH)) openedfile = opened;
  fixtures = argv[1];
  capture = narrow(argv[2]);
  CoInitialize(nullptr);
  const std::pair<const wchar_t*, void (*)()> cases[] = {
      {L"registry", caseregistry},       {L"typelib", casetypelib},       {L"create", casecreate},
      {L"container", casecontainer},     {L"openfile", caseopenfile},     {L"play", caseplay},
      {L"paths", casepaths},             {L"playlist", caseplaylist},     {L"deploy", casedeploy},
      {L"unloadable", caseunloadable},   {L"unwritable", caseunwritable},
      {L"truncated", casetruncated},     {L"locked", caselocked},         {L"noexport", casenoexport}, {L"twocontrols", casetwocontrols},
      {L"twoapartments", casetwoapartments},
      {L"release-playing", casereleaseplaying}, {L"atl", caseatl},        {L"about", caseabout},
      {L"soak", casesoak},                {L"reload", casereload},                {L"vanish", casevanish},          {L"nodevice", casenodevice},
      {L"unregistered", caseunregistered},
  };
  for (int i = 3; i < argc; ++i) {
    bool known = false;
    for (const auto& [name, run] : cases) {
      if (std::wstring(argv[i]) == name) {
        known = true;
        run();
      }
    }
    if (!known) check(false, narrow(argv[i]), "no such case");
  }
  CoUninitialize();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
