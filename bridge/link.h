// The link from a thread to the engine library: which library it loaded
// and where interface1 is. One per apartment thread, shared by the
// controls of that thread.
#pragma once
#include "base/text.h"

namespace bridge {

struct LinkState {
  bool EngineLoaded = false;
  void* EngineModule = nullptr;
  void* EngineEntry = nullptr;
  base::atext EnginePath;
  int controls = 0;  // controls alive on the thread
};

// The link state of the calling thread.
LinkState& Link();

// Whether this thread's engine is loaded with its interface1 found.
bool EngineLinked();

// Every control counts itself in when it is created and out when it ends.
// Only the last control of a thread releases the engine: it cancels a
// playback that still runs, unloads the library and forgets the link, so
// that a later control loads the engine afresh.
void AttachControl();
void DetachControl();

}  // namespace bridge
