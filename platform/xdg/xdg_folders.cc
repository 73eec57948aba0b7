#include "platform/xdg/xdg_folders.h"

#include <glib.h>

namespace xdg {

Folders resolveFolders() {
  Folders folders;
  // GLib takes a relative $XDG_CONFIG_HOME as it is; the rules say to ignore it.
  const gchar* configHome = g_get_user_config_dir();
  if (g_path_is_absolute(configHome)) {
    folders.configHome = configHome;
  } else {
    g_autofree gchar* fallback = g_build_filename(g_get_home_dir(), ".config", nullptr);
    folders.configHome = fallback;
  }
  // Likewise for the entries of $XDG_CONFIG_DIRS, empty ones included ("a::b").
  for (const gchar* const* dir = g_get_system_config_dirs(); *dir != nullptr; ++dir) {
    if (g_path_is_absolute(*dir)) folders.configDirs.emplace_back(*dir);
  }
  if (folders.configDirs.empty()) folders.configDirs.emplace_back("/etc/xdg");
  return folders;
}

}  // namespace xdg
