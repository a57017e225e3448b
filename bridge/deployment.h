// Deployment of the engine the control library carries: a copy in a folder
// of its own under the user's temporary folder, loaded only when it is
// exactly the carried engine.
#pragma once
#include <cstdint>

#include "base/text.h"

namespace bridge {

// Makes sure the engine file in the temporary folder holds the carried
// bytes, loads it and finds interface1. Throws AutomationError 5001 when the
// folder cannot be made or the deployed file cannot be read. A file that is
// not the carried engine and cannot be replaced (another program holds it)
// is never loaded: that, like a library that does not load or lacks
// interface1, is told by message box instead.
void EnsureEngineLoaded(bool force);
// Releases the engine library of this thread, if it was loaded.
void UnloadEngine();

// The deployed file's name under the temporary folder, and the description
// of the general deployment failure.
extern const char* const EngineFolder;
extern const char* const EngineFileName;
constexpr int32_t DeploymentFailure = 5001;
base::wtext DeploymentFailureText();

}  // namespace bridge
