// The engine's diagnostic lines: some go to standard output, some to standard
// error, and the rest to `enginetrace`, which discards them; a test may
// divert all three into a sink of its own. They are the engine's own output,
// which a host's console or log may show and a caller may read, so their
// texts stay as they have always been, the mixed-language progress lines
// ("Buffers lidos", "Iniciou wave out bem") and the "compress" traces of the
// command entry among them.
#pragma once
#include <atomic>

namespace zelov {

enum class diagstream { trace, out, err };
using diagsinkfn = void (*)(diagstream stream, const char* text);
extern std::atomic<diagsinkfn> diagsink;

void diagout(const char* format, ...);
void diagerr(const char* format, ...);
void enginetrace(const char* format, ...);
// Like perror(prefix): the prefix, ": " and the text of errno.
void diagperror(const char* prefix);

}  // namespace zelov
