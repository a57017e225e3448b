// One HTTP GET, as the engine reads a file or a stream from a web server:
// open a URL from a byte (a range, to resume or to seek), read its body,
// close. Under it is Windows' own client, WinHTTP (winhttp.cpp): the
// system's proxy settings, TLS with Windows' certificate checks, redirects.
// The native build's stand-in (engine/native/simhttp.cpp) answers with the
// tests' scripted servers.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zelov {

struct httpget;

// What the server answered; `failure` (an EngineResult) when it did not
// give a body: not reachable, a status of 400 or more, a redirect loop, a
// certificate that does not validate, headers too large.
struct httpanswer {
  int32_t status = 0;   // 0 when no status came
  int64_t length = -1;  // bytes of the body (from the byte asked for), -1 when not told
  bool ranges = false;  // the server takes byte ranges
  bool station = false;  // a station's stream (an Icecast or SHOUTcast mount: "icy-" headers)
  int32_t failure = 0;
};

// How long a read or a connect waits on a silent server before it gives up
// (the read then fails, as a lost connection does), in milliseconds.
extern std::atomic<int32_t> httptimeoutms;

// Opens a GET of `url` (UTF-16, NUL-terminated) from byte `from`; null when
// no body is to be had, with `answer.failure` saying why.
httpget* httpopen(const char16_t* url, uint64_t from, httpanswer& answer);
// Reads up to `size` bytes of the body: the count, 0 at its end, -1 when the
// connection failed, -2 when the server sent nothing for httptimeoutms.
long httpread(httpget* get, char* out, std::size_t size);
void httpclose(httpget* get);

}  // namespace zelov
