#include "com/module.h"

namespace com {

namespace {

// What a DLL is to Windows is process-wide by nature: one of each.
HMODULE self = nullptr;
LONG objects = 0;
LONG locks = 0;
ITypeLib* typelibs[MaxTypeLibraries] = {};

}  // namespace

void ModuleAttached(HMODULE module) { self = module; }
HMODULE ModuleHandle() { return self; }
void ObjectCreated() { InterlockedIncrement(&objects); }
void ObjectDestroyed() { InterlockedDecrement(&objects); }
void LockModule(bool lock) { lock ? InterlockedIncrement(&locks) : InterlockedDecrement(&locks); }

bool CanUnloadNow() {
  if (objects != 0 || locks != 0) return false;
  for (ITypeLib*& typelib : typelibs)
    if (ITypeLib* lib = static_cast<ITypeLib*>(InterlockedExchangePointer(reinterpret_cast<void**>(&typelib), nullptr)))
      lib->Release();
  return true;
}

bool TypeLibraryPath(int resource, wchar_t (&path)[MAX_PATH + 4]) {
  const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  if (resource != 1) {
    path[n] = L'\\';
    path[n + 1] = static_cast<wchar_t>(L'0' + resource);
    path[n + 2] = L'\0';
  }
  return true;
}

ITypeLib* TypeLibrary(int resource) {
  if (resource < 1 || resource > MaxTypeLibraries) return nullptr;
  for (int imported = 1; imported < resource; ++imported) TypeLibrary(imported);
  ITypeLib*& typelib = typelibs[resource - 1];
  wchar_t path[MAX_PATH + 4];
  if (!typelib && TypeLibraryPath(resource, path)) {
    ITypeLib* loaded = nullptr;
    if (SUCCEEDED(LoadTypeLibEx(path, REGKIND_NONE, &loaded)) &&
        InterlockedCompareExchangePointer(reinterpret_cast<void**>(&typelib), loaded, nullptr) != nullptr)
      loaded->Release();  // another thread was first
  }
  return typelib;
}

ITypeInfo* TypeInfoOf(REFGUID guid, int libraries) {
  for (int resource = 1; resource <= libraries; ++resource) {
    ITypeLib* lib = TypeLibrary(resource);
    ITypeInfo* info = nullptr;
    if (lib && SUCCEEDED(lib->GetTypeInfoOfGuid(guid, &info))) return info;
  }
  return nullptr;
}

}  // namespace com
