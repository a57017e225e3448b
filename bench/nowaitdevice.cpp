// A wave-out device that never waits, for measuring the engine's decoding
// in a Windows build: it takes the place of WINMM's functions (the engine is
// compiled with _WINMM_ so that it calls these instead of importing them).
// Every block is done the moment it is written; the bytes are only counted.
#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

uint64_t nowaitplayedbytes = 0;

namespace {
HWAVEOUT const device = reinterpret_cast<HWAVEOUT>(static_cast<intptr_t>(1));
}

extern "C" {

UINT WINAPI waveOutGetNumDevs() { return 1; }

MMRESULT WINAPI waveOutGetDevCapsW(UINT_PTR, LPWAVEOUTCAPSW, UINT) { return MMSYSERR_BADDEVICEID; }

MMRESULT WINAPI waveOutOpen(LPHWAVEOUT out, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD) {
  *out = device;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutPause(HWAVEOUT) { return MMSYSERR_NOERROR; }
MMRESULT WINAPI waveOutRestart(HWAVEOUT) { return MMSYSERR_NOERROR; }
MMRESULT WINAPI waveOutReset(HWAVEOUT) { return MMSYSERR_NOERROR; }
MMRESULT WINAPI waveOutClose(HWAVEOUT) { return MMSYSERR_NOERROR; }
MMRESULT WINAPI waveOutSetVolume(HWAVEOUT, DWORD) { return MMSYSERR_NOERROR; }

MMRESULT WINAPI waveOutPrepareHeader(HWAVEOUT, LPWAVEHDR header, UINT) {
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutUnprepareHeader(HWAVEOUT, LPWAVEHDR header, UINT) {
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutWrite(HWAVEOUT, LPWAVEHDR header, UINT) {
  nowaitplayedbytes += header->dwBufferLength;
  header->dwFlags |= WHDR_DONE;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutGetPosition(HWAVEOUT, LPMMTIME time, UINT) {
  time->wType = TIME_BYTES;
  time->u.cb = static_cast<DWORD>(nowaitplayedbytes);
  return MMSYSERR_NOERROR;
}

}  // extern "C"
