// Self-registration of an in-process server, driven by tables that the
// server gives: the registry entries every class gets, the classes with
// their own values, and the type libraries. Unregistering removes exactly
// what registering wrote; registering again rewrites the same values.
#pragma once
#include <cstddef>

#include "com/win.h"

namespace com {

// A table given as a C array.
template <typename T>
struct table {
  const T* items;
  std::size_t count;
  template <std::size_t N>
  constexpr table(const T (&array)[N]) : items(array), count(N) {}
  const T* begin() const { return items; }
  const T* end() const { return items + count; }
};

struct ClassInfo {
  const CLSID* clsid;
  const GUID* libid;      // its type library
  const wchar_t* progid;  // also its version-independent ProgID
  const wchar_t* version; // its type library's, as "major.minor"
  DWORD miscstatus;       // OLEMISC flags of its content aspect
};

// One value under the classes root, written for each class. In the key and
// the value, {CLSID}, {LIBID}, {PROGID}, {VERSION} and {MISCSTATUS} are
// filled in with the class's values (the misc status in decimal) and
// %MODULE% with this library's path.
struct RegistryEntry {
  const wchar_t* key;
  const wchar_t* name;   // null: the key's default value
  const wchar_t* value;  // null: the key alone
};

struct LibraryInfo {
  int resource;  // TYPELIB resource of this module
  const GUID* libid;
  WORD major, minor;
  LCID lcid;
  // The first minor version of this major one that a release registered:
  // the versions from it up to `minor` are removed when this one is
  // registered or removed, so that an update leaves no key behind.
  WORD firstminor = 0;
};

struct ServerInfo {
  table<ClassInfo> classes;
  table<RegistryEntry> entries;
  // The trees that unregistering deletes, for each class.
  table<const wchar_t*> ownedkeys;
  // Trees that 64-bit Windows shares between the 32-bit and the 64-bit
  // view of the classes (a ProgID; CLSID keys are kept apart): deleted for
  // a class only when the other view does not register it too, so that
  // unregistering one edition leaves the other working.
  table<const wchar_t*> sharedkeys;
  // Registered in this order; the library registered last owns the keys
  // of an interface that two of them describe.
  table<LibraryInfo> libraries;
};

// Machine-wide, or for the current user under HKCU\Software\Classes.
// Registering fails with SELFREG_E_CLASS or SELFREG_E_TYPELIB and then
// leaves nothing behind.
HRESULT RegisterServer(const ServerInfo& server, bool peruser);
HRESULT UnregisterServer(const ServerInfo& server, bool peruser);

}  // namespace com
