#include <glib.h>

#include <memory>
#include <string_view>

#include "platform/bundle/bundle.h"

namespace bundle {

std::optional<std::string> LinuxBundle::bundleIdentifier() const {
  std::string id = TESSRA_APPLICATION_ID;
  if (id.empty()) return std::nullopt;
  return id;
}

std::optional<std::string> LinuxBundle::executablePath() const {
  // The link names the file as it was executed, even if it was moved since; if it was
  // deleted the kernel appends " (deleted)" and the path is of no use to anybody.
  std::unique_ptr<gchar, decltype(&g_free)> target(g_file_read_link("/proc/self/exe", nullptr), g_free);
  if (!target) return std::nullopt;
  std::string path(target.get());
  static constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() && path.ends_with(kDeleted)) return std::nullopt;
  return path;
}

}  // namespace bundle
