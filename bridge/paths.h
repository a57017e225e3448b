// The checks on a path before the engine gets it, and the way it gets it.
#pragma once
#include <cstdint>

#include "base/text.h"

namespace bridge {

bool IsEmptyText(const base::wtext& value);
// Whether the file can be opened and its first bytes read.
bool FileReadable(const base::wtext& path);
// Sends the engine the file to play: by "open" with its ANSI name when the
// code page spells the path exactly in under the engine's path limit, as
// the engine has always taken it; otherwise by "openwide" with the path in
// UTF-16, which the engine opens by its wide name. On the default stream,
// or on a stream of its own (OpenEngineStream).
void OpenInEngine(const base::wtext& path, int32_t stream = 0);

}  // namespace bridge
