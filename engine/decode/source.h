// Where a run reads its file: a file on disk, or the copy of a whole file
// that "openmemory" made. A run reads it through two readers at once (its
// own pass decodes while libvorbisfile measures and seeks), each with its
// own place. The functions have libvorbisfile's callback shapes, so that a
// reader is also an ov_callbacks data source.
#pragma once
#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <cstdio>

namespace zelov {

struct source {
  FILE* file = nullptr;         // a file, or
  const char* bytes = nullptr;  // the bytes of one in memory
  uint64_t size = 0;
  uint64_t at = 0;
};

std::size_t sourceread(void* out, std::size_t size, std::size_t count, void* from);
int sourceseek(void* from, ogg_int64_t offset, int whence);
int sourceclose(void* from);  // closes a file; the memory is the stream's
long sourcetell(void* from);
// The reader's place, in 64 bits.
int64_t sourceposition(const source& s);

inline constexpr ov_callbacks sourcecallbacks = {sourceread, sourceseek, sourceclose, sourcetell};

}  // namespace zelov
