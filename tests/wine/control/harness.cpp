#include "tests/wine/control/harness.h"

namespace controltest {


int passed = 0, failed = 0;
std::wstring fixtures;
std::string capture;
std::wstring openedfile;  // the folder the recording handler writes into, when the driver set one up

void check(bool ok, const std::string& name, const std::string& why) {
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
bool engineleft() {
  return pumpuntil([] { return GetModuleHandleW(L"" ZEL_ENGINE_FILE) == nullptr; }, 10000);
}

bool pumpuntil(const std::function<bool()>& condition, DWORD limit) {
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

void pumpfor(DWORD ms) {
  const DWORD until = GetTickCount() + ms;
  pumpuntil([until] { return static_cast<LONG>(GetTickCount() - until) >= 0; });
}

void mark(const char* what, double value, long long at) {
  std::printf("mark: %s %lld %.6f\n", what, at < 0 ? capturedbytes() : at, value);
}

bool soundcaptured(long long from) {
  FILE* f = std::fopen(capture.c_str(), "rb");
  if (!f) return false;
  if (from > 0 && _fseeki64(f, from, SEEK_SET) != 0) {
    std::fclose(f);
    return false;
  }
  short buffer[4096];
  std::size_t n;
  bool any = false;
  while (!any && (n = std::fread(buffer, 2, 4096, f)) > 0)
    for (std::size_t i = 0; i < n; ++i) any |= buffer[i] != 0;
  std::fclose(f);
  return any;
}

long long capturedbytes() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(capture.c_str(), GetFileExInfoStandard, &data)) return -1;
  return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

long long quietmark() {
  constexpr long long quiet = 44100 * 4 / 2;  // half a second of 44100 Hz stereo 16-bit
  long long mark = -1;
  pumpuntil([&] {
    const long long now = capturedbytes();
    if (now < quiet || soundcaptured(now - quiet)) return false;
    mark = now;
    return true;
  });
  return mark;
}

namespace {

int timerfired = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++timerfired; }

}  // namespace

void lettimerstick() {
  timerfired = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, control::Timer2Interval, CountTick);
  pumpuntil([] { return timerfired >= 2; });
  KillTimer(nullptr, timer);
}

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += (out.empty() ? "" : " | ") + l;
  return out;
}

bool defaultinterfaces(ITypeInfo* coclass, REFIID iface, UINT* events, REFIID source) {
  TYPEATTR* ca;
  if (FAILED(coclass->GetTypeAttr(&ca))) return false;
  const UINT count = ca->cImplTypes;
  coclass->ReleaseTypeAttr(ca);
  bool incoming = false, outgoing = false;
  for (UINT i = 0; i < count; ++i) {
    INT flags = 0;
    HREFTYPE ref;
    com::com_ptr<ITypeInfo> impl;
    coclass->GetImplTypeFlags(i, &flags);
    coclass->GetRefTypeOfImplType(i, &ref);
    if (FAILED(coclass->GetRefTypeInfo(ref, impl.put()))) return false;
    if (!(flags & IMPLTYPEFLAG_FDEFAULT)) continue;
    TYPEATTR* ia;
    impl->GetTypeAttr(&ia);
    if (flags & IMPLTYPEFLAG_FSOURCE) {
      outgoing = ia->guid == source;
      if (events) *events = ia->cFuncs;
    } else {
      incoming = ia->guid == iface;
    }
    impl->ReleaseTypeAttr(ia);
  }
  return incoming && outgoing;
}

bool vtableview(ITypeInfo* dual, com::com_ptr<ITypeInfo>& vtable, com::com_ptr<ITypeInfo>& base) {
  HREFTYPE ref;
  return SUCCEEDED(dual->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) &&
         SUCCEEDED(dual->GetRefTypeInfo(ref, vtable.put())) && SUCCEEDED(vtable->GetRefTypeOfImplType(0, &ref)) &&
         SUCCEEDED(vtable->GetRefTypeInfo(ref, base.put()));
}

bool dualafter(ITypeInfo* dual, REFIID base, UINT own, UINT before) {
  com::com_ptr<ITypeInfo> vtable, derived;
  if (!dual || !vtableview(dual, vtable, derived)) return false;
  TYPEATTR* ta;
  derived->GetTypeAttr(&ta);
  bool ok = ta->guid == base;
  derived->ReleaseTypeAttr(ta);
  vtable->GetTypeAttr(&ta);
  ok = ok && (ta->wTypeFlags & TYPEFLAG_FDUAL) && ta->cFuncs == own && ta->cbSizeVft == (before + own) * sizeof(void*);
  vtable->ReleaseTypeAttr(ta);
  return ok;
}

std::wstring regvalue(HKEY root, const std::wstring& key, const wchar_t* name) {
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

std::wstring deployedpath() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"ZelSoftware\\" ZEL_ENGINE_FILE;
}

FILETIME written(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

// Runs a body on a new apartment thread: each thread has its own link to
// the engine, so it deploys again.
namespace {
DWORD WINAPI RunBody(void* body) {
  CoInitialize(nullptr);
  (*static_cast<const std::function<void()>*>(body))();
  CoUninitialize();
  return 0;
}
}  // namespace

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

namespace {

std::vector<Case>& registry() {
  static std::vector<Case> all;
  return all;
}

}  // namespace

const std::vector<Case>& cases() { return registry(); }

bool addcase(const Case& entry) {
  registry().push_back(entry);
  return true;
}

}  // namespace controltest
