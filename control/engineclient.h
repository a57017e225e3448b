// The player's way of asking the engine: each call reads as what it asks.
// A client speaks for the process's default stream (ZelOggPlay's) or for a
// stream of its own (ZelOggPlayEx's, numbered by the engine). Under it the
// engine receives exactly the bytes it always has on the default stream:
// the command word, and " " for every argument the command does not read
// (the digit "0" as the fourth of "gettime" and "getseconds").
#pragma once
#include <cstdint>

#include "base/text.h"

namespace control {

class EngineClient {
 public:
  // 0: the default stream.
  explicit EngineClient(int32_t stream = 0) : stream_(stream) {}
  int32_t stream() const { return stream_; }
  // A client of a stream of its own, taken from the engine; its stream()
  // is 0 when every stream is taken.
  static EngineClient newstream();
  // Gives its own stream back, its run cancelled; it then speaks for none.
  void closestream();

  // A command whose answer is its number.
  int32_t ask(const char* word) const;
  // "gettime" and "getseconds", which have always been sent a "0".
  int32_t askcount(const char* word) const;
  // A command that writes its text answer into a buffer of 255 characters
  // of `fill`: the whole buffer comes back, its NUL included.
  base::wtext asktext(const char* word, char16_t fill) const;
  // The words of binary data: a double read, a double or a 32-bit number
  // given, a buffer filled.
  double askdouble(const char* word) const;
  void senddouble(const char* word, double value) const;
  void sendlong(const char* word, int32_t value) const;
  void fill(const char* word, void* buffer) const { call(word, buffer); }
  // A word with binary data that answers a number too.
  int32_t call(const char* word, void* data) const;
  // Sends the engine the file to open.
  void open(const base::wtext& path) const;

 private:
  int32_t stream_;
};

}  // namespace control
