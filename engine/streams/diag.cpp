#include "engine/streams/diag.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace zelov {

std::atomic<diagsinkfn> diagsink{nullptr};

#ifdef _WIN32
// The C++ runtime routes printf to MinGW's own formatter, some 20 KB of the
// library; the engine's formats (%d, %ld, %s) are ones msvcrt.dll formats
// the same way.
static void formatline(char* line, std::size_t size, const char* format, va_list args) {
  _vsnprintf(line, size - 1, format, args);
  line[size - 1] = '\0';
}
static void printline(FILE* stream, const char* format, va_list args) { __ms_vfprintf(stream, format, args); }
#else
static void formatline(char* line, std::size_t size, const char* format, va_list args) {
  std::vsnprintf(line, size, format, args);
}
static void printline(FILE* stream, const char* format, va_list args) { std::vfprintf(stream, format, args); }
#endif

static void emit(diagstream stream, const char* format, va_list args) {
  diagsinkfn sink = diagsink.load();
  if (sink) {
    char line[1200];
    formatline(line, sizeof line, format, args);
    sink(stream, line);
  } else if (stream != diagstream::trace) {
    printline(stream == diagstream::out ? stdout : stderr, format, args);
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
