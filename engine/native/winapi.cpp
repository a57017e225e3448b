// Threads, events, library references, sleeping and debugger output for
// the native build.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <chrono>
#include <string>
#include <thread>

#include "winapi.h"

void Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

unsigned long long GetTickCount64() {
  return static_cast<unsigned long long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

namespace {
struct event {
  std::mutex lock;
  std::condition_variable changed;
  bool manual;
  bool set;
  int holders;  // a thread's handle: its thread and its holder
};

std::atomic<int> liveevents{0};

event* makeevent(bool manual, bool set, int holders) {
  ++liveevents;
  return new event{{}, {}, manual, set, holders};
}

void letgo(event* e) {
  bool last;
  {
    std::lock_guard<std::mutex> hold(e->lock);
    last = --e->holders == 0;
  }
  if (!last) return;
  delete e;
  --liveevents;
}
}  // namespace

int simhandles::live() { return liveevents.load(); }

// The handle is a manual-reset event that the thread sets as it ends.
HANDLE CreateThread(void*, size_t, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD,
                    DWORD*) {
  auto* ended = makeevent(true, false, 2);
  std::thread([start, parameter, ended] {
    start(parameter);
    SetEvent(ended);
    letgo(ended);
  }).detach();
  return ended;
}

BOOL CloseHandle(HANDLE handle) {
  if (!handle) return FALSE;
  letgo(static_cast<event*>(handle));
  return TRUE;
}

namespace {
std::atomic<int> libraryreferences{0};
std::mutex releasehooklock;
std::function<void()> releasehook;
}  // namespace

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR, HMODULE* module) {
  static char library;
  if (!(flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) ++libraryreferences;
  *module = &library;
  return TRUE;
}

BOOL FreeLibrary(HMODULE module) {
  if (!module) return FALSE;
  --libraryreferences;
  return TRUE;
}

void FreeLibraryAndExitThread(HMODULE module, DWORD) {
  std::function<void()> action;
  {
    std::lock_guard<std::mutex> hold(releasehooklock);
    action.swap(releasehook);
  }
  if (action) action();
  FreeLibrary(module);
}

namespace simlibrary {
int references() { return libraryreferences.load(); }
void beforenextrelease(std::function<void()> action) {
  std::lock_guard<std::mutex> hold(releasehooklock);
  releasehook = std::move(action);
}
}  // namespace simlibrary

void OutputDebugStringA(const char*) {}

// An event lives until CloseHandle, which the engine calls when its library
// leaves the process.
HANDLE CreateEventA(void*, BOOL manualreset, BOOL initial, const char*) {
  return makeevent(manualreset != 0, initial != 0, 1);
}

BOOL SetEvent(HANDLE handle) {
  auto* e = static_cast<event*>(handle);
  if (!e) return FALSE;
  {
    std::lock_guard<std::mutex> hold(e->lock);
    e->set = true;
  }
  e->changed.notify_all();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  auto* e = static_cast<event*>(handle);
  if (!e) return FALSE;
  std::lock_guard<std::mutex> hold(e->lock);
  e->set = false;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto* e = static_cast<event*>(handle);
  if (!e) return WAIT_FAILED;
  std::unique_lock<std::mutex> hold(e->lock);
  const auto isset = [e] { return e->set; };
  if (milliseconds == INFINITE) e->changed.wait(hold, isset);
  else if (!e->changed.wait_for(hold, std::chrono::milliseconds(milliseconds), isset)) return WAIT_TIMEOUT;
  if (!e->manual) e->set = false;
  return WAIT_OBJECT_0;
}

FILE* widefopen(const char16_t* path) {
  std::string name;
  for (std::size_t i = 0; path[i] != u'\0'; ++i) {
    uint32_t c = path[i];
    if (c >= 0xD800 && c < 0xDC00 && path[i + 1] >= 0xDC00 && path[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (path[++i] - 0xDC00);
    if (c < 0x80) {
      name += static_cast<char>(c);
    } else if (c < 0x800) {
      name += static_cast<char>(0xC0 | c >> 6);
      name += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      name += static_cast<char>(0xE0 | c >> 12);
      name += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      name += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      name += static_cast<char>(0xF0 | c >> 18);
      name += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      name += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      name += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return std::fopen(name.c_str(), "rb");
}
