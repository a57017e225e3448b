// zelplay: a small console host of the ZelOggPlay control. It creates the
// control through COM as a form's container would (site, initialisation,
// events through the connection point), plays one file with PlayFile,
// prints every event as it arrives, and exits with the last error number
// the control reported.
// Usage: zelplay FILE.ogg [--ocx PATH]   (without --ocx: the registered control)
#include <cstdio>
#include <string>

#include "ZelOggPlayer100.h"
#include "com/ptr.h"
#include "com/win.h"

namespace {

int lasterror = -1;
bool finished = false;

std::string narrow(BSTR s) {
  std::string out;
  for (UINT i = 0; s && i < SysStringLen(s); ++i) out.push_back(s[i] < 128 ? static_cast<char>(s[i]) : '?');
  return out;
}

long arglong(DISPPARAMS* p, UINT i) { return *V_I4REF(&p->rgvarg[p->cArgs - 1 - i]); }
std::string argtext(DISPPARAMS* p, UINT i) { return narrow(*V_BSTRREF(&p->rgvarg[p->cArgs - 1 - i])); }

// The event sink: prints each event on its own line.
class Sink final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID___ZelOggPlay) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    switch (id) {
      case 1: std::printf("Status %s\n", argtext(p, 0).c_str()); break;
      case 2: std::printf("Finished\n"); finished = true; break;
      case 3:
        std::printf("OggVorbisSettings rate %ld, bitrate %ld, channels %ld, version %ld, vendor \"%s\"\n",
                    arglong(p, 0), arglong(p, 1), arglong(p, 2), arglong(p, 3), argtext(p, 4).c_str());
        break;
      case 4: std::printf("Progress %ld %s\n", arglong(p, 0), argtext(p, 1).c_str()); break;
      case 5: std::printf("TimePosition %ld %s\n", arglong(p, 0), argtext(p, 1).c_str()); break;
      case 6:
        lasterror = static_cast<int>(arglong(p, 0));
        std::printf("ErrorCode %ld \"%s\"\n", arglong(p, 0), argtext(p, 1).c_str());
        break;
      default: return DISP_E_MEMBERNOTFOUND;
    }
    std::fflush(stdout);
    return S_OK;
  }
};

// The client site: a container at run time (ambient UserMode true).
class Site final : public IOleClientSite, public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
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
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (id != DISPID_AMBIENT_USERMODE || !result) return DISP_E_MEMBERNOTFOUND;
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = VARIANT_TRUE;
    return S_OK;
  }
};

com::com_ptr<IUnknown> createcontrol(const wchar_t* ocx) {
  com::com_ptr<IUnknown> control;
  if (!ocx) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"ZelOggPlayer100.ZelOggPlay", &clsid))) {
      std::fprintf(stderr, "zelplay: the control is not registered (regsvr32 zeloggplays100.ocx)\n");
      return control;
    }
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control.put_void());
    return control;
  }
  HMODULE library = LoadLibraryW(ocx);
  using getclassobject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  auto get = library ? reinterpret_cast<getclassobject>(
                           reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")))
                     : nullptr;
  com::com_ptr<IClassFactory> factory;
  if (get && SUCCEEDED(get(CLSID_ZelOggPlay, IID_IClassFactory, factory.put_void())))
    factory->CreateInstance(nullptr, IID_IUnknown, control.put_void());
  return control;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && !(argc == 4 && std::wstring(argv[2]) == L"--ocx")) {
    std::fprintf(stderr, "usage: zelplay FILE.ogg [--ocx PATH]\n");
    return 2;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);
  CoInitialize(nullptr);
  int exitcode = 1;
  {
    com::com_ptr<IUnknown> control = createcontrol(argc == 4 ? argv[3] : nullptr);
    if (!control) {
      std::fprintf(stderr, "zelplay: cannot create ZelOggPlay\n");
      CoUninitialize();
      return 1;
    }
    Site site;
    Sink sink;
    auto object = control.as<IOleObject>();
    DWORD misc = 0;
    if (object) {
      object->GetMiscStatus(DVASPECT_CONTENT, &misc);
      object->SetClientSite(&site);
    }
    if (auto persist = control.as<IPersistStreamInit>()) persist->InitNew();

    // Finds the event interface as hosts do, and connects the sink.
    IID events = DIID___ZelOggPlay;
    if (auto info = control.as<IProvideClassInfo2>()) info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events);
    com::com_ptr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (auto container = control.as<IConnectionPointContainer>())
      if (SUCCEEDED(container->FindConnectionPoint(events, point.put()))) point->Advise(&sink, &cookie);

    auto dispatch = control.as<IDispatch>();
    LPOLESTR name = const_cast<LPOLESTR>(L"PlayFile");
    DISPID id = 0;
    com::bstr path(argv[1]);
    VARIANT argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_BSTR;
    V_BSTR(&argument) = path.get();
    DISPPARAMS params = {&argument, nullptr, 1, 0};
    EXCEPINFO exception = {};
    com::variant result;
    HRESULT hr = dispatch ? dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id) : E_NOINTERFACE;
    if (SUCCEEDED(hr))
      hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), &exception,
                            nullptr);
    if (FAILED(hr)) {
      std::printf("PlayFile failed: 0x%08lx %s\n", static_cast<unsigned long>(exception.scode ? exception.scode : hr),
                  narrow(exception.bstrDescription).c_str());
      SysFreeString(exception.bstrSource);
      SysFreeString(exception.bstrDescription);
      SysFreeString(exception.bstrHelpFile);
    } else {
      // The control's timers tick through this thread's messages. The run
      // ends with the ErrorCode that follows Finished.
      MSG msg;
      while (!(finished && lasterror >= 0) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      exitcode = lasterror;
    }

    if (point) point->Unadvise(cookie);
    if (object) {
      object->Close(OLECLOSE_NOSAVE);
      object->SetClientSite(nullptr);
    }
  }
  CoUninitialize();
  return exitcode;
}
