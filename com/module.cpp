#include "com/module.h"

#include "ZelOggPlayer100.h"
#include "control/zeloggplay.h"
#include "resources/resource.h"

namespace com {

namespace {

HMODULE self = nullptr;
LONG objects = 0;
LONG locks = 0;
// The two type libraries, by their resource number.
ITypeLib* typelibs[2] = {};

}  // namespace

HMODULE ModuleHandle() { return self; }
void ObjectCreated() { InterlockedIncrement(&objects); }
void ObjectDestroyed() { InterlockedDecrement(&objects); }
void LockModule(bool lock) { lock ? InterlockedIncrement(&locks) : InterlockedDecrement(&locks); }

ITypeLib* TypeLibrary(int resource) {
  if (resource != ZEL_TYPELIB_RESOURCE && resource != ZEL_TYPELIB_EX_RESOURCE) return nullptr;
  // The second library imports the first: the first is loaded before it.
  if (resource == ZEL_TYPELIB_EX_RESOURCE) TypeLibrary(ZEL_TYPELIB_RESOURCE);
  ITypeLib*& typelib = typelibs[resource - 1];
  if (!typelib) {
    // The first library is the module's path alone; the second is "\2"
    // after it.
    wchar_t path[MAX_PATH + 3];
    const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    if (resource != ZEL_TYPELIB_RESOURCE) lstrcatW(path, L"\\2");
    ITypeLib* loaded = nullptr;
    if (SUCCEEDED(LoadTypeLibEx(path, REGKIND_NONE, &loaded)) &&
        InterlockedCompareExchangePointer(reinterpret_cast<void**>(&typelib), loaded, nullptr) != nullptr)
      loaded->Release();  // another thread was first
  }
  return typelib;
}

ITypeInfo* TypeInfoOf(REFGUID guid) {
  for (int resource : {ZEL_TYPELIB_RESOURCE, ZEL_TYPELIB_EX_RESOURCE}) {
    ITypeLib* lib = TypeLibrary(resource);
    ITypeInfo* info = nullptr;
    if (lib && SUCCEEDED(lib->GetTypeInfoOfGuid(guid, &info))) return info;
  }
  return nullptr;
}

}  // namespace com

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    com::self = instance;
    DisableThreadLibraryCalls(instance);
  }
  // Unloaded by FreeLibrary (not at process exit): no window of ours is
  // left, since DllCanUnloadNow allowed it.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) control::UnregisterWindowClasses();
  return TRUE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
  if (com::objects != 0 || com::locks != 0) return S_FALSE;
  for (ITypeLib*& typelib : com::typelibs)
    if (ITypeLib* lib = static_cast<ITypeLib*>(InterlockedExchangePointer(reinterpret_cast<void**>(&typelib), nullptr)))
      lib->Release();
  return S_OK;
}
