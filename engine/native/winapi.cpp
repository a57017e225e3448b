// Threads, sleeping and debugger output for the native build.
#include <condition_variable>
#include <mutex>
#include <chrono>
#include <string>
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

namespace {
struct event {
  std::mutex lock;
  std::condition_variable changed;
  bool manual;
  bool set;
};
}  // namespace

// Events live for the life of the process, as the engine's do.
HANDLE CreateEventA(void*, BOOL manualreset, BOOL initial, const char*) {
  return new event{{}, {}, manualreset != 0, initial != 0};
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
