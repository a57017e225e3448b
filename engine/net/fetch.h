// A file or a live stream on a web server, read on a thread of its own into
// a ring of fixed size that the run's reader takes from. The worker never
// waits on a socket, so a cancel ends its wait within a step; and however
// fast or long the stream, the fetch holds no more than its ring.
//
// A file (a length and byte ranges) is resumed by a range from where its
// connection broke off. A station's stream (an Icecast or SHOUTcast mount,
// known by its "icy-" headers) is connected again when it drops or its
// server stops sending, a few times with a growing wait, before it ends
// with the failure. Any other body ends where it ends, and is lost when it
// breaks (it cannot be taken up again, nor played again from its start). The reader waits, at the
// start and whenever the ring has run dry, until `prebuffer` bytes are
// there or the body has ended: a stream plays as it arrives, after a short
// prebuffer, and rebuffers when it stalls.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/net/http.h"
#include "engine/streams/platform.h"

namespace zelov {

// 256 KiB: 16 s of a 128 kbit/s stream.
constexpr uint32_t fetchringsize = 1u << 18;
// Connects again after a drop, waiting fetchretryms, then twice that, and
// so on, before the stream ends with its failure.
constexpr int fetchretries = 3;
constexpr DWORD fetchretryms = 250;

struct fetch;

// Starts reading `url` (copied) from byte `from`, waiting for `prebuffer`
// bytes before the first read gives any; null when no thread or memory can
// be had. A read's wait writes how full the buffer is to `level` (see
// fetchlevel), when given.
fetch* fetchopen(const char16_t* url, uint64_t from, uint32_t prebuffer, std::atomic<int32_t>* level = nullptr);
// Waits for the server's answer, in steps that look at `cancel`: true with
// it; false when the fetch failed (its failure in the answer) or a cancel
// came (failure 0).
bool fetchanswer(fetch& f, httpanswer& answer, const std::atomic<int32_t>& cancel);
// Up to `size` bytes, waiting for them (and for the prebuffer) in steps
// that look at `cancel`: the count, 0 at the body's end, -1 when the fetch
// failed or a cancel came.
long fetchread(fetch& f, char* out, std::size_t size, const std::atomic<int32_t>& cancel);
// The failure the fetch ended with (an EngineResult), 0 for none, and the
// HTTP status of the answer that ended it (0 for none).
int32_t fetchfailure(const fetch& f);
int32_t fetchstatus(const fetch& f);
// The bytes the reader waits for whenever the ring has run dry (the
// prebuffer), which the run may change once it knows the stream's rate.
void fetchsetprebuffer(fetch& f, uint32_t bytes);
// Waits until `bytes` are in the buffer (or it is full, or the body has
// ended), in steps that look at `cancel`, saying how full it is as a read's
// wait does.
void fetchwaitfor(fetch& f, uint32_t bytes, const std::atomic<int32_t>& cancel);
// How full the buffer is while the reader waits for it, 0 to 100; 100 while
// it plays from it.
int32_t fetchlevel(const fetch& f);
// Stops the fetch and lets it go: its thread ends by itself (at once, or
// when its server's call returns) and frees what the two shared.
void fetchclose(fetch* f);

}  // namespace zelov
