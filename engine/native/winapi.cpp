// Threads, sleeping and debugger output for the native build.
#include <chrono>
#include <thread>

#include "winapi.h"

void Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// The engine keeps no thread handle: it closes it at once and never waits,
// so a detached thread is all it needs. The returned value only says
// "created".
HANDLE CreateThread(void*, size_t, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD,
                    DWORD*) {
  std::thread([start, parameter] { start(parameter); }).detach();
  static char created;
  return &created;
}

BOOL CloseHandle(HANDLE handle) { return handle != nullptr; }

void OutputDebugStringA(const char*) {}
