// Self-registration: the two control classes, their ProgIDs and their type
// libraries,
// machine-wide (DllRegisterServer) or for the current user
// (regsvr32 /n /i:user, through DllInstall). Unregistering removes exactly
// what registering wrote; registering again rewrites the same values.
#include <cwchar>

#include "ZelOggPlayer100.h"
#include "ZelOggPlayerEx.h"
#include "bridge/buffer.h"
#include "com/module.h"
#include "com/win.h"
#include "resources/resource.h"

namespace com {

namespace {

#define ZEL_NUMBER_TEXT(n) #n
#define ZEL_NUMBER(n) ZEL_NUMBER_TEXT(n)

// The classes: each gets every entry below, with its own values filled in.
struct ClassInfo {
  const CLSID* clsid;
  const GUID* libid;
  const wchar_t* progid;
  const wchar_t* version;  // its type library's
};
const ClassInfo Classes[] = {
    {&CLSID_ZelOggPlay, &LIBID_ZelOggPlayer100, L"ZelOggPlayer100.ZelOggPlay", L"23.0"},
    {&CLSID_ZelOggPlayEx, &LIBID_ZelOggPlayerEx, L"ZelOggPlayer100.ZelOggPlayEx", L"1.0"},
};

struct Entry {
  const wchar_t* key;    // under the classes root; {CLSID}, {LIBID}, {PROGID}, {VERSION} are filled in
  const wchar_t* name;   // null: the key's default value
  const wchar_t* value;  // null: the key alone; %MODULE% is this library's path
};

const Entry Entries[] = {
    {L"CLSID\\{CLSID}", nullptr, L"{PROGID}"},
    {L"CLSID\\{CLSID}\\InprocServer32", nullptr, L"%MODULE%"},
    {L"CLSID\\{CLSID}\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {L"CLSID\\{CLSID}\\ProgID", nullptr, L"{PROGID}"},
    {L"CLSID\\{CLSID}\\VersionIndependentProgID", nullptr, L"{PROGID}"},
    {L"CLSID\\{CLSID}\\Control", nullptr, nullptr},
    {L"CLSID\\{CLSID}\\ToolboxBitmap32", nullptr, L"%MODULE%, " ZEL_NUMBER(ZEL_TOOLBOX_BITMAP)},
    {L"CLSID\\{CLSID}\\TypeLib", nullptr, L"{LIBID}"},
    {L"CLSID\\{CLSID}\\Version", nullptr, L"{VERSION}"},
    {L"CLSID\\{CLSID}\\MiscStatus", nullptr, L"0"},
    {L"CLSID\\{CLSID}\\MiscStatus\\1", nullptr, L"132497"},  // 0x20591
    {L"CLSID\\{CLSID}\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}", nullptr, nullptr},
    {L"{PROGID}", nullptr, L"{PROGID}"},
    {L"{PROGID}\\CLSID", nullptr, L"{CLSID}"},
};

// The trees that unregistering deletes, for each class.
const wchar_t* const OwnedKeys[] = {L"CLSID\\{CLSID}", L"{PROGID}"};

// The type libraries, in the order they are registered. widl writes a copy
// of the event interface __ZelOggPlay into the second library, and the
// library registered last owns the interface's key: the first library,
// registered after the second, keeps it as it has always had it.
struct LibraryInfo {
  int resource;
  const GUID* libid;
  WORD major, minor;
};
const LibraryInfo Libraries[] = {
    {ZEL_TYPELIB_EX_RESOURCE, &LIBID_ZelOggPlayerEx, 1, 0},
    {ZEL_TYPELIB_RESOURCE, &LIBID_ZelOggPlayer100, 23, 0},
};
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

// The pattern with its marks replaced by the class's values and the
// library's path.
widetext expand(const wchar_t* pattern, const ClassInfo& cls) {
  const struct {
    const wchar_t* mark;
    widetext value;
  } fills[] = {{L"{CLSID}", guidtext(*cls.clsid)}, {L"{LIBID}", guidtext(*cls.libid)},
               {L"{PROGID}", cls.progid}, {L"{VERSION}", cls.version}, {L"%MODULE%", modulepath()}};
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

bool writeentries(HKEY root, const ClassInfo& cls) {
  for (const Entry& entry : Entries) {
    HKEY key;
    if (RegCreateKeyExW(root, expand(entry.key, cls).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return false;
    LONG result = ERROR_SUCCESS;
    if (entry.value) {
      const widetext value = expand(entry.value, cls);
      result = RegSetValueExW(key, entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return false;
  }
  return true;
}

void deleteentries(HKEY root) {
  for (const ClassInfo& cls : Classes)
    for (const wchar_t* key : OwnedKeys) RegDeleteTreeW(root, expand(key, cls).c_str());
}

HRESULT unregister(bool peruser) {
  ClassesRoot root(peruser);
  if (root.key) deleteentries(root.key);
  // Not registered is as good as removed.
  for (const LibraryInfo& lib : Libraries) {
    if (peruser) UnRegisterTypeLibForUser(*lib.libid, lib.major, lib.minor, TypeLibLcid, TypeLibKind);
    else UnRegisterTypeLib(*lib.libid, lib.major, lib.minor, TypeLibLcid, TypeLibKind);
  }
  return S_OK;
}

// The path a library is registered with: the module's, with "\\2" after it
// for the second resource.
widetext librarypath(const LibraryInfo& lib) {
  widetext path = modulepath();
  if (lib.resource != ZEL_TYPELIB_RESOURCE) path += L"\\2";
  return path;
}

HRESULT registerall(bool peruser) {
  ClassesRoot root(peruser);
  bool written = root.key != nullptr;
  for (const ClassInfo& cls : Classes) written = written && writeentries(root.key, cls);
  if (!written) {
    unregister(peruser);
    return SELFREG_E_CLASS;
  }
  for (const LibraryInfo& info : Libraries) {
    ITypeLib* lib = TypeLibrary(info.resource);
    widetext path = librarypath(info);
    const HRESULT result = !lib ? TYPE_E_CANTLOADLIBRARY
                           : peruser ? RegisterTypeLibForUser(lib, path.data(), nullptr)
                                     : RegisterTypeLib(lib, path.data(), nullptr);
    if (FAILED(result)) {
      unregister(peruser);
      return SELFREG_E_TYPELIB;
    }
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
