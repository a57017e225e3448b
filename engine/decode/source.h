// Where a run reads its file: a file on disk, the copy of a whole file
// that "openmemory" made, or a file or stream on a web server. A run reads
// it through two readers at once (its own pass decodes while
// libvorbisfile measures and seeks), each with its own place. The functions
// have libvorbisfile's callback shapes, so that a reader is also an
// ov_callbacks data source.
#pragma once
#include <vorbis/vorbisfile.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

namespace zelov {

struct fetch;

struct source {
  FILE* file = nullptr;         // a file, or
  const char* bytes = nullptr;  // the bytes of one in memory, or
  const char16_t* url = nullptr;  // the address of one on a web server
  uint64_t size = 0;
  uint64_t at = 0;
  // A web server's: its fetch (none after a seek, until the next read
  // starts one from the new place), the run's cancel that ends a wait for
  // it, the bytes its reads wait for at the start and after running dry,
  // and whether the server gave a length (`size`) and takes ranges.
  fetch* net = nullptr;
  const std::atomic<int32_t>* cancel = nullptr;
  std::atomic<int32_t>* level = nullptr;  // where a wait says how full the buffer is
  uint32_t prebuffer = 0;
  bool seekable = false;
};

// A read from a web server gives the whole items that have come, one at
// least, rather than waiting for its whole count: a stream that arrives as
// it plays is decoded as it arrives. sourcereadall waits for them all.
std::size_t sourceread(void* out, std::size_t size, std::size_t count, void* from);
std::size_t sourcereadall(void* out, std::size_t bytes, source& from);
int sourceseek(void* from, ogg_int64_t offset, int whence);
int sourceclose(void* from);  // closes a file; the memory is the stream's
long sourcetell(void* from);
// The reader's place, in 64 bits.
int64_t sourceposition(const source& s);

inline constexpr ov_callbacks sourcecallbacks = {sourceread, sourceseek, sourceclose, sourcetell};

}  // namespace zelov
