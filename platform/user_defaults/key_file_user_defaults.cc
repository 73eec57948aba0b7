#include <glib.h>
#include <glib/gstdio.h>

#include <cstdio>
#include <memory>

#include "platform/user_defaults/user_defaults.h"

namespace user_defaults {
namespace {

constexpr const char* kGroup = "UserDefaults";
constexpr const char* kFileName = "user-defaults.ini";

using KeyFile = std::unique_ptr<GKeyFile, decltype(&g_key_file_unref)>;
using Error = std::unique_ptr<GError, decltype(&g_error_free)>;
using CString = std::unique_ptr<gchar, decltype(&g_free)>;

// The file's contents, or an empty key file when it is missing, unreadable or corrupt.
KeyFile load(const std::string& path) {
  KeyFile file(g_key_file_new(), g_key_file_unref);
  GError* raw = nullptr;
  if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_KEEP_COMMENTS, &raw)) {
    Error error(raw, g_error_free);
    if (!g_error_matches(error.get(), G_FILE_ERROR, G_FILE_ERROR_NOENT)) {
      // Not worth stopping for: the defaults only hold flags that have safe defaults.
      fprintf(stderr, "tessra: ignoring unreadable defaults file %s: %s\n", path.c_str(), error->message);
    }
    return KeyFile(g_key_file_new(), g_key_file_unref);
  }
  return file;
}

}  // namespace

KeyFileUserDefaults::KeyFileUserDefaults(const xdg::Folders& folders, const std::string& applicationId)
    : path_(folders.configHome + "/" + applicationId + "/" + kFileName) {}

bool KeyFileUserDefaults::boolForKey(const std::string& key) {
  KeyFile file = load(path());
  GError* raw = nullptr;
  gboolean value = g_key_file_get_boolean(file.get(), kGroup, key.c_str(), &raw);
  if (raw != nullptr) {
    g_error_free(raw);
    return false;
  }
  return value != FALSE;
}

bool KeyFileUserDefaults::setBoolForKey(bool value, const std::string& key) {
  const std::string file_path = path();
  CString folder(g_path_get_dirname(file_path.c_str()), g_free);
  if (g_mkdir_with_parents(folder.get(), 0700) != 0) {
    fprintf(stderr, "tessra: cannot create %s: %s\n", folder.get(), g_strerror(errno));
    return false;
  }
  KeyFile file = load(file_path);
  g_key_file_set_boolean(file.get(), kGroup, key.c_str(), value ? TRUE : FALSE);
  gsize length = 0;
  CString data(g_key_file_to_data(file.get(), &length, nullptr), g_free);
  GError* raw = nullptr;
  if (!g_file_set_contents_full(file_path.c_str(), data.get(), static_cast<gssize>(length),
                                static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT |
                                                                   G_FILE_SET_CONTENTS_DURABLE),
                                0600, &raw)) {
    Error error(raw, g_error_free);
    fprintf(stderr, "tessra: cannot write %s: %s\n", file_path.c_str(), error->message);
    return false;
  }
  return true;
}

}  // namespace user_defaults
