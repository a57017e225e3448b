#include "com/module.h"

#include "ZelOggPlayer100.h"
#include "control/zeloggplay.h"

namespace com {

namespace {

HMODULE self = nullptr;
LONG objects = 0;
LONG locks = 0;
ITypeLib* typelib = nullptr;

}  // namespace

HMODULE ModuleHandle() { return self; }
void ObjectCreated() { InterlockedIncrement(&objects); }
void ObjectDestroyed() { InterlockedDecrement(&objects); }
void LockModule(bool lock) { lock ? InterlockedIncrement(&locks) : InterlockedDecrement(&locks); }

ITypeLib* TypeLibrary() {
  if (!typelib) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    ITypeLib* loaded = nullptr;
    if (SUCCEEDED(LoadTypeLibEx(path, REGKIND_NONE, &loaded)) &&
        InterlockedCompareExchangePointer(reinterpret_cast<void**>(&typelib), loaded, nullptr) != nullptr)
      loaded->Release();  // another thread was first
  }
  return typelib;
}

ITypeInfo* TypeInfoOf(REFGUID guid) {
  ITypeLib* lib = TypeLibrary();
  ITypeInfo* info = nullptr;
  if (lib && FAILED(lib->GetTypeInfoOfGuid(guid, &info))) info = nullptr;
  return info;
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
  if (ITypeLib* lib = static_cast<ITypeLib*>(InterlockedExchangePointer(reinterpret_cast<void**>(&com::typelib), nullptr)))
    lib->Release();
  return S_OK;
}
