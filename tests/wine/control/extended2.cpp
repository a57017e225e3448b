// ZelOggPlayEx's second interface: its type information, the sound cards,
// playing from a byte array, the comments known when the open returns,
// and a loop the driver finds in the capture.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/wine/control/harness.h"
#include "tools/cputime.h"

namespace controltest {

namespace {

// Calls a method by name through IDispatch with its VARIANT arguments, in
// their declared order.
HRESULT invokewith(IDispatch* dispatch, const wchar_t* name, std::vector<VARIANT> arguments,
                   EXCEPINFO* exception = nullptr) {
  DISPID id;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (FAILED(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id))) return DISP_E_UNKNOWNNAME;
  std::reverse(arguments.begin(), arguments.end());  // DISPPARAMS holds the last first
  DISPPARAMS params = {arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
  com::variant result;
  return dispatch->Invoke(id, IID_NULL, 0x0409, DISPATCH_METHOD, &params, result.get(), exception, nullptr);
}
HRESULT invokewith(IDispatch* dispatch, const wchar_t* name, VARIANT argument, EXCEPINFO* exception) {
  return invokewith(dispatch, name, std::vector<VARIANT>{argument}, exception);
}

// Spectrum(bands) through IDispatch: its levels, or none when it failed
// (with the failure in *hr).
std::vector<double> spectrumof(IDispatch* dispatch, LONG bands, HRESULT* hr = nullptr) {
  DISPID id;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Spectrum")};
  std::vector<double> levels;
  HRESULT result = dispatch->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id);
  VARIANT argument;
  V_VT(&argument) = VT_I4, V_I4(&argument) = bands;
  DISPPARAMS params = {&argument, nullptr, 1, 0};
  com::variant answer;
  EXCEPINFO e = {};
  if (SUCCEEDED(result)) result = dispatch->Invoke(id, IID_NULL, 0x0409, DISPATCH_METHOD, &params, answer.get(), &e, nullptr);
  if (result == DISP_E_EXCEPTION) result = e.scode;
  clearexception(e);
  if (hr) *hr = result;
  VARIANT* v = answer.get();
  if (SUCCEEDED(result) && V_VT(v) == (VT_ARRAY | VT_R8)) {
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(V_ARRAY(v), &data))) {
      const double* d = static_cast<const double*>(data);
      levels.assign(d, d + V_ARRAY(v)->rgsabound[0].cElements);
      SafeArrayUnaccessData(V_ARRAY(v));
    }
  }
  return levels;
}

// A VARIANT holding a Byte() array of the fixture's bytes; the caller
// destroys it with VariantClear.
VARIANT bytesof(const wchar_t* name) {
  std::ifstream in(fixture(name).c_str(), std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  void* data = nullptr;
  if (array && SUCCEEDED(SafeArrayAccessData(array, &data))) {
    std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
  }
  VARIANT v;
  V_VT(&v) = VT_ARRAY | VT_UI1;
  V_ARRAY(&v) = array;
  return v;
}

}  // namespace

ZEL_CASE(caseex2typelib, "ex2typelib", Together,
         "_ZelOggPlayEx2: in what a program built against 1.1 loads, derived from _ZelOggPlayEx; help strings; Tag "
         "and Tags hidden; _ZelOggPlayEx3 after it, the default") {
  com::com_ptr<ITypeLib> lib;
  check(SUCCEEDED(LoadRegTypeLib(LIBID_ZelOggPlayerEx, 1, 1, 0x0409, lib.put())),
        "ex2typelib: a program built against 1.1 finds the library");
  if (!lib) return;
  com::com_ptr<ITypeInfo> iface, old;
  lib->GetTypeInfoOfGuid(IID__ZelOggPlayEx2, iface.put());
  lib->GetTypeInfoOfGuid(IID__ZelOggPlayEx, old.put());
  check(iface && old, "ex2typelib: both interfaces are described");
  if (!iface || !old) return;

  // 7 of IDispatch, 9 of _ZelOggPlay, 9 of _ZelOggPlayEx, then 11 of its own.
  check(dualafter(iface.get(), IID__ZelOggPlayEx, 11, 7 + 9 + 9),
        "ex2typelib: _ZelOggPlayEx2 is dual and derives from _ZelOggPlayEx, its slots after");

  struct Wanted {
    const wchar_t* name;
    MEMBERID id;
    bool hidden;
  };
  const Wanted wanted[] = {{L"Comment", 0x60050000, false},    {L"Comments", 0x60050001, false},
                           {L"Loop", 0x60050002, false},       {L"OpenMemory", 0x60050003, false},
                           {L"PlayMemory", 0x60050004, false}, {L"DeviceCount", 0x60050005, false},
                           {L"DeviceName", 0x60050006, false}, {L"Device", 0x60050007, false},
                           {L"PeakLevel", 0x60050008, false},  {L"Tag", 0x60040004, true},
                           {L"Tags", 0x60040005, true},        {L"Volume", 0x60040002, false}};
  std::string wrong;
  for (const Wanted& w : wanted) {
    MEMBERID id = MEMBERID_NIL;
    LPOLESTR names[] = {const_cast<LPOLESTR>(w.name)};
    iface->GetIDsOfNames(names, 1, &id);
    if (id != w.id) {
      wrong += narrow(w.name) + "(id) ";
      continue;
    }
    com::bstr help;
    iface->GetDocumentation(id, nullptr, help.put(), nullptr, nullptr);
    if (!help.get() || !*help.get()) wrong += narrow(w.name) + "(no help) ";
    // The flags of its first description (a property's get).
    TYPEATTR* ta;
    iface->GetTypeAttr(&ta);
    const UINT count = ta->cFuncs;
    iface->ReleaseTypeAttr(ta);
    for (UINT i = 0; i < count; ++i) {
      FUNCDESC* fd;
      if (FAILED(iface->GetFuncDesc(i, &fd))) continue;
      const bool match = fd->memid == id, hidden = (fd->wFuncFlags & FUNCFLAG_FHIDDEN) != 0;
      iface->ReleaseFuncDesc(fd);
      if (!match) continue;
      if (hidden != w.hidden) wrong += narrow(w.name) + (w.hidden ? "(not hidden) " : "(hidden) ");
      break;
    }
  }
  check(wrong.empty(), "ex2typelib: the new members with their DISPIDs and help strings; Tag and Tags hidden", wrong);

  com::com_ptr<ITypeInfo> coclass;
  lib->GetTypeInfoOfGuid(CLSID_ZelOggPlayEx, coclass.put());
  UINT events = 0;
  check(coclass && defaultinterfaces(coclass.get(), IID__ZelOggPlayEx3, &events, DIID___ZelOggPlayEx) && events == 11,
        "ex2typelib: the coclass's default is _ZelOggPlayEx3, its default events __ZelOggPlayEx (the six, FadeDone, "
        "Marker, NearEnd, Queued and CommentsChanged)");

  // _ZelOggPlayEx3: after _ZelOggPlayEx2's slots, DeviceId, OutputLinger,
  // Pan and Rate (a get and a put each).
  com::com_ptr<ITypeInfo> third;
  lib->GetTypeInfoOfGuid(IID__ZelOggPlayEx3, third.put());
  bool follows = dualafter(third.get(), IID__ZelOggPlayEx2, 24, 7 + 9 + 9 + 11);
  if (follows) {
    for (const auto& [name, wantid] : {std::pair{L"DeviceId", 0x60060000}, std::pair{L"OutputLinger", 0x60060001},
                                       std::pair{L"Pan", 0x60060002}, std::pair{L"Rate", 0x60060003},
                                       std::pair{L"FadeTo", 0x60060004}, std::pair{L"FadeOutAndStop", 0x60060005},
                                       std::pair{L"AddMarker", 0x60060006}, std::pair{L"ClearMarkers", 0x60060007},
                                       std::pair{L"NearEndSeconds", 0x60060008}, std::pair{L"Spectrum", 0x60060009},
                                       std::pair{L"QueueFile", 0x6006000A}, std::pair{L"QueueMemory", 0x6006000B},
                                       std::pair{L"CrossFade", 0x6006000C}, std::pair{L"OpenUrl", 0x6006000D},
                                       std::pair{L"PlayUrl", 0x6006000E}, std::pair{L"BufferSeconds", 0x6006000F},
                                       std::pair{L"BufferLevel", 0x60060010}}) {
      MEMBERID id = MEMBERID_NIL;
      LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
      third->GetIDsOfNames(names, 1, &id);
      follows = follows && id == wantid;
    }
  }
  check(follows,
        "ex2typelib: _ZelOggPlayEx3 is dual, derives from _ZelOggPlayEx2 with DeviceId, OutputLinger, Pan, Rate, "
        "FadeTo, FadeOutAndStop, AddMarker, ClearMarkers, NearEndSeconds, Spectrum, QueueFile, QueueMemory, "
        "CrossFade, OpenUrl, PlayUrl, BufferSeconds and BufferLevel after");

  com::com_ptr<IUnknown> plain, extended;
  CoCreateInstance(CLSID_ZelOggPlay, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, plain.put_void());
  CoCreateInstance(CLSID_ZelOggPlayEx, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, extended.put_void());
  check(plain && extended && !plain.as<_ZelOggPlayEx2>() && !plain.as<_ZelOggPlayEx3>() &&
            extended.as<_ZelOggPlayEx3>() && extended.as<_ZelOggPlayEx2>() && extended.as<_ZelOggPlayEx>(),
        "ex2typelib: ZelOggPlayEx answers all four interfaces, ZelOggPlay none of the new");
}

ZEL_CASE(caseexdevices, "exdevices", Together,
         "sound cards: count, whole names, ids, a bad index or id, the device a file plays to, the output's linger") {
  Control c;
  c.create(CLSID_ZelOggPlayEx);
  const double count = c.number(L"DeviceCount");
  check(count >= 1, "exdevices: DeviceCount finds the sound server's card", std::to_string(count));
  check(!c.text(L"DeviceName", L"0").empty() && c.text(L"DeviceName", L"0") != L"<no text>",
        "exdevices: DeviceName(0) names it", narrow(c.text(L"DeviceName", L"0")));
  check(c.text(L"DeviceName", std::to_wstring(static_cast<int>(count)).c_str()) == L"<no text>",
        "exdevices: DeviceName(DeviceCount) fails");
  EXCEPINFO e = {};
  const HRESULT hr = c.setlong(L"Device", static_cast<LONG>(count), &e);
  const std::wstring why = e.bstrDescription ? e.bstrDescription : L"";
  check(hr == DISP_E_EXCEPTION && e.scode == E_INVALIDARG && why.find(L"DeviceCount") != std::wstring::npos &&
            c.number(L"Device") == -1,
        "exdevices: Device = DeviceCount fails with E_INVALIDARG, saying the range; -1 stays", narrow(why));
  clearexception(e);
  check(SUCCEEDED(c.setlong(L"Device", 0)) && c.number(L"Device") == 0, "exdevices: Device = 0 is kept");
  c.play(L"short.ogg");
  check(c.waitend() && c.sink.events.back() == "ErrorCode 0 No error", "exdevices: a file plays to card 0",
        joined(c.sink.milestones()));

  // Wine names the pipe sink after its file: longer than the 31 characters
  // a wave-out device's name is cut to.
  std::size_t longest = 0;
  for (int i = 0; i < static_cast<int>(count); ++i)
    longest = std::max(longest, c.text(L"DeviceName", std::to_wstring(i).c_str()).size());
  check(longest > 31, "exdevices: the cards' whole names", std::to_string(longest));

  // By id: the card's id reads back and its index follows it; a card that
  // is not there fails and changes nothing; "" is the default again.
  const std::wstring id = c.text(L"DeviceId");
  VARIANT given;
  V_VT(&given) = VT_BSTR;
  V_BSTR(&given) = SysAllocString(L"{0.0.0.00000000}.{00000000-0000-0000-0000-000000000000}");
  const HRESULT bad = c.put(L"DeviceId", given, &e);
  VariantClear(&given);
  const std::wstring badwhy = e.bstrDescription ? e.bstrDescription : L"";
  clearexception(e);
  check(!id.empty() && id != L"<no text>" && bad == DISP_E_EXCEPTION && badwhy.find(L"present") != std::wstring::npos &&
            c.text(L"DeviceId") == id && c.number(L"Device") == 0,
        "exdevices: DeviceId of card 0 reads back; a card not present fails with E_INVALIDARG, nothing changed",
        narrow(id) + " / " + narrow(badwhy));
  V_VT(&given) = VT_BSTR;
  V_BSTR(&given) = SysAllocString(L"");
  check(SUCCEEDED(c.put(L"DeviceId", given)) && c.number(L"Device") == -1 && c.text(L"DeviceId").empty(),
        "exdevices: DeviceId \"\" is the default card again");
  VariantClear(&given);
  V_VT(&given) = VT_BSTR;
  V_BSTR(&given) = SysAllocString(id.c_str());
  check(SUCCEEDED(c.put(L"DeviceId", given)) && c.number(L"Device") == 0, "exdevices: DeviceId chooses card 0");
  VariantClear(&given);
  c.play(L"short.ogg");
  check(c.waitend() && c.sink.events.back() == "ErrorCode 0 No error", "exdevices: a file plays to the card by its id",
        joined(c.sink.milestones()));

  check(c.number(L"OutputLinger") == 2 && c.set(L"OutputLinger", 60.5, &e) == DISP_E_EXCEPTION &&
            e.scode == E_INVALIDARG && c.number(L"OutputLinger") == 2,
        "exdevices: OutputLinger is 2 s; beyond 60 it fails with E_INVALIDARG");
  clearexception(e);
  check(SUCCEEDED(c.set(L"OutputLinger", 0.25)) && c.number(L"OutputLinger") == 0.25 &&
            SUCCEEDED(c.set(L"OutputLinger", 2)),
        "exdevices: OutputLinger takes a fraction of a second");
  check(c.number(L"Pan") == 0 && c.number(L"Rate") == 1 && SUCCEEDED(c.set(L"Pan", -0.5)) &&
            SUCCEEDED(c.set(L"Rate", 0.25)) && c.number(L"Pan") == -0.5 && c.number(L"Rate") == 0.25,
        "exdevices: Pan is 0 and Rate 1, and each takes a value in its range");
  check(c.set(L"Pan", 1.01, &e) == DISP_E_EXCEPTION && e.scode == E_INVALIDARG && c.number(L"Pan") == -0.5,
        "exdevices: Pan beyond 1 fails with E_INVALIDARG, nothing changed");
  clearexception(e);
  check(c.set(L"Rate", 4.5, &e) == DISP_E_EXCEPTION && e.scode == E_INVALIDARG && c.number(L"Rate") == 0.25,
        "exdevices: Rate beyond 4 fails with E_INVALIDARG, nothing changed");
  clearexception(e);
}

ZEL_CASE(caseexmemory, "exmemory", Together,
         "PlayMemory from a byte array; a VARIANT of another kind; comments and length known when the open returns") {
  Control c;
  c.create(CLSID_ZelOggPlayEx);
  VARIANT data = bytesof(L"tags.ogg");
  EXCEPINFO e = {};
  check(SUCCEEDED(invokewith(c.dispatch.get(), L"OpenMemory", data, &e)), "exmemory: OpenMemory takes a Byte() array");
  VariantClear(&data);  // the control has its own copy
  check(std::abs(c.number(L"Duration") - 1.0) < 1e-9 && c.text(L"Comment", L"ARTIST") == L"First; Second",
        "exmemory: its length and comments are there when OpenMemory returns", narrow(c.text(L"Comment", L"ARTIST")));
  c.call(L"CancelPlayback");

  // Ogg FLAC from memory, the same.
  data = bytesof(L"stereo.oga");
  check(SUCCEEDED(invokewith(c.dispatch.get(), L"OpenMemory", data, &e)) && c.number(L"Duration") == 1.0 &&
            c.text(L"Comment", L"TITLE") == L"Lossless",
        "exmemory: Ogg FLAC's length and comments when OpenMemory returns");
  VariantClear(&data);
  c.call(L"CancelPlayback");

  data = bytesof(L"short.ogg");
  VARIANT byref;
  V_VT(&byref) = VT_ARRAY | VT_UI1 | VT_BYREF;
  V_ARRAYREF(&byref) = &V_ARRAY(&data);
  check(SUCCEEDED(invokewith(c.dispatch.get(), L"PlayMemory", byref, &e)), "exmemory: PlayMemory takes one by reference");
  VariantClear(&data);
  data = bytesof(L"tags.ogg");
  check(SUCCEEDED(invokewith(c.dispatch.get(), L"QueueMemory", data, &e)), "exmemory: QueueMemory while it plays");
  VariantClear(&data);
  // The queued file's length once it has begun.
  const bool taken = pumpuntil([&] { return c.number(L"Duration") == 1.0 || c.sink.ended(); }) && !c.sink.ended();
  c.waitend();
  check(taken && c.sink.events.back() == "ErrorCode 0 No error" &&
            std::count(c.sink.events.begin(), c.sink.events.end(), "Finished") == 1,
        "exmemory: plays it, then the bytes queued, to one Finished", joined(c.sink.milestones()));

  VARIANT text;
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = SysAllocString(L"short.ogg");
  const HRESULT hr = invokewith(c.dispatch.get(), L"PlayMemory", text, &e);
  VariantClear(&text);
  const std::wstring why = e.bstrDescription ? e.bstrDescription : L"";
  check(hr == DISP_E_EXCEPTION && e.scode == E_INVALIDARG && why.find(L"array of bytes") != std::wstring::npos,
        "exmemory: a text fails with E_INVALIDARG, saying what is expected", narrow(why));
  clearexception(e);
  auto dual = c.unknown.as<_ZelOggPlayEx2>();
  VARIANT number;
  V_VT(&number) = VT_I4;
  V_I4(&number) = 5;
  com::com_ptr<IErrorInfo> info;
  check(dual && dual->OpenMemory(number) == E_INVALIDARG && GetErrorInfo(0, info.put()) == S_OK,
        "exmemory: through the vtable too, with an error object");

  // A file: the same, with no waiting after OpenFile.
  c.open(L"tags.ogg");
  check(c.text(L"Comment", L"TITLE") == L"\u041f\u0435\u0441\u043d\u044f \u6b4c" &&
            std::abs(c.number(L"Duration") - 1.0) < 1e-9 && c.text(L"Tag", L"TITLE") == c.text(L"Comment", L"TITLE") &&
            c.text(L"Comments") == c.text(L"Tags"),
        "exmemory: Comment(\"TITLE\") and Duration right after OpenFile; Tag and Tags answer as before");
  check(c.number(L"PeakLevel") == 0, "exmemory: PeakLevel is 0 before the file is resumed");
  c.call(L"CancelPlayback");
}

// The loop fixture (1.5 s and a frame) looped: the driver finds it in the
// capture three times or more with nothing added or lost at the seams. The
// level follows the tone while it plays.
ZEL_CASE(caseexloop, "exloop", Alone, "a 1.5 s file looped at least three times (the driver checks the seams)") {
  Control c;
  c.create(CLSID_ZelOggPlayEx);
  check(c.number(L"Loop") == 0 && SUCCEEDED(c.setbool(L"Loop", true)) && c.number(L"Loop") != 0,
        "exloop: Loop is off, then on");
  c.play(L"loop.ogg");
  pumpuntil([] { return soundcaptured(); });
  double peak = 0;
  const DWORD until = GetTickCount() + 3 * 1500 + 300;
  pumpuntil([&] {
    peak = std::max(peak, c.number(L"PeakLevel"));
    return static_cast<LONG>(GetTickCount() - until) >= 0;
  });
  check(!c.sink.ended() && c.status() == "playing", "exloop: still playing after three lengths of the file");
  check(peak > 0.55 && peak < 0.75, "exloop: PeakLevel follows a tone of 0.6 with noise", std::to_string(peak));
  c.setbool(L"Loop", false);
  check(c.waitend() && c.sink.events.back() == "ErrorCode 0 No error" && c.number(L"Loop") == 0,
        "exloop: with the loop off it ends after the pass it is in, ErrorCode 0", joined(c.sink.milestones()));
  pumpfor(200);
}

// A seek bar dragged to its right end while the file plays: the file ends
// (Status stop, Finished, ErrorCode 0) as soon as what was queued is heard,
// not after the device was given up for lost (5.6 s before).
ZEL_CASE(caseexseekend, "exseekend", Together, "Position set to Duration, or past it, while playing: the file ends at once") {
  for (double past : {0.0, 10.0}) {
    Control c;
    c.create(CLSID_ZelOggPlayEx);
    c.play(L"long.ogg");
    pumpuntil([&] { return c.sink.has("Status playing"); });
    const DWORD asked = GetTickCount();
    c.set(L"Position", c.number(L"Duration") + past);
    const bool ended = c.waitend();
    const DWORD took = GetTickCount() - asked;
    // The end events come with the control's half-second timer.
    check(ended && c.sink.events.back() == "ErrorCode 0 No error" && took < 2000,
          "exseekend: Position = Duration" + std::string(past > 0 ? " + 10" : "") + " ends the file within 2 s",
          std::to_string(took) + " ms, " + joined(c.sink.milestones()));
  }
}

// A one-frame file looped: repeated from memory, it costs what any sound
// does, instead of a core seeking back and decoding 44100 times a second.
ZEL_CASE(caseexshortloop, "exshortloop", Together, "a one-frame file looped for 2 s: under 30 % of a core") {
  Control c;
  c.create(CLSID_ZelOggPlayEx);
  c.setbool(L"Loop", true);
  c.play(L"oneframe.ogg");
  pumpuntil([&] { return c.sink.has("Status playing"); });
  const DWORD wall0 = GetTickCount();
  const double cpu0 = processcpuseconds();
  pumpfor(2000);
  const double share = (processcpuseconds() - cpu0) / ((GetTickCount() - wall0) / 1000.0);
  check(c.status() == "playing" && share < 0.3, "exshortloop: a one-frame file loops at under 30 % of a core",
        std::to_string(static_cast<int>(share * 100)) + " %");
  c.setbool(L"Loop", false);
  check(c.waitend() && c.sink.events.back() == "ErrorCode 0 No error", "exshortloop: and ends with the loop off",
        joined(c.sink.milestones()));
}

// An Ogg Opus file through ZelOggPlayEx, to its end: the driver compares
// the capture (a sink at 48 kHz for this case) with libopusfile's decode.
// ZelOggPlay refuses it as a stream that is not Vorbis.
ZEL_CASE(caseexopus, "exopus", Alone, "an Opus file through ZelOggPlayEx (the driver compares the capture); ZelOggPlay's 26") {
  Control plain;
  plain.create(CLSID_ZelOggPlay);
  plain.play(L"stereo.opus");
  check(plain.waitend() && plain.sink.events.back().rfind("ErrorCode 26 ", 0) == 0, "exopus: ZelOggPlay ends it with 26",
        joined(plain.sink.milestones()));
  Control c;
  c.create(CLSID_ZelOggPlayEx);
  c.play(L"stereo.opus");
  check(std::abs(c.number(L"Duration") - 4.0) < 1e-9 && c.text(L"Comment", L"TITLE") == L"fixture",
        "exopus: its length and comments when PlayFile returns");
  check(c.waitend() && c.sink.events.back() == "ErrorCode 0 No error", "exopus: ZelOggPlayEx plays it to its end",
        joined(c.sink.milestones()));
  bool settings = false;
  for (const std::string& e : c.sink.events) settings = settings || e.rfind("Settings 48000 ", 0) == 0;
  check(settings, "exopus: the Settings event gives 48000 Hz", joined(c.sink.events));
}

// FLAC through ZelOggPlayEx (the driver compares the capture with
// libFLAC's decode): its length, comments and settings when PlayFile
// returns, its level while it plays; ZelOggPlay finds it is not Ogg (23).
ZEL_CASE(caseexflac, "exflac", Alone, "a FLAC file through ZelOggPlayEx (the driver compares the capture); ZelOggPlay's 23") {
  Control plain;
  plain.create(CLSID_ZelOggPlay);
  plain.play(L"stereo.flac");
  check(plain.waitend() && plain.sink.events.back() == "ErrorCode 23 Input does not appear to be an Ogg bitstream",
        "exflac: ZelOggPlay ends it with 23", joined(plain.sink.milestones()));
  Control c;
  c.create(CLSID_ZelOggPlayEx);
  HRESULT hr = S_OK;
  check(spectrumof(c.dispatch.get(), 0, &hr).empty() && hr == E_INVALIDARG && spectrumof(c.dispatch.get(), 100000, &hr).empty() &&
            hr == E_INVALIDARG,
        "exflac: Spectrum(0) and Spectrum(100000) fail with E_INVALIDARG");
  const std::vector<double> before = spectrumof(c.dispatch.get(), 16);
  check(before.size() == 16 && std::all_of(before.begin(), before.end(), [](double l) { return l == 0; }),
        "exflac: Spectrum(16) with nothing playing is 16 zeros");
  c.play(L"stereo.flac");
  check(c.number(L"Duration") == 1.0 && c.text(L"Comment", L"TITLE") == L"Lossless" &&
            c.text(L"Comment", L"ARTIST") == L"Fixture",
        "exflac: its length and comments when PlayFile returns");
  double peak = 0, loudest = 0;
  std::size_t band = 0;
  pumpuntil([&] {
    peak = std::max(peak, c.number(L"PeakLevel"));
    const std::vector<double> levels = spectrumof(c.dispatch.get(), 32);
    for (std::size_t b = 0; b < levels.size(); ++b)
      if (levels[b] > loudest) loudest = levels[b], band = b;
    return c.sink.ended();
  });
  // Tones of 330 Hz and 440 Hz at 0.6, one a side: 0.3 each once the sides
  // are averaged, in band 12 or 14 of 32 (band b starts at 20 Hz x
  // 1000^(b/32)).
  check(loudest > 0.25 && loudest < 0.32 && (band == 12 || band == 14), "exflac: Spectrum shows the tones heard",
        std::to_string(loudest) + " in band " + std::to_string(band));
  check(c.sink.ended() && c.sink.events.back() == "ErrorCode 0 No error", "exflac: ZelOggPlayEx plays it to its end",
        joined(c.sink.milestones()));
  check(peak > 0.55 && peak < 0.75, "exflac: PeakLevel follows a tone of 0.6 with noise", std::to_string(peak));
  bool settings = false;
  for (const std::string& e : c.sink.events) settings = settings || e.rfind("Settings 44100 ", 0) == 0;
  check(settings, "exflac: the Settings event gives 44100 Hz", joined(c.sink.events));
}

// ZelOggPlayEx's own events: __ZelOggPlayEx is its default source (what
// VB6, .NET and WScript.ConnectObject connect to) with the six events and
// FadeDone; __ZelOggPlay is served beside it for programs built against
// 1.0 or 1.1, with the six alone. ZelOggPlay has no such point.
ZEL_CASE(caseexevents, "exevents", Together, "ZelOggPlayEx's events on its own source interface and on __ZelOggPlay") {
  Control c;
  check(c.create(CLSID_ZelOggPlayEx), "exevents: a sink connects to __ZelOggPlay");
  GUID source = GUID_NULL;
  auto info = c.unknown.as<IProvideClassInfo2>();
  check(info && SUCCEEDED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source)) && source == DIID___ZelOggPlayEx,
        "exevents: the default source is __ZelOggPlayEx");
  auto container = c.unknown.as<IConnectionPointContainer>();
  com::com_ptr<IEnumConnectionPoints> points;
  std::vector<IID> served;
  if (container && SUCCEEDED(container->EnumConnectionPoints(points.put()))) {
    IConnectionPoint* point = nullptr;
    while (points->Next(1, &point, nullptr) == S_OK) {
      IID iid = GUID_NULL;
      point->GetConnectionInterface(&iid);
      served.push_back(iid);
      point->Release();
    }
  }
  check(served == std::vector<IID>{DIID___ZelOggPlayEx, DIID___ZelOggPlay}, "exevents: both points are listed, its own first");
  Sink own(DIID___ZelOggPlayEx);
  com::com_ptr<IConnectionPoint> point;
  DWORD cookie = 0;
  check(container && SUCCEEDED(container->FindConnectionPoint(DIID___ZelOggPlayEx, point.put())) &&
            SUCCEEDED(point->Advise(&own, &cookie)),
        "exevents: a sink connects to __ZelOggPlayEx");
  check(SUCCEEDED(c.set(L"NearEndSeconds", 0.1)), "exevents: NearEndSeconds 0.1");
  VARIANT at;
  V_VT(&at) = VT_R8, V_R8(&at) = 0.05;
  check(SUCCEEDED(invokewith(c.dispatch.get(), L"AddMarker", {at})), "exevents: a marker at 0.05 s");
  V_R8(&at) = -1;
  EXCEPINFO e = {};
  check(invokewith(c.dispatch.get(), L"AddMarker", {at}, &e) == DISP_E_EXCEPTION && e.scode == E_INVALIDARG,
        "exevents: a marker at -1 s fails with E_INVALIDARG");
  clearexception(e);
  c.play(L"short.ogg");
  VARIANT volume, ms;
  V_VT(&volume) = VT_I4, V_I4(&volume) = 20;
  V_VT(&ms) = VT_I4, V_I4(&ms) = 100;
  check(SUCCEEDED(invokewith(c.dispatch.get(), L"FadeTo", {volume, ms})), "exevents: FadeTo(20, 100) while it plays");
  check(c.waitend() && pumpuntil([&] { return own.ended(); }), "exevents: the file ends on both");
  check(own.has("FadeDone") && own.has("Marker 0.050000") && own.has("NearEnd") && !c.sink.has("FadeDone") &&
            !c.sink.has("NearEnd"),
        "exevents: FadeDone, Marker(0.05) and NearEnd on __ZelOggPlayEx alone", joined(own.events) + " / " + joined(c.sink.events));
  check(own.milestones() == c.sink.milestones() && own.events.size() == c.sink.events.size() + 3,
        "exevents: the six events alike on both", joined(own.milestones()));
  check(c.number(L"Volume") == 20, "exevents: Volume reads the fade's volume");
  point->Unadvise(cookie);

  Control plain;
  plain.create(CLSID_ZelOggPlay);
  com::com_ptr<IConnectionPoint> none;
  auto plaincontainer = plain.unknown.as<IConnectionPointContainer>();
  check(plaincontainer && plaincontainer->FindConnectionPoint(DIID___ZelOggPlayEx, none.put()) == CONNECT_E_NOCONNECTION,
        "exevents: ZelOggPlay has no __ZelOggPlayEx");
}

}  // namespace controltest
