// The decode-and-play worker: one run plays one file on the worker thread.
#pragma once
#include <cstdint>

#include "platform.h"

namespace zelov {

// Plays the file at path; returns its EngineResult.
int32_t playworker(const char* path);

// The worker thread's start routine: runs playworker on `filepath` and
// publishes the result in `playstate` and `lastresult`.
DWORD WINAPI playthread(LPVOID ignored);

}  // namespace zelov
