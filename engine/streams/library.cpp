#include "engine/streams/library.h"

namespace zelov {

namespace {

// The engine library this code is part of; a reference more to it unless
// `flags` say otherwise.
HMODULE thislibrary(DWORD flags) {
  HMODULE library = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | flags, reinterpret_cast<LPCWSTR>(&thislibrary),
                     &library);
  return library;
}

}  // namespace

HMODULE holdlibrary() { return thislibrary(0); }

void exitthread(DWORD code) { FreeLibraryAndExitThread(thislibrary(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT), code); }

}  // namespace zelov
