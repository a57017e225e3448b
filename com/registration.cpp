// Self-registration: the control class, its ProgID and its type library,
// machine-wide (DllRegisterServer) or for the current user
// (regsvr32 /n /i:user, through DllInstall). Unregistering removes exactly
// what registering wrote; registering again rewrites the same values.
#include <cwchar>

#include "ZelOggPlayer100.h"
#include "bridge/buffer.h"
#include "com/module.h"
#include "com/win.h"
#include "resources/resource.h"

namespace com {

namespace {

#define ZEL_NUMBER_TEXT(n) #n
#define ZEL_NUMBER(n) ZEL_NUMBER_TEXT(n)

struct Entry {
  const wchar_t* key;    // under the classes root; {CLSID} and {LIBID} are filled in
  const wchar_t* name;   // null: the key's default value
  const wchar_t* value;  // null: the key alone; %MODULE% is this library's path
};

const Entry Entries[] = {
    {L"CLSID\\{CLSID}", nullptr, L"ZelOggPlayer100.ZelOggPlay"},
    {L"CLSID\\{CLSID}\\InprocServer32", nullptr, L"%MODULE%"},
    {L"CLSID\\{CLSID}\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {L"CLSID\\{CLSID}\\ProgID", nullptr, L"ZelOggPlayer100.ZelOggPlay"},
    {L"CLSID\\{CLSID}\\VersionIndependentProgID", nullptr, L"ZelOggPlayer100.ZelOggPlay"},
    {L"CLSID\\{CLSID}\\Control", nullptr, nullptr},
    {L"CLSID\\{CLSID}\\ToolboxBitmap32", nullptr, L"%MODULE%, " ZEL_NUMBER(ZEL_TOOLBOX_BITMAP)},
    {L"CLSID\\{CLSID}\\TypeLib", nullptr, L"{LIBID}"},
    {L"CLSID\\{CLSID}\\Version", nullptr, L"23.0"},
    {L"CLSID\\{CLSID}\\MiscStatus", nullptr, L"0"},
    {L"CLSID\\{CLSID}\\MiscStatus\\1", nullptr, L"132497"},  // 0x20591
    {L"CLSID\\{CLSID}\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}", nullptr, nullptr},
    {L"ZelOggPlayer100.ZelOggPlay", nullptr, L"ZelOggPlayer100.ZelOggPlay"},
    {L"ZelOggPlayer100.ZelOggPlay\\CLSID", nullptr, L"{CLSID}"},
};

// The trees that unregistering deletes.
const wchar_t* const OwnedKeys[] = {L"CLSID\\{CLSID}", L"ZelOggPlayer100.ZelOggPlay"};

constexpr WORD TypeLibMajor = 23, TypeLibMinor = 0;
constexpr LCID TypeLibLcid = 0x0409;
#ifdef _WIN64
constexpr SYSKIND TypeLibKind = SYS_WIN64;
#else
constexpr SYSKIND TypeLibKind = SYS_WIN32;
#endif

using widetext = bridge::buffer<wchar_t>;

widetext guidtext(REFGUID guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

widetext modulepath() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(ModuleHandle(), path, MAX_PATH);
  return (n == 0 || n >= MAX_PATH) ? widetext() : widetext(path, n);
}

// The pattern with its marks replaced by the GUIDs and the library's path.
widetext expand(const wchar_t* pattern) {
  const struct {
    const wchar_t* mark;
    widetext value;
  } fills[] = {{L"{CLSID}", guidtext(CLSID_ZelOggPlay)}, {L"{LIBID}", guidtext(LIBID_ZelOggPlayer100)},
               {L"%MODULE%", modulepath()}};
  widetext text;
  while (*pattern) {
    bool filled = false;
    for (const auto& fill : fills) {
      const std::size_t n = lstrlenW(fill.mark);
      if (wcsncmp(pattern, fill.mark, n) == 0) {
        text += fill.value;
        pattern += n;
        filled = true;
        break;
      }
    }
    if (!filled) text += *pattern++;
  }
  return text;
}

// The root under which classes are registered.
struct ClassesRoot {
  HKEY key = nullptr;
  explicit ClassesRoot(bool peruser) {
    if (!peruser) {
      key = HKEY_CLASSES_ROOT;
    } else if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                               nullptr) != ERROR_SUCCESS) {
      key = nullptr;
    }
  }
  ~ClassesRoot() {
    if (key && key != HKEY_CLASSES_ROOT) RegCloseKey(key);
  }
};

bool writeentries(HKEY root) {
  for (const Entry& entry : Entries) {
    HKEY key;
    if (RegCreateKeyExW(root, expand(entry.key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return false;
    LONG result = ERROR_SUCCESS;
    if (entry.value) {
      const widetext value = expand(entry.value);
      result = RegSetValueExW(key, entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return false;
  }
  return true;
}

void deleteentries(HKEY root) {
  for (const wchar_t* key : OwnedKeys) RegDeleteTreeW(root, expand(key).c_str());
}

HRESULT unregister(bool peruser) {
  ClassesRoot root(peruser);
  if (root.key) deleteentries(root.key);
  const HRESULT typelib = peruser ? UnRegisterTypeLibForUser(LIBID_ZelOggPlayer100, TypeLibMajor, TypeLibMinor,
                                                             TypeLibLcid, TypeLibKind)
                                  : UnRegisterTypeLib(LIBID_ZelOggPlayer100, TypeLibMajor, TypeLibMinor, TypeLibLcid,
                                                      TypeLibKind);
  (void)typelib;  // not registered is as good as removed
  return S_OK;
}

HRESULT registerall(bool peruser) {
  ClassesRoot root(peruser);
  if (!root.key || !writeentries(root.key)) {
    unregister(peruser);
    return SELFREG_E_CLASS;
  }
  ITypeLib* lib = TypeLibrary();
  widetext path = modulepath();
  const HRESULT result = !lib ? TYPE_E_CANTLOADLIBRARY
                         : peruser ? RegisterTypeLibForUser(lib, path.data(), nullptr)
                                   : RegisterTypeLib(lib, path.data(), nullptr);
  if (FAILED(result)) {
    unregister(peruser);
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

}  // namespace

}  // namespace com

extern "C" HRESULT WINAPI DllRegisterServer() { return com::registerall(false); }
extern "C" HRESULT WINAPI DllUnregisterServer() { return com::unregister(false); }

// regsvr32 /n /i:user registers for the current user only; any other
// command line registers machine-wide.
extern "C" HRESULT WINAPI DllInstall(BOOL install, LPCWSTR commandline) {
  const bool peruser = commandline && lstrcmpiW(commandline, L"user") == 0;
  return install ? com::registerall(peruser) : com::unregister(peruser);
}
