#include "BuiltInInterface/translations.h"

#include <glib.h>

#include <cstdarg>

#include "platform/view/text_domain.h"

namespace built_in_interface {

const char* tr(const char* text) { return view::translate(text); }

const char* trn(const char* one, const char* many, unsigned long count) { return view::translate(one, many, count); }

std::string format(const char* pattern, ...) {
  va_list arguments;
  va_start(arguments, pattern);
  g_autofree char* text = g_strdup_vprintf(pattern, arguments);
  va_end(arguments);
  return text;
}

}  // namespace built_in_interface
