// The stream's comments as the engine lists them (UTF-8 "NAME=value"
// entries, each NUL-terminated, the list ended by an empty one), turned into
// the automation strings of Tag and Tags.
#pragma once
#include "base/text.h"

namespace control {

using base::wtext;

// The values of every comment whose name is `name`, compared without case
// as Vorbis comment names are, joined by "; "; "" when there is none.
wtext TagValue(const char* entries, const wtext& name);
// Every comment, one per line, the lines separated by CR LF.
wtext TagLines(const char* entries);
// UTF-8 to UTF-16; a byte that starts no valid sequence becomes U+FFFD.
wtext FromUtf8(const char* text, std::size_t length);

}  // namespace control
