// The library's Windows entry routine: one debugger-output line for each
// notification. A host may load and unload the library again and again (a
// form with the control opened and closed): when FreeLibrary unloads it,
// what its streams made is given back, and the sound system's library
// (WINMM, which it imports) stays in the process once it came in with the
// engine, rather than being loaded and unloaded each time with it (Wine's
// leaves 12 registry handles behind at each unload).
#include "engine/output/card.h"
#include "engine/output/output.h"
#include "engine/streams/platform.h"
#include "engine/streams/state.h"

namespace {

void keepsoundlibrary() {
  HMODULE winmm = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"winmm.dll", &winmm);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      OutputDebugStringA("DLL_PROCESS_ATTACH \n");
      keepsoundlibrary();
      break;
    case DLL_THREAD_ATTACH: OutputDebugStringA("DLL_THREAD_ATTACH \n"); break;
    case DLL_THREAD_DETACH: OutputDebugStringA("DLL_THREAD_DETACH \n"); break;
    case DLL_PROCESS_DETACH: OutputDebugStringA("DLL_PROCESS_DETACH \n"); break;
    default: break;
  }
  // At process exit (reserved set) the process's memory goes with it, and
  // other threads may have been stopped anywhere.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    zelov::releasevoices();
    zelov::releasestreams();
    zelov::releasecards();
  }
  return TRUE;
}
