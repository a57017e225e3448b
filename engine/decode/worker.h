// The decode-and-play worker: one run plays one file on the worker thread.
#pragma once
#include <cstdint>

#include "engine/streams/platform.h"
#include "engine/streams/state.h"

namespace zelov {

// Plays the file at path (its ANSI name), or at widepath when that is
// given, on the stream; returns its EngineResult.
int32_t playworker(stream& s, const char* path, const char16_t* widepath = nullptr);

// Forgets the last run's length, seek, position and comments, so that the
// queries answer for the run about to start.
void forgetrun(stream& s);

// The worker thread's start routine, given its stream: runs playworker on
// the stream's path and publishes the result in its `playstate` and
// `lastresult`. The thread must be given a reference to the engine library
// (holdlibrary), which it lets go as it ends.
DWORD WINAPI playthread(LPVOID stream);

#ifndef ZELOV_STREAMS_ONLY
inline int32_t playworker(const char* path, const char16_t* widepath = nullptr) {
  return playworker(defaultstream, path, widepath);
}
#endif

}  // namespace zelov
