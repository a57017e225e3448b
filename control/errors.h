// The error numbers and descriptions that reach the host through the
// ErrorCode event.
#pragma once
#include <cstdint>

namespace control {

// The number of any failure the table has no better number for.
constexpr int32_t UnexpectedError = 255;

struct ErrorEntry {
  int32_t number;
  const char* description;
};

// The table's entry for a number; a number the table does not list becomes
// 255 "Unexpected error".
ErrorEntry LookupError(int32_t number);

// The error number a playback's end reports for the engine's final run
// state; false when it reports none (cancelled while paused, or any other
// state).
bool ErrorForRunState(int32_t state, int32_t& number);

}  // namespace control
