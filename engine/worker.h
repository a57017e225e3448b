// The decode-and-play worker: one run plays one file on the worker thread.
#pragma once
#include <cstdint>

#include "platform.h"

namespace zelov {

// Plays the file at path (its ANSI name), or at widepath when that is given;
// returns its EngineResult.
int32_t playworker(const char* path, const char16_t* widepath = nullptr);

// Forgets the last run's length, seek, position and comments, so that the
// queries answer for the run about to start.
void forgetrun();

// The worker thread's start routine: runs playworker on `filepath` and
// publishes the result in `playstate` and `lastresult`.
DWORD WINAPI playthread(LPVOID ignored);

}  // namespace zelov
