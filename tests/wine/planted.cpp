// A library that is not our engine, for the fault cases of the control's
// tests: planted in the engine's place, it must never be loaded. Were it
// loaded, it would leave its mark in the process's environment, and its
// interface1 would answer 0 ("No error") to everything.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) SetEnvironmentVariableW(L"ZEL_PLANTED_RAN", L"1");
  return TRUE;
}

extern "C" __declspec(dllexport) intptr_t CALLBACK interface1(void*, void*, void*, void*) { return 0; }
