#include "platform/service_management/autostart_folder.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <set>
#include <variant>

#include "platform/service_management/desktop_entry_exec.h"
#include "platform/service_management/program_location.h"

namespace service_management::autostart {
namespace {

constexpr const char* kGroup = G_KEY_FILE_DESKTOP_GROUP;
constexpr const char* kGnomeEnabled = "X-GNOME-Autostart-enabled";
constexpr std::string_view kSuffix = ".desktop";

bool exists(const std::string& path) { return g_file_test(path.c_str(), G_FILE_TEST_EXISTS); }

// A loaded entry, owned by the caller, or null when the file is missing, unreadable or not
// a desktop entry.
GKeyFile* load(const std::string& path) {
  g_autoptr(GKeyFile) file = g_key_file_new();
  const auto flags = static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);
  if (!g_key_file_load_from_file(file, path.c_str(), flags, nullptr)) return nullptr;
  if (!g_key_file_has_group(file, kGroup)) return nullptr;
  return static_cast<GKeyFile*>(g_steal_pointer(&file));
}

// A key that is absent or not a boolean reads as `fallback`.
bool booleanKey(GKeyFile* file, const char* key, bool fallback) {
  g_autoptr(GError) error = nullptr;
  gboolean value = g_key_file_get_boolean(file, kGroup, key, &error);
  if (error != nullptr) return fallback;
  return value != FALSE;
}

std::optional<std::string> stringKey(GKeyFile* file, const char* key) {
  g_autofree gchar* value = g_key_file_get_string(file, kGroup, key, nullptr);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

// As a session would look for it: an absolute path must be an executable file, a bare
// name is searched in PATH.
bool programExists(const std::string& program) {
  if (program.empty()) return false;
  if (program.find('/') != std::string::npos) {
    return g_file_test(program.c_str(), G_FILE_TEST_IS_REGULAR) &&
           g_file_test(program.c_str(), G_FILE_TEST_IS_EXECUTABLE);
  }
  g_autofree gchar* found = g_find_program_in_path(program.c_str());
  return found != nullptr;
}

ServiceOutcome failure(const std::string& what, const std::string& why) { return ServiceError{what + ": " + why}; }

// Where the entry's contents go, or why nowhere. An entry that is a link (dotfile managers
// keep them) stays one: its target is replaced, which only makes sense for a target of this
// user's; a replacement of the link itself would silently cut it off from where the user
// keeps it.
std::variant<std::string, ServiceError> fileBehind(const std::string& entry) {
  struct stat info {};
  if (lstat(entry.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return entry;
  std::unique_ptr<char, decltype(&std::free)> target(realpath(entry.c_str(), nullptr), &std::free);
  if (!target || stat(target.get(), &info) != 0) {
    return *failure("The autostart entry " + entry + " is a link", "what it points to is missing");
  }
  if (info.st_uid != geteuid()) {
    return *failure("The autostart entry " + entry + " is a link",
                    std::string(target.get()) + " belongs to another user and is left alone");
  }
  return std::string(target.get());
}

ServiceOutcome write(GKeyFile* file, const std::string& entry) {
  const auto behind = fileBehind(entry);
  if (const auto* refused = std::get_if<ServiceError>(&behind)) return *refused;
  const std::string& path = std::get<std::string>(behind);
  g_autofree gchar* folder = g_path_get_dirname(path.c_str());
  if (g_mkdir_with_parents(folder, 0700) != 0) {
    return failure("Could not create the autostart folder " + std::string(folder), g_strerror(errno));
  }
  gsize length = 0;
  g_autofree gchar* data = g_key_file_to_data(file, &length, nullptr);
  g_autoptr(GError) error = nullptr;
  const auto flags = static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT | G_FILE_SET_CONTENTS_DURABLE);
  if (!g_file_set_contents_full(path.c_str(), data, static_cast<gssize>(length), flags, 0644, &error)) {
    return failure("Could not write the autostart entry " + path, error->message);
  }
  return std::nullopt;
}

void setSwitches(GKeyFile* file, bool enabled) {
  g_key_file_set_boolean(file, kGroup, G_KEY_FILE_DESKTOP_KEY_HIDDEN, enabled ? FALSE : TRUE);
  g_key_file_set_boolean(file, kGroup, kGnomeEnabled, enabled ? TRUE : FALSE);
}

}  // namespace

std::string userFolder(const xdg::Folders& folders) { return folders.configHome + "/autostart"; }

std::vector<std::string> systemFolders(const xdg::Folders& folders) {
  std::vector<std::string> autostartFolders;
  for (const auto& dir : folders.configDirs) autostartFolders.push_back(dir + "/autostart");
  return autostartFolders;
}

std::string userEntryPath(const xdg::Folders& folders, const std::string& desktopId) {
  return userFolder(folders) + "/" + desktopId + ".desktop";
}

std::optional<std::string> systemEntryPath(const xdg::Folders& folders, const std::string& desktopId) {
  for (const auto& folder : systemFolders(folders)) {
    std::string path = folder + "/" + desktopId + ".desktop";
    if (exists(path)) return path;
  }
  return std::nullopt;
}

std::optional<std::string> effectiveEntryPath(const xdg::Folders& folders, const std::string& desktopId) {
  std::string user = userEntryPath(folders, desktopId);
  if (!folders.configHome.empty() && exists(user)) return user;
  return systemEntryPath(folders, desktopId);
}

SMAppServiceStatus statusOfEntry(const std::string& path) {
  g_autoptr(GKeyFile) file = load(path);
  if (file == nullptr) return SMAppServiceStatus::NotFound;
  if (booleanKey(file, G_KEY_FILE_DESKTOP_KEY_HIDDEN, false) || !booleanKey(file, kGnomeEnabled, true)) {
    return SMAppServiceStatus::RequiresApproval;
  }
  if (auto tryExec = stringKey(file, G_KEY_FILE_DESKTOP_KEY_TRY_EXEC); tryExec && !programExists(*tryExec)) {
    return SMAppServiceStatus::NotFound;
  }
  auto execValue = stringKey(file, G_KEY_FILE_DESKTOP_KEY_EXEC);
  if (!execValue) return SMAppServiceStatus::NotFound;
  auto arguments = exec::parseCommandLine(*execValue);
  if (!arguments || arguments->empty() || !programExists(arguments->front())) return SMAppServiceStatus::NotFound;
  return SMAppServiceStatus::Enabled;
}

std::vector<EffectiveEntry> allEffectiveEntries(const xdg::Folders& folders) {
  std::vector<EffectiveEntry> entries;
  std::set<std::string> seen;
  std::vector<std::string> autostartFolders = systemFolders(folders);
  if (!folders.configHome.empty()) autostartFolders.insert(autostartFolders.begin(), userFolder(folders));
  for (const auto& folder : autostartFolders) {
    g_autoptr(GDir) dir = g_dir_open(folder.c_str(), 0, nullptr);
    if (dir == nullptr) continue;
    std::set<std::string> names;  // sorted, so the list does not depend on the file system's order
    while (const gchar* name = g_dir_read_name(dir)) names.insert(name);
    for (const auto& name : names) {
      if (name.size() <= kSuffix.size() || !name.ends_with(kSuffix)) continue;
      if (!seen.insert(name).second) continue;
      entries.push_back({name.substr(0, name.size() - kSuffix.size()), folder + "/" + name});
    }
  }
  return entries;
}

ServiceOutcome writeEntryForProgram(const std::string& path, const std::string& name, const std::string& executable) {
  // A desktop entry is UTF-8 text, and its string values may not hold control characters
  // (tab and newline included), escaped or not; a session would refuse such an entry.
  const auto refuse = [&executable](const char* why) -> ServiceOutcome {
    g_autofree gchar* shown = g_strescape(executable.c_str(), nullptr);
    return ServiceError{"A login item cannot start " + std::string(shown) + ": its path " + why +
                        ", which autostart entries cannot hold"};
  };
  if (!g_utf8_validate(executable.data(), static_cast<gssize>(executable.size()), nullptr)) {
    return refuse("is not valid UTF-8");
  }
  for (unsigned char c : executable) {
    if (c < 0x20 || c == 0x7f) return refuse("holds control characters");
  }
  // Started with the user's rights at every login: nobody else may be able to swap it.
  if (auto why = whyOthersCouldReplace(executable)) {
    g_autofree gchar* shown = g_strescape(executable.c_str(), nullptr);
    g_autofree gchar* reason = g_strescape(why->c_str(), nullptr);
    return ServiceError{"A login item will not start " + std::string(shown) + ": " + reason +
                        "; copy the program to a folder only you can write first"};
  }
  // What the user or the desktop added to our entry stays; an entry that cannot be read as
  // one is replaced whole.
  g_autoptr(GKeyFile) file = load(path);
  if (file == nullptr) file = g_key_file_new();
  g_key_file_set_string(file, kGroup, G_KEY_FILE_DESKTOP_KEY_TYPE, G_KEY_FILE_DESKTOP_TYPE_APPLICATION);
  g_key_file_set_string(file, kGroup, G_KEY_FILE_DESKTOP_KEY_NAME, name.c_str());
  g_key_file_set_string(file, kGroup, G_KEY_FILE_DESKTOP_KEY_EXEC, exec::commandLine({executable}).c_str());
  g_key_file_set_string(file, kGroup, G_KEY_FILE_DESKTOP_KEY_TRY_EXEC, executable.c_str());
  g_key_file_set_boolean(file, kGroup, G_KEY_FILE_DESKTOP_KEY_TERMINAL, FALSE);
  setSwitches(file, true);
  return write(file, path);
}

ServiceOutcome writeSwitchedCopy(const std::string& from, const std::string& to, bool enabled) {
  g_autoptr(GKeyFile) file = load(from);
  if (file == nullptr) return failure("Could not read the autostart entry " + from, "missing or not a desktop entry");
  setSwitches(file, enabled);
  return write(file, to);
}

ServiceOutcome removeEntry(const std::string& path) {
  // A link is the user's way of keeping the entry elsewhere: switched off, not cut.
  if (struct stat info{}; lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    g_autoptr(GKeyFile) file = load(path);
    if (file == nullptr) file = g_key_file_new();
    setSwitches(file, false);
    return write(file, path);
  }
  if (g_unlink(path.c_str()) != 0 && errno != ENOENT) {
    return failure("Could not remove the autostart entry " + path, g_strerror(errno));
  }
  return std::nullopt;
}

}  // namespace service_management::autostart
