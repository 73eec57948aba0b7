#include "Runner/embedding/printable_name.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace flutter {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `rest` (no overlong forms,
// no surrogates, nothing above U+10FFFF) and its code point, or 0.
size_t decodeUtf8(std::string_view rest, char32_t& codePoint) {
  const auto byte = [&rest](size_t i) { return static_cast<unsigned char>(rest[i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  char32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, codePoint = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (rest.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(i) & 0x3F);
  }
  if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
  return length;
}

// Characters a terminal or a log viewer may take as a line's end, or that reorder what
// follows them on screen.
bool isHidden(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x200E && c <= 0x200F) ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

}  // namespace

std::string printableName(std::string_view name) {
  std::string shown;
  shown.reserve(std::min(name.size(), kPrintableNameBytes) + 16);
  char escaped[16];
  size_t at = 0;
  while (at < name.size()) {
    const unsigned char byte = static_cast<unsigned char>(name[at]);
    char32_t codePoint = 0;
    const size_t length = byte < 0x80 ? 1 : decodeUtf8(name.substr(at), codePoint);
    if (at + std::max<size_t>(length, 1) > kPrintableNameBytes) break;
    if (length == 1) {
      if (byte >= 0x20 && byte < 0x7F) {
        shown += static_cast<char>(byte);
      } else {
        std::snprintf(escaped, sizeof(escaped), "\\x%02x", byte);
        shown += escaped;
      }
    } else if (length == 0) {
      std::snprintf(escaped, sizeof(escaped), "\\x%02x", byte);
      shown += escaped;
    } else if (isHidden(codePoint)) {
      std::snprintf(escaped, sizeof(escaped), "\\u{%04x}", static_cast<unsigned>(codePoint));
      shown += escaped;
    } else {
      shown.append(name.substr(at, length));
    }
    at += std::max<size_t>(length, 1);
  }
  if (at < name.size()) shown += "... (" + std::to_string(name.size()) + " bytes)";
  return shown;
}

}  // namespace flutter
