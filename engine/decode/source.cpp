#include "engine/decode/source.h"

#include <algorithm>
#include <cstring>

#include "engine/net/fetch.h"

namespace zelov {

namespace {

// Reads from a web server the whole items that have come, one at least,
// unless the body ends (or fails, or the run is cancelled) first.
std::size_t netread(source& s, char* out, std::size_t size, std::size_t count) {
  if (size == 0 || (s.seekable && s.at >= s.size)) return 0;
  if (!s.net) s.net = fetchopen(s.url, s.at, s.prebuffer, s.level);
  if (!s.net) return 0;
  const std::size_t want = size * count;
  std::size_t got = 0;
  while (got < want && !(got > 0 && got % size == 0)) {
    const long n = fetchread(*s.net, out + got, want - got, *s.cancel);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  s.at += got;
  return got / size;
}

}  // namespace

std::size_t sourceread(void* out, std::size_t size, std::size_t count, void* from) {
  source& s = *static_cast<source*>(from);
  if (s.file) return std::fread(out, size, count, s.file);
  if (s.url) return netread(s, static_cast<char*>(out), size, count);
  if (size == 0 || s.at >= s.size) return 0;
  const uint64_t items = std::min<uint64_t>(count, (s.size - s.at) / size);
  std::memcpy(out, s.bytes + s.at, static_cast<std::size_t>(items * size));
  s.at += items * size;
  return static_cast<std::size_t>(items);
}

std::size_t sourcereadall(void* out, std::size_t bytes, source& from) {
  std::size_t got = 0;
  while (got < bytes) {
    const std::size_t n = sourceread(static_cast<char*>(out) + got, 1, bytes - got, &from);
    if (n == 0) break;
    got += n;
  }
  return got;
}

int sourceseek(void* from, ogg_int64_t offset, int whence) {
  source& s = *static_cast<source*>(from);
  if (s.file) {
#ifdef _WIN32
    return _fseeki64(s.file, offset, whence);
#else
    return fseeko(s.file, static_cast<off_t>(offset), whence);
#endif
  }
  // A stream of no length, or a server that takes no ranges, cannot seek.
  if (s.url && !s.seekable) return -1;
  const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(s.at)
                                                                   : static_cast<int64_t>(s.size);
  const int64_t to = base + offset;
  if (to < 0) return -1;
  // The server is asked from there by the next read.
  if (s.net && static_cast<uint64_t>(to) != s.at) {
    fetchclose(s.net);
    s.net = nullptr;
  }
  s.at = static_cast<uint64_t>(to);
  return 0;
}

int sourceclose(void* from) {
  source& s = *static_cast<source*>(from);
  if (s.file) std::fclose(s.file);
  fetchclose(s.net);
  s = source{};
  return 0;
}

int64_t sourceposition(const source& s) {
  if (!s.file) return static_cast<int64_t>(s.at);
#ifdef _WIN32
  return _ftelli64(s.file);
#else
  return ftello(s.file);
#endif
}

long sourcetell(void* from) {
  source& s = *static_cast<source*>(from);
  if (s.file) return std::ftell(s.file);
  return static_cast<long>(s.at);
}

}  // namespace zelov
