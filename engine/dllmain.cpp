// The library's Windows entry routine: one debugger-output line for each
// notification, no other work.
#include "platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH: OutputDebugStringA("DLL_PROCESS_ATTACH \n"); break;
    case DLL_THREAD_ATTACH: OutputDebugStringA("DLL_THREAD_ATTACH \n"); break;
    case DLL_THREAD_DETACH: OutputDebugStringA("DLL_THREAD_DETACH \n"); break;
    case DLL_PROCESS_DETACH: OutputDebugStringA("DLL_PROCESS_DETACH \n"); break;
    default: break;
  }
  return TRUE;
}
