#include "diag.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace zelov {

std::atomic<diagsinkfn> diagsink{nullptr};

static void emit(diagstream stream, const char* format, va_list args) {
  diagsinkfn sink = diagsink.load();
  if (sink) {
    char line[1200];
    std::vsnprintf(line, sizeof line, format, args);
    sink(stream, line);
  } else if (stream != diagstream::trace) {
    std::vfprintf(stream == diagstream::out ? stdout : stderr, format, args);
  }
}

void diagout(const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(diagstream::out, format, args);
  va_end(args);
}

void diagerr(const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(diagstream::err, format, args);
  va_end(args);
}

void enginetrace(const char* format, ...) {
  if (!diagsink.load()) return;
  va_list args;
  va_start(args, format);
  emit(diagstream::trace, format, args);
  va_end(args);
}

void diagperror(const char* prefix) {
  diagerr("%s: %s\n", prefix, std::strerror(errno));
}

}  // namespace zelov
