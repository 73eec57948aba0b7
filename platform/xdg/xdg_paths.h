#pragma once

// The XDG base directories, looked up in the environment at every call. GLib's own
// g_get_user_config_dir() caches its first answer for the life of the process, which would
// pin a program (and every test in one executable) to the folders it saw first.
// For the adapters only: the Parts' code never sees paths.

#include <glib.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace xdg {

inline bool isAbsolute(std::string_view path) { return !path.empty() && path.front() == '/'; }

// $XDG_CONFIG_HOME, or ~/.config when it is unset, empty or relative (relative values are
// invalid and must be ignored).
inline std::string userConfigDir() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  if (configHome != nullptr && isAbsolute(configHome)) return configHome;
  const char* home = std::getenv("HOME");
  std::string base = (home != nullptr && isAbsolute(home)) ? home : g_get_home_dir();
  return base + "/.config";
}

// $XDG_CONFIG_DIRS in order of importance, or /etc/xdg when it is unset or names nothing usable.
inline std::vector<std::string> systemConfigDirs() {
  std::vector<std::string> dirs;
  const char* value = std::getenv("XDG_CONFIG_DIRS");
  std::string_view rest = value != nullptr ? value : "";
  while (!rest.empty()) {
    size_t colon = rest.find(':');
    std::string_view dir = rest.substr(0, colon);
    if (isAbsolute(dir)) dirs.emplace_back(dir);
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  if (dirs.empty()) dirs.emplace_back("/etc/xdg");
  return dirs;
}

}  // namespace xdg
