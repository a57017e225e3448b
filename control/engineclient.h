// The player's way of asking the engine: each call reads as what it asks.
// Under it the engine receives exactly the bytes it always has: the command
// word, and " " for every argument the command does not read (the digit "0"
// as the fourth of "gettime" and "getseconds").
#pragma once
#include <cstdint>

#include "base/text.h"

namespace control::engine {

// A command whose answer is its number.
int32_t ask(const char* word);
// "gettime" and "getseconds", which have always been sent a "0".
int32_t askcount(const char* word);
// A command that writes its text answer into a buffer of 255 characters of
// `fill`: the whole buffer comes back, its NUL included.
base::wtext asktext(const char* word, char16_t fill);
// The words of binary data: a double read, a double or a 32-bit number
// given, a buffer filled.
double askdouble(const char* word);
void senddouble(const char* word, double value);
void sendlong(const char* word, int32_t value);
void fill(const char* word, void* buffer);
// Sends the engine the file to open.
void open(const base::wtext& path);

}  // namespace control::engine
