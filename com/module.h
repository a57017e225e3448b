// The control library as a module: its handle, its live objects and locks
// (for DllCanUnloadNow), and its type library.
#pragma once
#include "com/win.h"

namespace com {

HMODULE ModuleHandle();
void ObjectCreated();
void ObjectDestroyed();
void LockModule(bool lock);

// The type library carried as resource 1, loaded from this module; null
// when it cannot be loaded. The module keeps the reference.
ITypeLib* TypeLibrary();
// A type description from it (a new reference), or null.
ITypeInfo* TypeInfoOf(REFGUID guid);

}  // namespace com
