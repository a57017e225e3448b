// Registration, the type library, creation, and what unregistering leaves.
#include "tests/wine/control/harness.h"

namespace controltest {

ZEL_CASE(caseregistry, "registry", Together,
         "the registration data, read back") {
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

// After a per-user registration, Windows writes through HKEY_CLASSES_ROOT
// into the user's classes wherever a key exists there: a registration for
// all users through it would only update the user's keys. Wine's
// HKEY_CLASSES_ROOT is the machine's classes alone, so the case stands in
// for Windows' view by pointing it at a key of the user's while
// DllRegisterServer runs: everything must still reach the machine's classes.
ZEL_CASE(casemachineafteruser, "machine-after-user", Together,
         "registration for all users names the machine's classes, not HKEY_CLASSES_ROOT") {
  const std::wstring scratch = L"Software\\ZelTestUserClasses";
  HKEY user = nullptr;
  RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str());
  RegCreateKeyExW(HKEY_CURRENT_USER, scratch.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user, nullptr);
  const std::wstring ocx = regvalue(HKEY_CLASSES_ROOT, L"CLSID\\" + guid(CLSID_ZelOggPlay) + L"\\InprocServer32");
  HMODULE library = LoadLibraryW(ocx.c_str());
  auto registerserver = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(library, "DllRegisterServer"));
  HRESULT hr = E_FAIL;
  if (user && registerserver && RegOverridePredefKey(HKEY_CLASSES_ROOT, user) == ERROR_SUCCESS) {
    hr = registerserver();
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  }
  DWORD written = 1;
  if (user) RegQueryInfoKeyW(user, nullptr, nullptr, nullptr, &written, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr);
  check(SUCCEEDED(hr) && written == 0, "machine-after-user: nothing goes to the user's classes",
        std::to_string(written) + " keys there");
#ifdef _WIN64
  const std::wstring platform = L"win64";
#else
  const std::wstring platform = L"win32";
#endif
  const std::wstring machine = L"Software\\Classes\\";
  check(regkey(HKEY_LOCAL_MACHINE, machine + L"CLSID\\" + guid(CLSID_ZelOggPlayEx) + L"\\InprocServer32") &&
            regkey(HKEY_LOCAL_MACHINE, machine + L"TypeLib\\" + guid(LIBID_ZelOggPlayerEx) + L"\\1.2\\409\\" + platform) &&
            regkey(HKEY_LOCAL_MACHINE, machine + L"TypeLib\\" + guid(LIBID_ZelOggPlayer100) + L"\\17.0\\409\\" + platform),
        "machine-after-user: the machine's classes hold the classes and both type libraries");
  if (user) RegCloseKey(user);
  RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str());
  if (library) FreeLibrary(library);
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

ZEL_CASE(casetypelib, "typelib", Together,
         "the registered type library against the interface table") {
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
  // The lookup goes from the locale asked for toward neutral: a request for
  // locale 0 (the type library marshaler's, and many tools') finds the
  // libraries only because they are registered under it too.
  com::com_ptr<ITypeLib> neutral, neutralex;
  check(SUCCEEDED(LoadRegTypeLib(LIBID_ZelOggPlayer100, 23, 0, LOCALE_NEUTRAL, neutral.put())) &&
            SUCCEEDED(LoadRegTypeLib(LIBID_ZelOggPlayerEx, 1, 1, LOCALE_NEUTRAL, neutralex.put())),
        "typelib: both libraries are found by a request for the neutral locale");
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
  check(defaultinterfaces(coclass.get(), IID__ZelOggPlay), "typelib: default interface _ZelOggPlay, default source __ZelOggPlay");

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

ZEL_CASE(casecreate, "create", Together,
         "creation by CLSID and by ProgID; unsited use") {
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
  check(engineleft(), "create: ControlName leaves the engine alone");
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

ZEL_CASE(caseunregistered, "unregistered", Alone,
         "after regsvr32 /u: nothing left, creation fails") {
  const struct {
    const CLSID* clsid;
    const wchar_t* progid;
    const GUID* libid;
    WORD major;
  } classes[] = {{&CLSID_ZelOggPlay, L"ZelOggPlayer100.ZelOggPlay", &LIBID_ZelOggPlayer100, 23},
                 {&CLSID_ZelOggPlayEx, L"ZelOggPlayer100.ZelOggPlayEx", &LIBID_ZelOggPlayerEx, 1}};
  for (const auto& cls : classes) {
    const std::string name = narrow(cls.progid);
    com::com_ptr<IUnknown> control;
    const HRESULT hr = CoCreateInstance(*cls.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control.put_void());
    check(hr == REGDB_E_CLASSNOTREG, "unregistered: creating " + name + " fails as not registered");
    CLSID clsid;
    check(FAILED(CLSIDFromProgID(cls.progid, &clsid)), "unregistered: the ProgID " + name + " is gone");
    check(!regkey(HKEY_CLASSES_ROOT, L"CLSID\\" + guid(*cls.clsid)), "unregistered: the class key of " + name + " is gone");
    com::com_ptr<ITypeLib> lib;
    com::com_ptr<ITypeLib> neutral;
    check(FAILED(LoadRegTypeLib(*cls.libid, cls.major, 0, 0x0409, lib.put())) &&
              FAILED(LoadRegTypeLib(*cls.libid, cls.major, 0, LOCALE_NEUTRAL, neutral.put())),
          "unregistered: the type library of " + name + " is no longer registered");
  }
  check(!regkey(HKEY_CLASSES_ROOT, L"Interface\\" + guid(DIID___ZelOggPlay)) &&
            !regkey(HKEY_CLASSES_ROOT, L"Interface\\" + guid(IID__ZelOggPlayEx)),
        "unregistered: the interfaces' keys are gone");
}

}  // namespace controltest
