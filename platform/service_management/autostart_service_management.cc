#include "platform/service_management/autostart_service_management.h"

#include "platform/service_management/autostart_folder.h"

namespace service_management {
namespace {

// Without a configuration folder (no usable home: see xdg_folders.h) there is nowhere to
// write, and a path built from an empty one would name a folder at the root.
std::optional<ServiceError> noUserFolder(const xdg::Folders& folders) {
  if (!folders.configHome.empty()) return std::nullopt;
  return ServiceError{"There is no configuration folder to keep an autostart entry in (HOME is not usable)"};
}

SMAppServiceStatus statusOf(const xdg::Folders& folders, const std::string& desktopId) {
  auto path = autostart::effectiveEntryPath(folders, desktopId);
  return path ? autostart::statusOfEntry(*path) : SMAppServiceStatus::NotRegistered;
}

ServiceOutcome unregisterEntry(const xdg::Folders& folders, const std::string& desktopId) {
  if (auto error = noUserFolder(folders)) return error;
  const std::string user = autostart::userEntryPath(folders, desktopId);
  auto system = autostart::systemEntryPath(folders, desktopId);
  if (system && autostart::statusOfEntry(*system) == SMAppServiceStatus::Enabled) {
    // Removing ours would bring the system's entry back into force.
    return autostart::writeSwitchedCopy(*system, user, false);
  }
  return autostart::removeEntry(user);
}

ServiceOutcome switchEntry(const xdg::Folders& folders, const std::string& desktopId, bool enabled) {
  if (auto error = noUserFolder(folders)) return error;
  auto path = autostart::effectiveEntryPath(folders, desktopId);
  if (!path) return ServiceError{"There is no autostart entry " + desktopId + ".desktop to switch"};
  return autostart::writeSwitchedCopy(*path, autostart::userEntryPath(folders, desktopId), enabled);
}

class MainService : public SMAppService {
 public:
  explicit MainService(AutostartServiceManagement::Options options) : options_(std::move(options)) {}

  SMAppServiceStatus status() override { return statusOf(options_.folders, options_.desktopId); }
  ServiceOutcome registerAndReturnError() override {
    if (auto error = noUserFolder(options_.folders)) return error;
    const std::optional<std::string> program = options_.program.executablePath();
    if (!program) {
      return ServiceError{"The location of this program is unknown: it was moved or removed while running"};
    }
    return autostart::writeEntryForProgram(autostart::userEntryPath(options_.folders, options_.desktopId),
                                           options_.name, *program);
  }
  ServiceOutcome unregisterAndReturnError() override { return unregisterEntry(options_.folders, options_.desktopId); }

 private:
  AutostartServiceManagement::Options options_;
};

class LoginItemService : public SMAppService {
 public:
  LoginItemService(xdg::Folders folders, std::string identifier)
      : folders_(std::move(folders)), identifier_(std::move(identifier)) {}

  SMAppServiceStatus status() override { return statusOf(folders_, identifier_); }
  ServiceOutcome registerAndReturnError() override { return switchEntry(folders_, identifier_, true); }
  ServiceOutcome unregisterAndReturnError() override { return unregisterEntry(folders_, identifier_); }

 private:
  xdg::Folders folders_;
  std::string identifier_;
};

}  // namespace

std::unique_ptr<SMAppService> AutostartServiceManagement::mainAppService() {
  return std::make_unique<MainService>(options_);
}

std::unique_ptr<SMAppService> AutostartServiceManagement::loginItemServiceWithIdentifier(
    const std::string& identifier) {
  return std::make_unique<LoginItemService>(options_.folders, identifier);
}

bool AutostartServiceManagement::SMLoginItemSetEnabled(const std::string& identifier, bool enabled) {
  return !switchEntry(options_.folders, identifier, enabled).has_value();
}

std::optional<JobDictionaries> AutostartServiceManagement::SMCopyAllJobDictionaries() {
  JobDictionaries jobs;
  for (const auto& entry : autostart::allEffectiveEntries(options_.folders)) {
    jobs.push_back({entry.desktopId, autostart::statusOfEntry(entry.path) == SMAppServiceStatus::Enabled});
  }
  return jobs;
}

}  // namespace service_management
