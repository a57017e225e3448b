// The library as a COM module: its handle, its live objects and locks (for
// DllCanUnloadNow), and the type libraries it carries as resources. It knows
// no class of its own: the server that uses it (its DllMain, factory and
// registration) lives with the classes.
#pragma once
#include "com/win.h"

namespace com {

// Told once by the library's DllMain.
void ModuleAttached(HMODULE self);
HMODULE ModuleHandle();
void ObjectCreated();
void ObjectDestroyed();
void LockModule(bool lock);
// Whether no object is alive and no lock held; when so, the type libraries
// are let go, as the library may be unloaded next.
bool CanUnloadNow();

// The most type libraries a module carries (resources 1 to this).
constexpr int MaxTypeLibraries = 4;
// A type library carried as TYPELIB resource `resource`, loaded from this
// module once (a new reference is not taken: the module keeps its own);
// null when it cannot be loaded. A library may import one of a lower
// number of the same module: those are loaded first.
ITypeLib* TypeLibrary(int resource);
// The path a type library is loaded and registered by: the module's path,
// with "\N" after it for any resource but the first.
bool TypeLibraryPath(int resource, wchar_t (&path)[MAX_PATH + 4]);
// A type description from the first of the module's libraries 1 to
// `libraries` that has it (a new reference), or null.
ITypeInfo* TypeInfoOf(REFGUID guid, int libraries);

}  // namespace com
