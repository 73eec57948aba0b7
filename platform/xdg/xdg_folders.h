#pragma once

#include <string>
#include <vector>

namespace xdg {

// The XDG base folders that adapters keep the user's settings in. main() resolves them once
// at start (resolveFolders) and hands them to each adapter that needs them; tests hand in
// temporary folders. Plain values: nothing looks at the environment after start.
struct Folders {
  std::string configHome;               // $XDG_CONFIG_HOME, or ~/.config
  std::vector<std::string> configDirs;  // $XDG_CONFIG_DIRS, most important first, or /etc/xdg
};

// The folders of this process's environment, as GLib finds them. GLib reads the
// environment once, at its first lookup, and keeps that answer for the life of the
// process. Relative paths, which the base directory rules say to ignore, are left out.
// Main thread, at start.
Folders resolveFolders();

}  // namespace xdg
