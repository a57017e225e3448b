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

bool writeentries(HKEY root, const ServerInfo& server, const ClassInfo& cls) {
  for (const RegistryEntry& entry : server.entries) {
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

// Whether the other view of the registry (64-bit for a 32-bit library, and
// the other way round) registers the class. On 32-bit Windows there is one
// view, where the class's key is already gone.
bool otherviewregisters(HKEY root, const ClassInfo& cls) {
#ifdef _WIN64
  constexpr REGSAM otherview = KEY_WOW64_32KEY;
#else
  constexpr REGSAM otherview = KEY_WOW64_64KEY;
#endif
  HKEY key;
  const widetext name = expand(L"CLSID\\{CLSID}\\InprocServer32", cls);
  if (RegOpenKeyExW(root, name.c_str(), 0, KEY_READ | otherview, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// Not registered is as good as removed.
void unregisterlibrary(const LibraryInfo& lib, WORD minor, bool peruser) {
  if (peruser) UnRegisterTypeLibForUser(*lib.libid, lib.major, minor, lib.lcid, TypeLibKind);
  else UnRegisterTypeLib(*lib.libid, lib.major, minor, lib.lcid, TypeLibKind);
}

void unregisterolder(const LibraryInfo& lib, bool peruser) {
  for (WORD minor = lib.firstminor; minor < lib.minor; ++minor) unregisterlibrary(lib, minor, peruser);
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
    unregisterlibrary(lib, lib.minor, peruser);
    unregisterolder(lib, peruser);
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
    unregisterolder(info, peruser);
    ITypeLib* lib = TypeLibrary(info.resource);
    wchar_t path[MAX_PATH + 4];
    const HRESULT result = !lib || !TypeLibraryPath(info.resource, path) ? TYPE_E_CANTLOADLIBRARY
                           : peruser ? RegisterTypeLibForUser(lib, path, nullptr)
                                     : RegisterTypeLib(lib, path, nullptr);
    if (FAILED(result)) {
      UnregisterServer(server, peruser);
      return SELFREG_E_TYPELIB;
    }
  }
  return S_OK;
}

}  // namespace com
