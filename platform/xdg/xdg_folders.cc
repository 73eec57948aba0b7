#define G_LOG_DOMAIN "tessra-xdg"

#include "platform/xdg/xdg_folders.h"

#include <glib.h>
#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace xdg {
namespace {

bool isAbsolute(std::string_view path) { return !path.empty() && path.front() == '/'; }

// This user's home folder in the user database (as `getent passwd` shows it).
std::optional<std::string> accountHome() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  if (found->pw_dir == nullptr) return std::nullopt;
  return std::string(found->pw_dir);
}

}  // namespace

std::string chooseConfigHome(std::string_view glibConfigHome, std::string_view home,
                             const std::optional<std::string>& account) {
  // GLib takes a relative $XDG_CONFIG_HOME, or a relative or empty $HOME, as it is; the
  // rules say to ignore a relative one.
  if (isAbsolute(glibConfigHome)) return std::string(glibConfigHome);
  if (isAbsolute(home)) return std::string(home) + "/.config";
  if (account && isAbsolute(*account)) return *account + "/.config";
  return {};
}

Folders resolveFolders() {
  Folders folders;
  const gchar* home = g_get_home_dir();
  const gchar* glibConfigHome = g_get_user_config_dir();
  const bool homeUsable = g_path_is_absolute(home);
  folders.configHome =
      chooseConfigHome(glibConfigHome, home, homeUsable ? std::optional<std::string>() : accountHome());
  if (!homeUsable && !g_path_is_absolute(glibConfigHome)) {
    // Said once, at start: settings are then read and written where the line says.
    g_autofree gchar* shown = g_strescape(home, nullptr);
    if (folders.configHome.empty()) {
      g_warning(
          "HOME (\"%s\") is not an absolute path and the user database names no home folder: settings are "
          "not saved",
          shown);
    } else {
      g_message("HOME (\"%s\") is not an absolute path: settings are kept in %s", shown, folders.configHome.c_str());
    }
  }
  // Likewise for the entries of $XDG_CONFIG_DIRS, empty ones included ("a::b").
  for (const gchar* const* dir = g_get_system_config_dirs(); *dir != nullptr; ++dir) {
    if (g_path_is_absolute(*dir)) folders.configDirs.emplace_back(*dir);
  }
  if (folders.configDirs.empty()) folders.configDirs.emplace_back("/etc/xdg");
  return folders;
}

}  // namespace xdg
