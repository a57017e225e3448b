// CPU time, user and kernel together, in seconds, as Windows counts it
// (under Wine in ticks of 10 ms).
#pragma once
#include <windows.h>

inline double filetimeseconds(FILETIME t) {
  return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
}

// Of a thread; 0 when it cannot be read (under Wine, once it has ended).
inline double threadcpuseconds(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
  return filetimeseconds(kernel) + filetimeseconds(user);
}

// Of this process, every thread it has had.
inline double processcpuseconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return filetimeseconds(kernel) + filetimeseconds(user);
}
