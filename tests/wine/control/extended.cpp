// ZelOggPlayEx: its type library and registration, its members with
// nothing open, tags and length, a seek heard frame for frame, and the
// marks by which the driver measures seek, volume and position in the
// capture.
#include "tests/wine/control/harness.h"

namespace controltest {

namespace {

std::wstring docstring(ITypeInfo* info, MEMBERID id) {
  com::bstr name, help;
  info->GetDocumentation(id, name.put(), help.put(), nullptr, nullptr);
  return help.get() ? help.get() : L"";
}

struct Member {
  const wchar_t* name;
  MEMBERID id;  // written out, so that a change to control/dispids.h fails here
  INVOKEKIND kinds;
};

const Member Members[] = {
    {L"Position", 0x60040000, INVOKEKIND(INVOKE_PROPERTYGET | INVOKE_PROPERTYPUT)},
    {L"Duration", 0x60040001, INVOKE_PROPERTYGET},
    {L"Volume", 0x60040002, INVOKEKIND(INVOKE_PROPERTYGET | INVOKE_PROPERTYPUT)},
    {L"Mute", 0x60040003, INVOKEKIND(INVOKE_PROPERTYGET | INVOKE_PROPERTYPUT)},
    {L"Tag", 0x60040004, INVOKE_PROPERTYGET},
    {L"Tags", 0x60040005, INVOKE_PROPERTYGET},
};

}  // namespace

ZEL_CASE(caseextypelib, "extypelib", Together,
         "ZelOggPlayEx: registration, its type library, its two interfaces on one object") {
  const std::wstring clsid = L"CLSID\\" + guid(CLSID_ZelOggPlayEx);
  check(regvalue(HKEY_CLASSES_ROOT, clsid + L"\\ProgID") == L"ZelOggPlayer100.ZelOggPlayEx" &&
            regvalue(HKEY_CLASSES_ROOT, L"ZelOggPlayer100.ZelOggPlayEx\\CLSID") == guid(CLSID_ZelOggPlayEx),
        "extypelib: the class's ProgID, both ways");
  check(regkey(HKEY_CLASSES_ROOT, clsid + L"\\Control") &&
            regvalue(HKEY_CLASSES_ROOT, clsid + L"\\MiscStatus\\1") == L"132497" &&
            regvalue(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", L"ThreadingModel") == L"Apartment" &&
            regvalue(HKEY_CLASSES_ROOT, clsid + L"\\TypeLib") == guid(LIBID_ZelOggPlayerEx),
        "extypelib: a control with ZelOggPlay's registration data and its own library");
#ifdef _WIN64
  const wchar_t* kind = L"win64";
#else
  const wchar_t* kind = L"win32";
#endif
  const std::wstring path = regvalue(HKEY_CLASSES_ROOT, L"TypeLib\\" + guid(LIBID_ZelOggPlayerEx) + L"\\1.2\\409\\" + kind);
  check(path.size() > 20 && path.substr(path.size() - 20) == L"zeloggplays100.ocx\\2",
        "extypelib: the library is registered as resource 2 of the OCX", narrow(path));
  check(regvalue(HKEY_CLASSES_ROOT, L"Interface\\" + guid(DIID___ZelOggPlay) + L"\\TypeLib") ==
            guid(LIBID_ZelOggPlayer100),
        "extypelib: the event interface stays registered with the first library");

  com::com_ptr<ITypeLib> lib;
  check(SUCCEEDED(LoadRegTypeLib(LIBID_ZelOggPlayerEx, 1, 0, 0x0409, lib.put())),
        "extypelib: a program built against 1.0 loads the registered library");
  // An update over 1.0 and 1.1: the keys they left go when the library
  // registers.
  const std::wstring ocx = regvalue(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32");
  bool wasthere = true;
  for (const wchar_t* version : {L"\\1.0", L"\\1.1"}) {
    const std::wstring old = L"TypeLib\\" + guid(LIBID_ZelOggPlayerEx) + version;
    HKEY planted = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, (old + L"\\409\\" + kind).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &planted, nullptr) == ERROR_SUCCESS) {
      const std::wstring value = ocx + L"\\2";
      RegSetValueExW(planted, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(planted);
    }
    wasthere = wasthere && regkey(HKEY_CLASSES_ROOT, old);
  }
  HMODULE module = LoadLibraryW(ocx.c_str());
  auto registerserver = module ? reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(module, "DllRegisterServer")) : nullptr;
  const HRESULT registered = registerserver ? registerserver() : E_FAIL;
  if (module) FreeLibrary(module);
  check(wasthere && registered == S_OK && !regkey(HKEY_CLASSES_ROOT, L"TypeLib\\" + guid(LIBID_ZelOggPlayerEx) + L"\\1.0") &&
            !regkey(HKEY_CLASSES_ROOT, L"TypeLib\\" + guid(LIBID_ZelOggPlayerEx) + L"\\1.1") &&
            regvalue(HKEY_CLASSES_ROOT, L"TypeLib\\" + guid(LIBID_ZelOggPlayerEx) + L"\\1.2\\409\\" + kind) == path,
        "extypelib: registering over versions 1.0 and 1.1 removes their keys and keeps 1.2's");
  if (!lib) return;
  TLIBATTR* attr;
  lib->GetLibAttr(&attr);
  check(attr->wMajorVerNum == 1 && attr->wMinorVerNum == 2 && attr->lcid == 0x0409 && (attr->wLibFlags & LIBFLAG_FCONTROL),
        "extypelib: ZelOggPlayerEx 1.2, LCID 0x0409, a control library");
  lib->ReleaseTLibAttr(attr);

  com::com_ptr<ITypeInfo> coclass, iface;
  lib->GetTypeInfoOfGuid(CLSID_ZelOggPlayEx, coclass.put());
  lib->GetTypeInfoOfGuid(IID__ZelOggPlayEx, iface.put());
  check(coclass && iface, "extypelib: coclass and interface present");
  if (!coclass || !iface) return;

  // The vtable view derives from _ZelOggPlay of the first library.
  com::com_ptr<ITypeInfo> vtable, base;
  bool derives = vtableview(iface.get(), vtable, base);
  if (derives) {
    TYPEATTR* ta;
    base->GetTypeAttr(&ta);
    derives = ta->guid == IID__ZelOggPlay && ta->cFuncs == 9;
    base->ReleaseTypeAttr(ta);
    com::com_ptr<ITypeLib> container;
    UINT index;
    TLIBATTR* la;
    derives = derives && SUCCEEDED(base->GetContainingTypeLib(container.put(), &index)) &&
              SUCCEEDED(container->GetLibAttr(&la)) && la->guid == LIBID_ZelOggPlayer100;
    if (container && derives) container->ReleaseTLibAttr(la);
    vtable->GetTypeAttr(&ta);
    derives = derives && (ta->wTypeFlags & TYPEFLAG_FDUAL) && ta->cFuncs == 9 &&
              ta->cbSizeVft == (7 + 9 + 9) * sizeof(void*);
    vtable->ReleaseTypeAttr(ta);
  }
  check(derives, "extypelib: _ZelOggPlayEx is dual and derives from the first library's _ZelOggPlay, slots after its nine");

  TYPEATTR* ta;
  iface->GetTypeAttr(&ta);
  const UINT functions = ta->cFuncs;
  iface->ReleaseTypeAttr(ta);
  std::string wrong;
  int kinds[6] = {};
  bool inherited = false;
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* fd;
    iface->GetFuncDesc(i, &fd);
    com::bstr name;
    iface->GetDocumentation(fd->memid, name.put(), nullptr, nullptr, nullptr);
    const std::wstring n = name.get() ? name.get() : L"";
    if (n == L"OpenFile") inherited = fd->memid == ZEL_DISPID_OPENFILE;
    for (int m = 0; m < 6; ++m) {
      if (n != Members[m].name) continue;
      kinds[m] |= fd->invkind;
      if (fd->memid != Members[m].id) wrong += narrow(n) + " ";
      if (fd->invkind == INVOKE_PROPERTYGET && docstring(iface.get(), fd->memid).empty()) wrong += narrow(n) + "(no help) ";
    }
    iface->ReleaseFuncDesc(fd);
  }
  for (int m = 0; m < 6; ++m)
    if (kinds[m] != Members[m].kinds) wrong += narrow(Members[m].name) + "(kinds) ";
  check(wrong.empty() && inherited, "extypelib: the six properties with their DISPIDs, kinds and help strings, and OpenFile's DISPID",
        wrong);

  coclass->GetTypeAttr(&ta);
  const bool control = (ta->wTypeFlags & TYPEFLAG_FCONTROL) && (ta->wTypeFlags & TYPEFLAG_FCANCREATE) && ta->cImplTypes == 5;
  coclass->ReleaseTypeAttr(ta);
  check(control, "extypelib: coclass ZelOggPlayEx, a creatable control with its three interfaces and its two event interfaces");

  // One object, two classes.
  com::com_ptr<IUnknown> plain, extended;
  CLSID byname = GUID_NULL;
  CLSIDFromProgID(L"ZelOggPlayer100.ZelOggPlayEx", &byname);
  CoCreateInstance(CLSID_ZelOggPlay, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, plain.put_void());
  CoCreateInstance(byname, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, extended.put_void());
  check(plain && extended && !plain.as<_ZelOggPlayEx>() && extended.as<_ZelOggPlayEx>() && extended.as<_ZelOggPlay>(),
        "extypelib: ZelOggPlayEx answers both interfaces, ZelOggPlay only its own");
  CLSID persisted = GUID_NULL;
  auto persist = extended ? extended.as<IPersistStreamInit>() : com::com_ptr<IPersistStreamInit>();
  check(persist && SUCCEEDED(persist->GetClassID(&persisted)) && persisted == CLSID_ZelOggPlayEx,
        "extypelib: it persists as ZelOggPlayEx");
}

// The members with nothing open, bad volumes, the length and the tags.
ZEL_CASE(caseextags, "extags", Together,
         "its members with nothing open, a bad volume, length, tags") {
  Control c;
  check(c.create(CLSID_ZelOggPlayEx), "extags: created with its events");
  check(c.number(L"Position") == 0 && c.number(L"Duration") == 0 && c.text(L"Tags").empty() &&
            c.text(L"Tag", L"TITLE").empty() && c.number(L"Volume") == 100 && c.number(L"Mute") == 0,
        "extags: nothing open: position and length 0, no tags, volume 100, not muted");
  check(SUCCEEDED(c.set(L"Position", 5.0)) && c.number(L"Position") == 0, "extags: a seek with nothing open does nothing");
  EXCEPINFO e = {};
  const HRESULT hr = c.setlong(L"Volume", 101, &e);
  const std::wstring why = e.bstrDescription ? e.bstrDescription : L"";
  check(hr == DISP_E_EXCEPTION && e.scode == E_INVALIDARG && why.find(L"0 to 100") != std::wstring::npos &&
            c.number(L"Volume") == 100,
        "extags: Volume 101 fails with E_INVALIDARG, saying the range", narrow(why));
  clearexception(e);
  auto dual = c.unknown.as<_ZelOggPlayEx>();
  com::com_ptr<IErrorInfo> info;
  check(dual && dual->put_Volume(-1) == E_INVALIDARG && GetErrorInfo(0, info.put()) == S_OK,
        "extags: through the vtable too, with an error object");

  c.open(L"tags.ogg");
  pumpuntil([&] { return !c.text(L"Tags").empty(); });
  check(std::abs(c.number(L"Duration") - 1.0) < 1e-9, "extags: Duration of a 1 s file");
  check(c.text(L"Tag", L"title") == L"\u041f\u0435\u0441\u043d\u044f \u6b4c", "extags: Tag(\"title\") in any case, from UTF-8",
        narrow(c.text(L"Tag", L"title")));
  check(c.text(L"Tag", L"Artist") == L"First; Second", "extags: repeated values joined by \"; \"");
  check(c.text(L"Tag", L"LYRICS") == std::wstring(499, L'\u00e9'), "extags: a long value cut at a character boundary");
  check(c.text(L"Tag", L"COMPOSER").empty(), "extags: a missing field gives \"\"");
  const std::wstring all = c.text(L"Tags");
  check(all.rfind(L"TITLE=\u041f", 0) == 0 && all.find(L"\r\nArtist=First\r\nARTIST=Second\r\nLYRICS=") != std::wstring::npos &&
            all.size() > 4 && all.substr(all.size() - 10) == L"\r\nNOEQUALS",
        "extags: Tags lists every comment, CR LF between");
  c.call(L"CancelPlayback");

  // The chained fixture: each link's frames over its own rate.
  c.open(L"chained.ogg");
  pumpuntil([&] { return c.number(L"Duration") > 0; });
  check(std::abs(c.number(L"Duration") - 4.0) < 1e-9, "extags: Duration of the chained file is 4 s");
  c.call(L"CancelPlayback");
  check(c.number(L"Duration") == 0 && c.text(L"Tags").empty(), "extags: after the cancel, nothing open");
}

// A seek while the file waits paused at its start: what is heard is the
// file from 2.0 s on, every frame of it (the driver compares the capture).
ZEL_CASE(caseexseek, "exseek", Alone,
         "a seek to 2.0 s while paused (the driver compares the capture with the file from 2.0 s)") {
  Control c;
  c.create(CLSID_ZelOggPlayEx);
  c.open(L"stereo44100.ogg");
  pumpuntil([&] { return c.number(L"Duration") > 0; });
  c.set(L"Position", 2.0);
  check(pumpuntil([&] { return c.number(L"Position") == 2.0; }, 10000), "exseek: the position is the seek's at once");
  c.call(L"ResumePlayback");
  check(c.waitend() && c.sink.events.back() == "ErrorCode 0 No error", "exseek: plays on to its end",
        joined(c.sink.events));
}

// Marks for the driver's measurements: the position heard, a seek in the
// middle of a long file, then volume 50, mute and unmute on a steady tone.
ZEL_CASE(caseexmeasure, "exmeasure", Alone,
         "marks for the driver's measures of position, seek, volume") {
  Control c;
  c.create(CLSID_ZelOggPlayEx);
  c.play(L"long.ogg");
  pumpuntil([] { return soundcaptured(); });
  pumpfor(1500);
  // The reading counts only when the capture grew by less than 0.1 s
  // around it; a thread descheduled in between tries again.
  long long before = 0, after = 0;
  double position = 0;
  for (int tries = 0; tries < 5 && (tries == 0 || after - before >= 4410 * 4); ++tries) {
    before = capturedbytes();
    position = c.number(L"Position");
    after = capturedbytes();
  }
  mark("position", position, (before + after) / 2);
  check(after - before < 4410 * 4, "exmeasure: the position is read between two close readings of the capture");
  pumpfor(300);
  mark("seek", 100.0);
  c.set(L"Position", 100.0);
  pumpfor(1000);
  const double moved = c.number(L"Position");
  check(moved >= 100.0 && moved < 101.5, "exmeasure: after a seek to 100 s, the position is past it",
        std::to_string(moved));
  c.call(L"CancelPlayback");

  c.play(L"tone.ogg");
  pumpuntil([] { return soundcaptured(); });
  pumpfor(1500);
  mark("volume50");
  c.setlong(L"Volume", 50);
  pumpfor(1200);
  mark("mute");
  c.setbool(L"Mute", true);
  pumpfor(800);
  mark("unmute");
  c.setbool(L"Mute", false);
  pumpfor(800);
  mark("end");
  check(c.number(L"Volume") == 50 && c.number(L"Mute") == 0, "exmeasure: the volume survives the mute");
  c.call(L"CancelPlayback");
}

// Two ZelOggPlayEx controls play tones of different pitch at once, beside
// a ZelOggPlay; marks for the driver, which finds both pitches in the
// capture while they overlap and measures each after one control's volume
// went to 50.
ZEL_CASE(caseexstreams, "exstreams", Alone,
         "two ZelOggPlayEx controls at once, beside a ZelOggPlay; volume 50 on one of them") {
  Control low, high, plain;
  low.create(CLSID_ZelOggPlayEx);
  high.create(CLSID_ZelOggPlayEx);
  plain.create(CLSID_ZelOggPlay);
  low.play(L"tone.ogg");
  high.play(L"tone1000.ogg");
  plain.play(L"stereo44100.ogg");
  check(pumpuntil([&] { return plain.waitend(); }) && plain.sink.events.back() == "ErrorCode 0 No error",
        "exstreams: the ZelOggPlay beside them plays to its end", joined(plain.sink.milestones()));
  check(low.status() == "playing" && high.status() == "playing" && !low.sink.ended() && !high.sink.ended(),
        "exstreams: neither ZelOggPlayEx was cut short by it or by the other");
  mark("both");
  low.setlong(L"Volume", 50);
  mark("lowhalf");
  pumpfor(1000);
  mark("after");
  check(low.waitend() && high.waitend() && low.sink.events.back() == "ErrorCode 0 No error" &&
            high.sink.events.back() == "ErrorCode 0 No error",
        "exstreams: both play to their ends", joined(low.sink.milestones()) + " / " + joined(high.sink.milestones()));
}

// Two sounds on one card, the second started while the first plays: the
// driver finds the capture to be their sum, sample for sample.
ZEL_CASE(caseexsum, "exsum", Alone, "two ZelOggPlayEx sounds mixed on one sound card (the driver checks the sum)") {
  Control first, second;
  first.create(CLSID_ZelOggPlayEx);
  second.create(CLSID_ZelOggPlayEx);
  first.play(L"tone.ogg");
  pumpuntil([] { return soundcaptured(); });
  second.play(L"tone1000.ogg");
  check(first.waitend() && second.waitend() && first.sink.events.back() == "ErrorCode 0 No error" &&
            second.sink.events.back() == "ErrorCode 0 No error",
        "exsum: both play to their ends", joined(first.sink.milestones()) + " / " + joined(second.sink.milestones()));
}

// A volume slider dragged: 40 puts, 25 ms apart, while a tone plays. The
// driver finds the tone as long in the capture as in the file (a volume put
// used to decode again from the place heard, skipping seconds of it).
ZEL_CASE(caseexdrag, "exdrag", Alone, "Volume put 40 times while a tone plays (the driver checks its length)") {
  Control c;
  c.create(CLSID_ZelOggPlayEx);
  c.play(L"tone.ogg");
  pumpuntil([] { return soundcaptured(); });
  for (int i = 0; i < 40; ++i) {
    c.setlong(L"Volume", i % 2 ? 100 : 60);
    const DWORD until = GetTickCount() + 25;
    pumpuntil([until] { return static_cast<LONG>(GetTickCount() - until) >= 0; });
  }
  check(c.waitend() && c.sink.events.back() == "ErrorCode 0 No error", "exdrag: the tone plays to its end",
        joined(c.sink.milestones()));
}

}  // namespace controltest
