#include <glib.h>

#include <string_view>

#include "platform/bundle/bundle.h"

namespace bundle {

std::optional<std::string> LinuxBundle::bundleIdentifier() const {
  std::string id = TESSRA_APPLICATION_ID;
  if (id.empty()) return std::nullopt;
  return id;
}

namespace {

bool isProgram(const std::string& path) {
  return g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR) && g_file_test(path.c_str(), G_FILE_TEST_IS_EXECUTABLE);
}

}  // namespace

std::optional<std::string> LinuxBundle::executablePath() const {
  // The link names the running file where it is now, also after a move. A file that was
  // removed from its folder reads as its last path plus " (deleted)": that is what a
  // package upgrade does to a running program, replacing the file with the new version. The
  // path then names the installed program, as long as there is one there.
  g_autofree gchar* target = g_file_read_link("/proc/self/exe", nullptr);
  if (!target) return std::nullopt;
  std::string path(target);
  static constexpr std::string_view kDeleted = " (deleted)";
  if (!path.ends_with(kDeleted) || isProgram(path)) return path;  // a live file may bear the suffix itself
  path.resize(path.size() - kDeleted.size());
  if (path.empty() || !isProgram(path)) return std::nullopt;
  return path;
}

}  // namespace bundle
