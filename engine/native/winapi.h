// The slice of the Win32 and WINMM interfaces that the engine calls, declared
// for the native build. Values and layouts follow the Windows headers; the
// implementations are winapi.cpp (threads, sleeping, debugger output) and
// simdevice.cpp (a simulated wave-out device).
#pragma once
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <functional>

using BOOL = int;
using UINT = unsigned int;
using DWORD = uint32_t;
using WORD = uint16_t;
using LPSTR = char*;
using LRESULT = intptr_t;
using MMRESULT = UINT;
using HANDLE = void*;
using HINSTANCE = void*;
using HMODULE = void*;
using LPCWSTR = const wchar_t*;
using LPVOID = void*;
using DWORD_PTR = uintptr_t;
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0

struct HWAVEOUT__;
using HWAVEOUT = HWAVEOUT__*;
using LPHWAVEOUT = HWAVEOUT*;

struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};

struct WAVEHDR {
  LPSTR lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  DWORD dwFlags;
  DWORD dwLoops;
  WAVEHDR* lpNext;
  DWORD_PTR reserved;
};
using LPWAVEHDR = WAVEHDR*;

constexpr UINT WAVE_MAPPER = static_cast<UINT>(-1);
constexpr DWORD CALLBACK_NULL = 0;
constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 3;

constexpr DWORD WHDR_DONE = 0x01;
constexpr DWORD WHDR_PREPARED = 0x02;
constexpr DWORD WHDR_INQUEUE = 0x10;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
constexpr MMRESULT WAVERR_SYNC = 35;

void Sleep(DWORD milliseconds);
// Milliseconds of a steady clock.
unsigned long long GetTickCount64();
// A thread's handle is signalled once its function has returned, and lives
// until both the thread and the handle's holder are done with it.
HANDLE CreateThread(void* security, size_t stack, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, DWORD* threadid);
// Closes a thread's handle (the engine closes no other kind).
BOOL CloseHandle(HANDLE handle);

// The engine library's references, as its worker threads take them: here a
// count that the tests read (simlibrary below). Ending a thread through
// FreeLibraryAndExitThread lets its reference go and returns; the thread's
// function then returns.
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x2;
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x4;
BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module);
BOOL FreeLibrary(HMODULE module);
void FreeLibraryAndExitThread(HMODULE module, DWORD code);
namespace simlibrary {
// The references taken and not yet let go.
int references();
// Runs `action` once, on the next thread that lets its reference go, just
// before it does: a test's way to hold a thread in its last instructions.
void beforenextrelease(std::function<void()> action);
}  // namespace simlibrary
void OutputDebugStringA(const char* text);
// Opens a file for reading by its UTF-16 name (here: its UTF-8 form).
FILE* widefopen(const char16_t* path);

// Events, for the worker's waits: manual-reset or automatic, unnamed.
constexpr DWORD INFINITE = 0xffffffff;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xffffffff;
HANDLE CreateEventA(void* security, BOOL manualreset, BOOL initial, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds);
namespace simhandles {
// The events and thread handles made and not yet closed: what a Windows
// process would count as the engine's handles.
int live();
}  // namespace simhandles

UINT waveOutGetNumDevs();
constexpr int MAXPNAMELEN = 32;
using WCHAR = wchar_t;
struct WAVEOUTCAPSW {
  WORD wMid;
  WORD wPid;
  UINT vDriverVersion;
  WCHAR szPname[MAXPNAMELEN];
  DWORD dwFormats;
  WORD wChannels;
  WORD wReserved1;
  DWORD dwSupport;
};
using UINT_PTR = uintptr_t;
// Device n is named "Simulated device n".
MMRESULT waveOutGetDevCapsW(UINT_PTR device, WAVEOUTCAPSW* caps, UINT size);
MMRESULT waveOutOpen(LPHWAVEOUT out, UINT device, const WAVEFORMATEX* format,
                     DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT waveOutPause(HWAVEOUT device);
MMRESULT waveOutRestart(HWAVEOUT device);
MMRESULT waveOutPrepareHeader(HWAVEOUT device, LPWAVEHDR header, UINT size);
MMRESULT waveOutWrite(HWAVEOUT device, LPWAVEHDR header, UINT size);
MMRESULT waveOutUnprepareHeader(HWAVEOUT device, LPWAVEHDR header, UINT size);
MMRESULT waveOutReset(HWAVEOUT device);
struct MMTIME {
  UINT wType;
  union {
    DWORD ms;
    DWORD sample;
    DWORD cb;
  } u;
};
constexpr UINT TIME_BYTES = 0x0004;
MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, UINT size);
MMRESULT waveOutClose(HWAVEOUT device);
// Low word the left channel, high word the right; 0xffff is full volume.
MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume);
