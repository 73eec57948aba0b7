#include "platform/service_management/autostart_service_management.h"

#include "platform/service_management/autostart_folder.h"

namespace service_management {
namespace {

SMAppServiceStatus statusOf(const std::string& desktopId) {
  auto path = autostart::effectiveEntryPath(desktopId);
  return path ? autostart::statusOfEntry(*path) : SMAppServiceStatus::NotRegistered;
}

ServiceOutcome unregisterEntry(const std::string& desktopId) {
  const std::string user = autostart::userEntryPath(desktopId);
  auto system = autostart::systemEntryPath(desktopId);
  if (system && autostart::statusOfEntry(*system) == SMAppServiceStatus::Enabled) {
    // Removing ours would bring the system's entry back into force.
    return autostart::writeSwitchedCopy(*system, user, false);
  }
  return autostart::removeEntry(user);
}

ServiceOutcome switchEntry(const std::string& desktopId, bool enabled) {
  auto path = autostart::effectiveEntryPath(desktopId);
  if (!path) return ServiceError{"There is no autostart entry " + desktopId + ".desktop to switch"};
  return autostart::writeSwitchedCopy(*path, autostart::userEntryPath(desktopId), enabled);
}

class MainService : public SMAppService {
 public:
  explicit MainService(AutostartServiceManagement::Options options) : options_(std::move(options)) {}

  SMAppServiceStatus status() override { return statusOf(options_.desktopId); }
  ServiceOutcome registerAndReturnError() override {
    const std::optional<std::string> program = options_.program.executablePath();
    if (!program) {
      return ServiceError{"The location of this program is unknown: it was moved or removed while running"};
    }
    return autostart::writeEntryForProgram(autostart::userEntryPath(options_.desktopId), options_.name, *program);
  }
  ServiceOutcome unregisterAndReturnError() override { return unregisterEntry(options_.desktopId); }

 private:
  AutostartServiceManagement::Options options_;
};

class LoginItemService : public SMAppService {
 public:
  explicit LoginItemService(std::string identifier) : identifier_(std::move(identifier)) {}

  SMAppServiceStatus status() override { return statusOf(identifier_); }
  ServiceOutcome registerAndReturnError() override { return switchEntry(identifier_, true); }
  ServiceOutcome unregisterAndReturnError() override { return unregisterEntry(identifier_); }

 private:
  std::string identifier_;
};

}  // namespace

std::unique_ptr<SMAppService> AutostartServiceManagement::mainAppService() {
  return std::make_unique<MainService>(options_);
}

std::unique_ptr<SMAppService> AutostartServiceManagement::loginItemServiceWithIdentifier(
    const std::string& identifier) {
  return std::make_unique<LoginItemService>(identifier);
}

bool AutostartServiceManagement::SMLoginItemSetEnabled(const std::string& identifier, bool enabled) {
  return !switchEntry(identifier, enabled).has_value();
}

std::optional<JobDictionaries> AutostartServiceManagement::SMCopyAllJobDictionaries() {
  JobDictionaries jobs;
  for (const auto& entry : autostart::allEffectiveEntries()) {
    jobs.push_back({entry.desktopId, autostart::statusOfEntry(entry.path) == SMAppServiceStatus::Enabled});
  }
  return jobs;
}

}  // namespace service_management
