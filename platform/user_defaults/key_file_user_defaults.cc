#define G_LOG_DOMAIN "tessra-user-defaults"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>

#include "platform/user_defaults/user_defaults.h"

namespace user_defaults {
namespace {

constexpr const char* kGroup = "UserDefaults";
constexpr const char* kFileName = "user-defaults.ini";

// The file's contents, or an empty key file when it is missing, unreadable or corrupt. The
// caller owns the result.
GKeyFile* load(const std::string& path) {
  g_autoptr(GKeyFile) file = g_key_file_new();
  g_autoptr(GError) error = nullptr;
  if (!g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_KEEP_COMMENTS, &error)) {
    if (!g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT)) {
      // Not worth stopping for: the defaults only hold flags that have safe defaults.
      g_warning("ignoring unreadable defaults file %s: %s", path.c_str(), error->message);
    }
    return g_key_file_new();
  }
  return static_cast<GKeyFile*>(g_steal_pointer(&file));
}

}  // namespace

KeyFileUserDefaults::KeyFileUserDefaults(const xdg::Folders& folders, const std::string& applicationId)
    : path_(folders.configHome.empty() ? std::string() : folders.configHome + "/" + applicationId + "/" + kFileName) {}

bool KeyFileUserDefaults::boolForKey(const std::string& key) {
  if (path().empty()) return false;
  g_autoptr(GKeyFile) file = load(path());
  g_autoptr(GError) error = nullptr;
  const gboolean value = g_key_file_get_boolean(file, kGroup, key.c_str(), &error);
  if (error != nullptr) return false;
  return value != FALSE;
}

bool KeyFileUserDefaults::setBoolForKey(bool value, const std::string& key) {
  const std::string file_path = path();
  if (file_path.empty()) {
    g_warning("there is no configuration folder (HOME is not usable): %s is not saved", key.c_str());
    return false;
  }
  g_autofree gchar* folder = g_path_get_dirname(file_path.c_str());
  if (g_mkdir_with_parents(folder, 0700) != 0) {
    g_warning("cannot create %s: %s", folder, g_strerror(errno));
    return false;
  }
  g_autoptr(GKeyFile) file = load(file_path);
  g_key_file_set_boolean(file, kGroup, key.c_str(), value ? TRUE : FALSE);
  gsize length = 0;
  g_autofree gchar* data = g_key_file_to_data(file, &length, nullptr);
  g_autoptr(GError) error = nullptr;
  if (!g_file_set_contents_full(
          file_path.c_str(), data, static_cast<gssize>(length),
          static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT | G_FILE_SET_CONTENTS_DURABLE), 0600,
          &error)) {
    g_warning("cannot write %s: %s", file_path.c_str(), error->message);
    return false;
  }
  return true;
}

}  // namespace user_defaults
