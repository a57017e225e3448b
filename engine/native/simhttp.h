// The native build's stand-in for WinHTTP: servers that the tests script,
// one per URL, answering in-process. Each connection serves the body from
// the byte asked for, at a pace, and breaks, stalls or fails as told, so
// that the fetch's buffering and reconnecting run under the sanitizers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace simhttp {

struct server {
  std::string body;
  int status = 200;
  bool length = true;  // sends its length (a file), or none (a live stream)
  bool ranges = true;  // takes byte ranges
  bool endless = false;  // the body comes round again and again (a live stream that never ends)
  bool station = false;  // sends a station's "icy-" headers
  int32_t failure = 0;   // every open fails with this (an EngineResult): no body at all
  uint32_t bytespersecond = 0;  // its pace, 0 as fast as it is read
  std::size_t burst = 0;  // bytes sent at once before the pace, as Icecast sends a new listener what it holds
  uint32_t connectms = 0;       // how long an open takes
  // The first `breaks` connections break after `breakat` bytes of body;
  // with `stall` they go silent there instead, until the read times out.
  int breaks = 0;
  std::size_t breakat = 0;
  bool stall = false;
  bool close = false;  // they close there as if the body had ended
};

// Serves `url` so from now on (replacing its earlier server).
void serve(const std::u16string& url, const server& s);
void reset();
// Connections opened to `url`, the byte the last asked for, and the bytes
// served in all.
int connections(const std::u16string& url);
uint64_t lastfrom(const std::u16string& url);
uint64_t served(const std::u16string& url);

}  // namespace simhttp
