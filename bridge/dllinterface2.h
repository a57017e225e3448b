// The control library's way to the engine: deployment of the engine it
// carries into the user's temporary folder, loading, the calls of
// interface1, and the checks on a path before it is opened.
#pragma once
#include <cstdint>

#include "bridge/failure.h"
#include "base/text.h"

namespace bridge {

// One per apartment thread, shared by the controls of that thread.
struct LinkState {
  bool EngineLoaded = false;
  void* EngineModule = nullptr;
  void* EngineEntry = nullptr;
  atext EnginePath;
  int controls = 0;  // controls alive on the thread
};

// The link state of the calling thread.
LinkState& Link();

// Makes sure the engine file in the temporary folder holds the carried
// bytes, loads it and finds interface1. Throws AutomationError 5001 when the
// folder cannot be made or the deployed file cannot be read; a library that
// does not load or lacks interface1 is told by message box instead.
void EnsureEngineLoaded(bool force);
// Releases the engine library of this thread, if it was loaded.
void UnloadEngine();

// Every control counts itself in when it is created and out when it ends.
// Only the last control of a thread releases the engine: it cancels a
// playback that still runs, unloads the library and forgets the link, so
// that a later control loads the engine afresh.
void AttachControl();
void DetachControl();

// Whether this thread's engine is loaded with its interface1 found.
bool EngineLinked();

// The engine plays one file per process, whichever control of whichever
// thread started it. Each control has a number of its own; a control claims
// the playback before it cancels and opens, so that the others can tell that
// their file was cut short, and the last control of a thread cancels only a
// playback of that thread.
uint32_t NewControlNumber();
void ClaimPlayback(uint32_t control);
// The control whose file the engine plays; 0 when it is nobody's (none was
// opened yet, or the control that opened it has ended).
uint32_t PlaybackOwner();
// A control that ends gives up its claim.
void DisownPlayback(uint32_t control);

int32_t CallEngine(const wtext& command, const wtext& text, const wtext& third, const wtext& fourth);
// For the commands that answer in text: each text comes back as the whole
// buffer the engine saw, its NUL included.
int32_t CallEngineText(wtext& command, wtext& text, wtext& third, int32_t fourth);

// For the commands whose data is binary: `data` goes to the engine as it
// is, and comes back as the engine left it.
int32_t CallEngineData(const char* command, void* data);

bool IsEmptyText(const wtext& value);
bool FileReadable(const wtext& path);
// Sends the engine the file to play: by "open" with its ANSI name when the
// code page spells the path exactly in under 256 bytes, as the engine has
// always taken it; otherwise by "openwide" with the path in UTF-16, which
// the engine opens by its wide name.
void OpenInEngine(const wtext& path);

// The deployed file's name under the temporary folder, and the description
// of the general deployment failure.
extern const char* const EngineFolder;
extern const char* const EngineFileName;
constexpr int32_t DeploymentFailure = 5001;
wtext DeploymentFailureText();

}  // namespace bridge
