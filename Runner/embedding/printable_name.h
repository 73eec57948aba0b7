#pragma once

#include <string>
#include <string_view>

namespace flutter {

// A name the other side of a channel chose (a method, a channel), made safe to put on one
// line of standard output or of a log: printable ASCII stays byte for byte, and so does
// UTF-8 text; control characters (newlines included), bytes that are not UTF-8, and the
// characters that end a line or turn text around without being seen (U+0085, U+2028,
// U+2029, the bidirectional controls) become \xNN or \u{NNNN}; a name longer than
// kPrintableNameBytes is cut there, at a character's end, and says how long it was.
// A name that itself holds such an escape prints the same as the character would: the
// line can be misread, but never split or forged. Any thread.
inline constexpr size_t kPrintableNameBytes = 256;
std::string printableName(std::string_view name);

}  // namespace flutter
