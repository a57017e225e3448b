// Texts on the control's side are UTF-16, as automation strings are.
#pragma once
#include <string>

namespace bridge {

using wtext = std::u16string;

// A text of ASCII characters, for the fixed texts of the control.
inline wtext widen(const char* ascii) {
  wtext out;
  while (*ascii) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*ascii++)));
  return out;
}

}  // namespace bridge
