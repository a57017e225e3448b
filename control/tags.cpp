#include "control/tags.h"

#include <cstdint>
#include <cstring>

namespace control {

namespace {

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// Whether the entry's name (before its first '=') is `name`.
bool NameIs(const char* entry, const wtext& name) {
  const char* equals = std::strchr(entry, '=');
  if (!equals || static_cast<std::size_t>(equals - entry) != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (Lower(static_cast<unsigned char>(entry[i])) != Lower(name[i])) return false;
  return true;
}

void AppendCodePoint(wtext& out, uint32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

}  // namespace

wtext FromUtf8(const char* text, std::size_t length) {
  wtext out;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t i = 0; i < length;) {
    const unsigned char lead = bytes[i];
    const int extra = lead < 0x80 ? 0 : lead >= 0xC2 && lead < 0xE0 ? 1 : lead >= 0xE0 && lead < 0xF0 ? 2
                    : lead >= 0xF0 && lead < 0xF5 ? 3 : -1;
    uint32_t c = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
    bool valid = extra >= 0;
    for (int k = 1; valid && k <= extra; ++k) {
      const std::size_t at = i + static_cast<std::size_t>(k);
      if (at >= length || (bytes[at] & 0xC0) != 0x80) valid = false;
      else c = c << 6 | (bytes[at] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (valid && ((extra == 2 && (c < 0x800 || (c >= 0xD800 && c < 0xE000))) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF))))
      valid = false;
    if (!valid) {
      out.push_back(u'\xFFFD');
      ++i;
      continue;
    }
    AppendCodePoint(out, c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

wtext TagValue(const char* entries, const wtext& name) {
  wtext values;
  bool first = true;
  for (const char* entry = entries; *entry; entry += std::strlen(entry) + 1) {
    if (!NameIs(entry, name)) continue;
    if (!first) values += u"; ";
    first = false;
    const char* value = entry + name.size() + 1;
    values += FromUtf8(value, std::strlen(value));
  }
  return values;
}

wtext TagLines(const char* entries) {
  wtext lines;
  for (const char* entry = entries; *entry; entry += std::strlen(entry) + 1) {
    if (!lines.empty()) lines += u"\r\n";
    lines += FromUtf8(entry, std::strlen(entry));
  }
  return lines;
}

}  // namespace control
