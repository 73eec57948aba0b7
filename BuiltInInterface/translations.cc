#include "BuiltInInterface/translations.h"

#include <glib.h>
#include <libintl.h>

#include <cstdarg>
#include <mutex>

#ifndef TESSRA_LOCALE_DIR
#error "TESSRA_LOCALE_DIR must name the installed locale folder"
#endif

namespace built_in {

void bindTranslations() {
  static std::once_flag once;
  std::call_once(once, [] {
    bindtextdomain(kTextDomain, TESSRA_LOCALE_DIR);
    bind_textdomain_codeset(kTextDomain, "UTF-8");
    textdomain(kTextDomain);
  });
}

const char* tr(const char* text) { return g_dgettext(kTextDomain, text); }

const char* trn(const char* one, const char* many, unsigned long count) {
  return g_dngettext(kTextDomain, one, many, count);
}

std::string format(const char* pattern, ...) {
  va_list arguments;
  va_start(arguments, pattern);
  char* text = g_strdup_vprintf(pattern, arguments);
  va_end(arguments);
  std::string result(text);
  g_free(text);
  return result;
}

}  // namespace built_in
