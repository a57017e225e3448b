// The calls of interface1: every text goes to the engine as a
// NUL-terminated ANSI buffer of its own. A thread whose engine is not
// linked is told by message box, and the call answers 0.
#pragma once
#include <cstdint>

#include "base/text.h"

namespace bridge {

using base::wtext;

int32_t CallEngine(const wtext& command, const wtext& text, const wtext& third, const wtext& fourth);
// For the commands that answer in text: each text comes back as the whole
// buffer the engine saw, its NUL included.
int32_t CallEngineText(wtext& command, wtext& text, wtext& third, int32_t fourth);

// For the commands whose data is binary: `data` goes to the engine as it
// is, and comes back as the engine left it.
int32_t CallEngineData(const char* command, void* data);

// A stream of its own, for a control that plays beside the others: its
// number (0 when every stream is taken, or the engine is not linked).
int32_t OpenEngineStream();
// A word run on that stream; `data` goes to the engine as the word takes it
// ("open" and the text answers take an ANSI buffer, the binary words their
// value).
int32_t CallEngineOnStream(int32_t stream, const char* word, void* data);
// As CallEngineText, for a word that answers in text, run on the stream.
int32_t CallEngineTextOnStream(int32_t stream, const char* word, wtext& text);
// Cancels the stream's run, waits for its end and gives the number back.
void CloseEngineStream(int32_t stream);

// The texts of the two message boxes of a missing engine.
extern const char* const LoadFailed;
extern const char* const EntryMissing;

}  // namespace bridge
