// The engine library's own threads (a stream's worker, a sound card's
// render thread) each hold a reference to it while they run: a host
// unloads the library as soon as a run reads as ended, while the thread
// still has a few instructions of ours to run, and the thread's reference
// keeps them mapped until it has ended.
#pragma once
#include "engine/streams/platform.h"

namespace zelov {

// Takes a reference to the engine library for a thread; null when none can
// be had.
HMODULE holdlibrary();
// Lets the thread's reference go, and ends the thread (natively it only
// returns).
void exitthread(DWORD code);

}  // namespace zelov
