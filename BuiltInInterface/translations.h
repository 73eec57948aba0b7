#pragma once

#include <string>

namespace built_in_interface {

// The interface's texts, looked up in the application's text domain (view::translate).

// The translation of `text` (marked for xgettext with the keyword tr).
const char* tr(const char* text);
// The translation of the form of `one`/`many` that fits `count` (keyword trn:1,2).
const char* trn(const char* one, const char* many, unsigned long count);
// printf-style formatting of a translated pattern.
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

}  // namespace built_in_interface
