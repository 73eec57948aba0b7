#pragma once

#include <string>

namespace built_in {

// The application's texts are looked up in the "tessra" text domain, installed under the
// install prefix's share/locale.
inline constexpr const char* kTextDomain = "tessra";

// Binds the text domain to the installed translations, in UTF-8, and makes it the default
// one. Safe to call more than once; the first call counts.
void bindTranslations();

// The translation of `text` (marked for xgettext with the keyword tr).
const char* tr(const char* text);
// The translation of the form of `one`/`many` that fits `count` (keyword trn:1,2).
const char* trn(const char* one, const char* many, unsigned long count);
// printf-style formatting of a translated pattern.
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

}  // namespace built_in
