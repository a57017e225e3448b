// What a Windows process holds, for the soak test and the benchmarks: its
// open handles and the bytes in use in its heaps.
#pragma once
#include <cstdint>

#include <windows.h>

struct Usage {
  long handles = 0;
  long long heapbytes = 0;
};

// Counted directly, since Wine answers the usual counters with 0: the
// handle values that name an open handle, and the bytes in use in every
// heap of the process.
inline Usage usage() {
  Usage u;
  for (uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++u.handles;
  }
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  for (DWORD i = 0; i < count && i < 64; ++i) {
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(heaps[i]);
    while (HeapWalk(heaps[i], &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) u.heapbytes += entry.cbData;
    HeapUnlock(heaps[i]);
  }
  return u;
}
