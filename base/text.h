// Texts on the control's side are UTF-16, as automation strings are; the
// engine and the file functions it shares with Windows take ANSI bytes.
#pragma once
#include "base/buffer.h"

namespace base {

using wtext = buffer<char16_t>;
using atext = buffer<char>;

// A text of ASCII characters, for the fixed texts of the control.
inline wtext widen(const char* ascii) {
  wtext out;
  while (*ascii) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*ascii++)));
  return out;
}

}  // namespace base
