#include "platform/view/text_domain.h"

#include <glib.h>
#include <libintl.h>

#include <mutex>

#ifndef TESSRA_LOCALE_DIR
#error "TESSRA_LOCALE_DIR must name the installed locale folder"
#endif

namespace view {

void bindTextDomain() {
  static std::once_flag once;
  std::call_once(once, [] {
    bindtextdomain(kTextDomain, TESSRA_LOCALE_DIR);
    bind_textdomain_codeset(kTextDomain, "UTF-8");
    textdomain(kTextDomain);
  });
}

const char* translate(const char* text) {
  bindTextDomain();
  return g_dgettext(kTextDomain, text);
}

const char* translate(const char* one, const char* many, unsigned long count) {
  bindTextDomain();
  return g_dngettext(kTextDomain, one, many, count);
}

}  // namespace view
