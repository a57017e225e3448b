// The control library as a module: its handle, its live objects and locks
// (for DllCanUnloadNow), and its type library.
#pragma once
#include "com/win.h"

namespace com {

HMODULE ModuleHandle();
void ObjectCreated();
void ObjectDestroyed();
void LockModule(bool lock);

// A type library carried as a resource (ZEL_TYPELIB_RESOURCE or
// ZEL_TYPELIB_EX_RESOURCE), loaded from this module; null when it cannot be
// loaded. The module keeps the reference.
ITypeLib* TypeLibrary(int resource);
// A type description from either (a new reference), or null.
ITypeInfo* TypeInfoOf(REFGUID guid);

}  // namespace com
