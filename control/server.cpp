// The control library as an in-process server: its entry point, whether it
// may be unloaded, and what it registers (its two classes and their type
// libraries, machine-wide or for the current user).
#include "com/module.h"
#include "com/registration.h"
#include "control/zeloggplay.h"
#include "resources/resource.h"

namespace control {

namespace {

#define ZEL_NUMBER_TEXT(n) #n
#define ZEL_NUMBER(n) ZEL_NUMBER_TEXT(n)

const com::ClassInfo Classes[] = {
    {&CLSID_ZelOggPlay, &LIBID_ZelOggPlayer100, L"ZelOggPlayer100.ZelOggPlay", L"23.0", MiscStatus},
    {&CLSID_ZelOggPlayEx, &LIBID_ZelOggPlayerEx, L"ZelOggPlayer100.ZelOggPlayEx", L"1.2", MiscStatus},
};

const com::RegistryEntry Entries[] = {
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
    {L"CLSID\\{CLSID}\\MiscStatus\\1", nullptr, L"{MISCSTATUS}"},
    {L"CLSID\\{CLSID}\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}", nullptr, nullptr},
    {L"{PROGID}", nullptr, L"{PROGID}"},
    {L"{PROGID}\\CLSID", nullptr, L"{CLSID}"},
};

const wchar_t* const OwnedKeys[] = {L"CLSID\\{CLSID}"};
const wchar_t* const SharedKeys[] = {L"{PROGID}"};

// widl writes a copy of the event interface __ZelOggPlay into the second
// library, and the library registered last owns the interface's key: the
// first library, registered after the second, keeps it as it has always
// had it.
const com::LibraryInfo Libraries[] = {
    {ZEL_TYPELIB_EX_RESOURCE, &LIBID_ZelOggPlayerEx, 1, 2, TypeLibLcid, 0},
    {ZEL_TYPELIB_RESOURCE, &LIBID_ZelOggPlayer100, 23, 0, TypeLibLcid},
};

const com::ServerInfo Server = {Classes, Entries, OwnedKeys, SharedKeys, Libraries};

}  // namespace

}  // namespace control

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    com::ModuleAttached(instance);
    DisableThreadLibraryCalls(instance);
  }
  // Unloaded by FreeLibrary (not at process exit): no window of ours is
  // left, since DllCanUnloadNow allowed it.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) control::UnregisterWindowClasses();
  return TRUE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return com::CanUnloadNow() ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() { return com::RegisterServer(control::Server, false); }
extern "C" HRESULT WINAPI DllUnregisterServer() { return com::UnregisterServer(control::Server, false); }

// regsvr32 /n /i:user registers for the current user only; any other
// command line registers machine-wide.
extern "C" HRESULT WINAPI DllInstall(BOOL install, LPCWSTR commandline) {
  const bool peruser = commandline && lstrcmpiW(commandline, L"user") == 0;
  return install ? com::RegisterServer(control::Server, peruser) : com::UnregisterServer(control::Server, peruser);
}
