#pragma once

namespace view {

// The application's texts are looked up in the "tessra" text domain, installed under the
// install prefix's share/locale.
inline constexpr const char* kTextDomain = "tessra";

// Binds the text domain to the installed translations, in UTF-8, and makes it the default
// one. Safe to call more than once and from any thread; the first call counts.
void bindTextDomain();

// The translation of `text` in the text domain, which is bound first if need be.
const char* translate(const char* text);
// The translation of the form of `one`/`many` that fits `count`.
const char* translate(const char* one, const char* many, unsigned long count);

}  // namespace view
