#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xdg {

// The XDG base folders that adapters keep the user's settings in. main() resolves them once
// at start (resolveFolders) and hands them to each adapter that needs them; tests hand in
// temporary folders. Plain values: nothing looks at the environment after start.
struct Folders {
  // $XDG_CONFIG_HOME, or ~/.config; empty when this user has no home folder that can be
  // found, and then adapters write nothing there (each says so in one line).
  std::string configHome;
  std::vector<std::string> configDirs;  // $XDG_CONFIG_DIRS, most important first, or /etc/xdg
};

// The folders of this process's environment, as GLib finds them. GLib reads the
// environment once, at its first lookup, and keeps that answer for the life of the
// process. Relative paths, which the base directory rules say to ignore, are left out.
// Main thread, at start.
Folders resolveFolders();

// The user's configuration folder, from what GLib found ($XDG_CONFIG_HOME, else
// $HOME/.config), $HOME, and the home folder the user database gives this user. The first
// absolute one of: GLib's answer, $HOME/.config, <account home>/.config. A HOME that is
// empty or relative (a service started with HOME= or HOME=.) would otherwise put the
// settings under whatever folder the program was started in; the account's home is where
// the user's desktop session keeps them. Empty when none is absolute.
std::string chooseConfigHome(std::string_view glibConfigHome, std::string_view home,
                             const std::optional<std::string>& accountHome);

}  // namespace xdg
