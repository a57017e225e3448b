// The bridge's system services on Windows.
#include "bridge/system.h"

#include <utility>

#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "base/product.h"
#include "resources/resource.h"

namespace bridge::sys {

namespace {

const wchar_t* wide(const wtext& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

}  // namespace

bool ansiexact(const wtext& text) {
  if (text.empty()) return true;
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide(text), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, &lossy);
  return n > 0 && !lossy;
}

namespace {

// The first entry a listing of exactly this path finds, if any.
bool listing(const atext& path, WIN32_FIND_DATAA& found) {
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

struct File {
  HANDLE handle;
  explicit File(HANDLE h) : handle(h) {}
  ~File() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  explicit operator bool() const { return handle != INVALID_HANDLE_VALUE; }
};

CRITICAL_SECTION& tablelock() {
  static CRITICAL_SECTION section = [] {
    CRITICAL_SECTION s;
    InitializeCriticalSection(&s);
    return s;
  }();
  return section;
}

}  // namespace

atext temppath() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return {};
  wtext path(reinterpret_cast<const char16_t*>(buffer), n);
  return toansi(ansiform(path));
}

void createdirectory(const atext& path) { CreateDirectoryA(path.c_str(), nullptr); }

bool folderexists(const atext& path) {
  atext exact = path;
  while (exact.size() > 3 && exact.back() == '\\') exact.pop_back();  // "C:\a\" lists nothing
  WIN32_FIND_DATAA found;
  if (!listing(exact, found)) {
    // A drive root has no entry of its own.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool plainfileexists(const atext& path) {
  WIN32_FIND_DATAA found;
  if (!listing(path, found)) return false;
  const DWORD excluded = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return (found.dwFileAttributes & excluded) == 0;
}

namespace {

// The whole content of an open file, from its start.
bool readwhole(HANDLE file, bytes& content) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart > 0x7fffffff) return false;
  content.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD got = 0;
  if (!content.empty() && !ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &got, nullptr))
    return false;
  return got == content.size();
}

}  // namespace

bool readfile(const atext& path, bytes& content) {
  File file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && readwhole(file.handle, content);
}

bool writefile(const atext& path, const bytes& content) {
  File file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD put = 0;
  return WriteFile(file.handle, content.data(), static_cast<DWORD>(content.size()), &put, nullptr) &&
         put == content.size();
}

void deletefile(const atext& path) { DeleteFileA(path.c_str()); }

void* holdfile(const atext& path, bytes& content) {
  // Others may read it (and load it); nobody may write or delete it.
  File file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr));
  if (!file || !readwhole(file.handle, content)) return nullptr;
  return std::exchange(file.handle, INVALID_HANDLE_VALUE);  // kept open until releasefile
}

void releasefile(void* held) { CloseHandle(static_cast<HANDLE>(held)); }

namespace {

// The library this code is part of: the one that carries the engine.
HMODULE controllibrary() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&controllibrary), &self);
  return self;
}

}  // namespace

atext modulefolder() {
  HMODULE self = controllibrary();
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = self ? GetModuleFileNameW(self, buffer, MAX_PATH + 1) : 0;
  if (n == 0 || n > MAX_PATH) return {};
  std::size_t folder = n;
  while (folder > 0 && buffer[folder - 1] != L'\\') --folder;
  if (folder == 0) return {};
  const wtext path(reinterpret_cast<const char16_t*>(buffer), folder);
  if (!ansiexact(path)) return {};
  return toansi(path);
}

bool resource(int id, bytes& content) {
  HMODULE self = controllibrary();
  if (!self) return false;
  HRSRC found = FindResourceExW(self, MAKEINTRESOURCEW(ZEL_ENGINE_RESOURCE_TYPE), MAKEINTRESOURCEW(id),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (!found) return false;
  HGLOBAL loaded = LoadResource(self, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return false;
  const auto* first = static_cast<const uint8_t*>(data);
  content.assign(first, first + SizeofResource(self, found));
  return true;
}

void* loadlibrary(const atext& path) { return reinterpret_cast<void*>(LoadLibraryA(path.c_str())); }

void* getprocaddress(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void freelibrary(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

intptr_t callentry(void* entry, void* first, void* second, void* third, void* fourth) {
#ifdef _WIN64
  // A window procedure's message is 32 bits wide on 64-bit Windows, too
  // narrow for an address: the 64-bit edition calls the entry directly.
  using engine = intptr_t(CALLBACK*)(void*, void*, void*, void*);
  return reinterpret_cast<engine>(entry)(first, second, third, fourth);
#else
  return CallWindowProcA(reinterpret_cast<WNDPROC>(entry), static_cast<HWND>(first),
                         static_cast<UINT>(reinterpret_cast<uintptr_t>(second)),
                         reinterpret_cast<WPARAM>(third), reinterpret_cast<LPARAM>(fourth));
#endif
}

void messagebox(const char* text) { MessageBoxA(nullptr, text, product::AppTitle, MB_OK | MB_TASKMODAL); }

atext toansi(const wtext& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, wide(text), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  atext out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide(text), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

wtext fromansi(const atext& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  wtext out(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

wtext ansiform(const wtext& path) {
  if (ansiexact(path)) return path;
  const DWORD n = GetShortPathNameW(wide(path), nullptr, 0);
  if (n == 0) return path;
  wtext shortpath(n, u'\0');
  const DWORD got = GetShortPathNameW(wide(path), reinterpret_cast<wchar_t*>(shortpath.data()), n);
  if (got == 0 || got >= n) return path;
  shortpath.resize(got);
  return ansiexact(shortpath) ? shortpath : path;
}

bool readhead(const wtext& path, std::size_t most) {
  File file(CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.handle, &size)) return false;
  const DWORD want = static_cast<DWORD>(size.QuadPart < static_cast<LONGLONG>(most) ? size.QuadPart : most);
  char head[256];
  DWORD got = 0;
  return want == 0 || (want <= sizeof head && ReadFile(file.handle, head, want, &got, nullptr) && got == want);
}

uint32_t threadid() { return GetCurrentThreadId(); }
void locktable() { EnterCriticalSection(&tablelock()); }
void unlocktable() { LeaveCriticalSection(&tablelock()); }

}  // namespace bridge::sys
