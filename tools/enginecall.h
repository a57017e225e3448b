// Calling the engine's interface1 from a Windows program, as the control
// does: through CallWindowProcA, with "0" for the arguments not given.
#pragma once
#include <windows.h>

#include "resources/resource.h"  // ZEL_ENGINE_FILE

inline long callengine(WNDPROC entry, const char* command, char* text = nullptr) {
  char placeholder[] = "0";
#ifdef _WIN64
  // A window procedure's message is 32 bits wide on 64-bit Windows: call
  // the entry directly.
  using engine = LRESULT(CALLBACK*)(const char*, char*, void*, void*);
  return static_cast<long>(reinterpret_cast<engine>(reinterpret_cast<void*>(entry))(
      command, text ? text : placeholder, placeholder, nullptr));
#else
  return static_cast<long>(CallWindowProcA(entry, reinterpret_cast<HWND>(const_cast<char*>(command)),
                                           reinterpret_cast<UINT_PTR>(text ? text : placeholder),
                                           reinterpret_cast<WPARAM>(placeholder), 0));
#endif
}
