// The library's Windows entry routine: one debugger-output line for each
// notification; when FreeLibrary unloads the library, what its streams made
// is given back, since a host that loads it again (a form opened and
// closed) would otherwise lose that each time.
#include "platform.h"
#include "state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH: OutputDebugStringA("DLL_PROCESS_ATTACH \n"); break;
    case DLL_THREAD_ATTACH: OutputDebugStringA("DLL_THREAD_ATTACH \n"); break;
    case DLL_THREAD_DETACH: OutputDebugStringA("DLL_THREAD_DETACH \n"); break;
    case DLL_PROCESS_DETACH: OutputDebugStringA("DLL_PROCESS_DETACH \n"); break;
    default: break;
  }
  // At process exit (reserved set) the process's memory goes with it, and
  // other threads may have been stopped anywhere.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) zelov::releasestreams();
  return TRUE;
}
