// Self-registration from the server's tables.
#include "com/registration.h"

#include <cwchar>

#include "base/buffer.h"
#include "com/module.h"

namespace com {

namespace {

#ifdef _WIN64
constexpr SYSKIND TypeLibKind = SYS_WIN64;
#else
constexpr SYSKIND TypeLibKind = SYS_WIN32;
#endif

using widetext = base::buffer<wchar_t>;

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
  wchar_t misc[12], *first = misc + 11;
  *first = L'\0';
  DWORD rest = cls.miscstatus;
  do *--first = static_cast<wchar_t>(L'0' + rest % 10); while (rest /= 10);
  const struct {
    const wchar_t* mark;
    widetext value;
  } fills[] = {{L"{CLSID}", guidtext(*cls.clsid)}, {L"{LIBID}", guidtext(*cls.libid)},
               {L"{PROGID}", cls.progid},          {L"{VERSION}", cls.version},
               {L"{MISCSTATUS}", first},            {L"%MODULE%", modulepath()}};
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

// The root under which classes are registered: HKLM\Software\Classes for
// all users, HKCU\Software\Classes for the current user, each named
// explicitly. HKEY_CLASSES_ROOT would not do for either: Windows writes
// through it to the user's key whenever that key already exists there, so
// an elevated registration after a per-user one would only update the
// user's keys and register nothing for all users.
struct ClassesRoot {
  HKEY key = nullptr;
  explicit ClassesRoot(bool peruser) {
    if (RegCreateKeyExW(peruser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
      key = nullptr;
  }
  ~ClassesRoot() {
    if (key) RegCloseKey(key);
  }
  ClassesRoot(const ClassesRoot&) = delete;
  ClassesRoot& operator=(const ClassesRoot&) = delete;
};

// RegisterTypeLib and UnRegisterTypeLib write through HKEY_CLASSES_ROOT;
// for machine-wide registration it is pointed at the machine's classes
// while they run (RegisterTypeLibForUser does the same with the user's),
// and given back to the system's own view after.
class MachineClassesOverride {
 public:
  MachineClassesOverride(HKEY machineclasses, bool peruser) : active_(!peruser && machineclasses) {
    if (active_) active_ = RegOverridePredefKey(HKEY_CLASSES_ROOT, machineclasses) == ERROR_SUCCESS;
  }
  ~MachineClassesOverride() {
    if (active_) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  }
  MachineClassesOverride(const MachineClassesOverride&) = delete;
  MachineClassesOverride& operator=(const MachineClassesOverride&) = delete;

 private:
  bool active_;
};

// Creates the key and, given a value, sets its value `valuename` (null:
// the default one) as text.
bool writevalue(HKEY root, const wchar_t* name, const wchar_t* valuename, const wchar_t* value) {
  HKEY key;
  if (RegCreateKeyExW(root, name, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) return false;
  const LONG result = !value ? ERROR_SUCCESS
                             : RegSetValueExW(key, valuename, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                              static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

// Whether the key exists in that view of the registry.
bool keyexists(HKEY root, const wchar_t* name, REGSAM view) {
  HKEY key;
  if (RegOpenKeyExW(root, name, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool writeentries(HKEY root, const ServerInfo& server, const ClassInfo& cls) {
  for (const RegistryEntry& entry : server.entries) {
    const widetext value = entry.value ? expand(entry.value, cls) : widetext();
    if (!writevalue(root, expand(entry.key, cls).c_str(), entry.name, entry.value ? value.c_str() : nullptr))
      return false;
  }
  return true;
}

// Whether the other view of the registry (64-bit for a 32-bit library, and
// the other way round) registers the class. On 32-bit Windows there is one
// view, where the class's key is already gone.
bool otherviewregisters(HKEY root, const ClassInfo& cls) {
#ifdef _WIN64
  constexpr REGSAM otherview = KEY_WOW64_32KEY;
#else
  constexpr REGSAM otherview = KEY_WOW64_64KEY;
#endif
  return keyexists(root, expand(L"CLSID\\{CLSID}\\InprocServer32", cls).c_str(), otherview);
}

// A library version's locale key: TypeLib\{LIBID}\major.minor\lcid, the
// numbers in hex as Windows writes them; the library's own locale unless
// another is given.
widetext librarykey(const LibraryInfo& lib, WORD minor, LCID lcid) {
  wchar_t numbers[40];
  wsprintfW(numbers, L"\\%x.%x\\%x", lib.major, minor, lcid);
  return widetext(L"TypeLib\\") + guidtext(*lib.libid) + numbers;
}
widetext librarykey(const LibraryInfo& lib, WORD minor) { return librarykey(lib, minor, lib.lcid); }

constexpr const wchar_t* ThisPlatform = TypeLibKind == SYS_WIN64 ? L"\\win64" : L"\\win32";
constexpr const wchar_t* OtherPlatform = TypeLibKind == SYS_WIN64 ? L"\\win32" : L"\\win64";

// A library of a locale of its own is registered under the neutral locale
// too, pointing to the same file: the lookup goes from the locale asked for
// toward neutral, never the other way, and the type library marshaler (for
// calls between apartments) and many tools ask for locale 0. Removed before
// the library itself; the neutral locale's key goes once no edition is left
// under it.
bool writeneutral(HKEY root, const LibraryInfo& lib, const wchar_t* path) {
  return lib.lcid == LOCALE_NEUTRAL ||
         writevalue(root, (librarykey(lib, lib.minor, LOCALE_NEUTRAL) + ThisPlatform).c_str(), nullptr, path);
}

void removeneutral(HKEY root, const LibraryInfo& lib, WORD minor) {
  if (lib.lcid == LOCALE_NEUTRAL) return;
  const widetext neutral = librarykey(lib, minor, LOCALE_NEUTRAL);
  RegDeleteTreeW(root, (neutral + ThisPlatform).c_str());
  RegDeleteKeyW(root, neutral.c_str());  // only when empty: the other edition's stays
}

// Whether the other edition (win64 beside win32, or the other way round)
// registers this version of the library too. The TypeLib tree is shared by
// both views of the registry on 64-bit Windows; both are asked all the same.
bool otheredition(HKEY root, const LibraryInfo& lib, WORD minor) {
  const widetext key = librarykey(lib, minor) + OtherPlatform;
  return keyexists(root, key.c_str(), KEY_WOW64_32KEY) || keyexists(root, key.c_str(), KEY_WOW64_64KEY);
}

// Not registered is as good as removed. UnRegisterTypeLib also deletes the
// Interface keys of the library's interfaces, in both views of the
// registry, which the other edition needs for calls between apartments:
// while it registers the library, only this edition's platform key goes.
void unregisterlibrary(HKEY root, const LibraryInfo& lib, WORD minor, bool peruser) {
  if (root) removeneutral(root, lib, minor);
  if (root && otheredition(root, lib, minor)) {
    RegDeleteTreeW(root, (librarykey(lib, minor) + ThisPlatform).c_str());
    return;
  }
  const MachineClassesOverride machine(root, peruser);
  if (peruser) UnRegisterTypeLibForUser(*lib.libid, lib.major, minor, lib.lcid, TypeLibKind);
  else UnRegisterTypeLib(*lib.libid, lib.major, minor, lib.lcid, TypeLibKind);
}

void unregisterolder(HKEY root, const LibraryInfo& lib, bool peruser) {
  for (WORD minor = lib.firstminor; minor < lib.minor; ++minor) unregisterlibrary(root, lib, minor, peruser);
}

}  // namespace

HRESULT UnregisterServer(const ServerInfo& server, bool peruser) {
  ClassesRoot root(peruser);
  if (root.key) {
    for (const ClassInfo& cls : server.classes) {
      for (const wchar_t* key : server.ownedkeys) RegDeleteTreeW(root.key, expand(key, cls).c_str());
      if (otherviewregisters(root.key, cls)) continue;
      for (const wchar_t* key : server.sharedkeys) RegDeleteTreeW(root.key, expand(key, cls).c_str());
    }
  }
  for (const LibraryInfo& lib : server.libraries) {
    unregisterlibrary(root.key, lib, lib.minor, peruser);
    unregisterolder(root.key, lib, peruser);
  }
  return S_OK;
}

HRESULT RegisterServer(const ServerInfo& server, bool peruser) {
  ClassesRoot root(peruser);
  bool written = root.key != nullptr;
  for (const ClassInfo& cls : server.classes) written = written && writeentries(root.key, server, cls);
  if (!written) {
    UnregisterServer(server, peruser);
    return SELFREG_E_CLASS;
  }
  for (const LibraryInfo& info : server.libraries) {
    unregisterolder(root.key, info, peruser);
    ITypeLib* lib = TypeLibrary(info.resource);
    wchar_t path[MAX_PATH + 4];
    HRESULT result = TYPE_E_CANTLOADLIBRARY;
    if (lib && TypeLibraryPath(info.resource, path)) {
      const MachineClassesOverride machine(root.key, peruser);
      result = peruser ? RegisterTypeLibForUser(lib, path, nullptr) : RegisterTypeLib(lib, path, nullptr);
    }
    if (SUCCEEDED(result) && !writeneutral(root.key, info, path)) result = E_FAIL;
    if (FAILED(result)) {
      UnregisterServer(server, peruser);
      return SELFREG_E_TYPELIB;
    }
  }
  return S_OK;
}

}  // namespace com
