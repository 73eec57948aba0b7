// Login item state: reads, writes and the migration, over the installed platform.

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "LaunchAtLogin/launch_at_login.h"
#include "LaunchAtLogin/launch_at_login_kvo.h"
#include "LaunchAtLogin/launch_at_login_observable.h"
#include "LaunchAtLogin/launch_at_login_shared.h"

namespace {

using service_management::SMAppServiceStatus;

constexpr system_version::OperatingSystemVersion kModernVersion{13, 0, 0};
constexpr const char* kLegacySuffix = "-LaunchAtLoginHelper";
constexpr const char* kHasMigratedKey = "LaunchAtLogin__hasMigrated";
constexpr const char* kLogSubsystem = "com.marwelquiste.LaunchAtLogin";
constexpr const char* kLogCategory = "main";
constexpr std::string_view kFailureFormat = "Failed to %s launch at login: %s";

// printf's %s without printf: the arguments are inserted as they are, so a description that
// itself holds "%s" cannot pull in anything else.
std::string format(std::string_view pattern, std::initializer_list<std::string_view> arguments) {
  std::string out;
  auto next = arguments.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.substr(i, 2) == "%s" && next != arguments.end()) {
      out += *next++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace

void LaunchAtLogin::installPlatform(LoginItemPlatform platform) { shared().platform.emplace(platform); }

const LoginItemPlatform& LaunchAtLogin::platform() {
  auto& installed = shared().platform;
  if (!installed) {
    // A wiring mistake in main(): nothing sensible can be answered without a platform.
    std::fputs("LaunchAtLogin used before LaunchAtLogin::installPlatform\n", stderr);
    std::abort();
  }
  return *installed;
}

bool LaunchAtLogin::isModernSystem() {
  return platform().systemVersion.isOperatingSystemAtLeastVersion(kModernVersion);
}

const std::optional<std::string>& LaunchAtLogin::id() {
  Shared& state = shared();
  std::call_once(state.idOnce, [&state] {
    // Without a bundle identifier there is no legacy login item to speak of: the legacy
    // paths then read false and change nothing.
    if (auto identifier = platform().bundle.bundleIdentifier()) state.id = *identifier + kLegacySuffix;
  });
  return state.id;
}

system_log::Logger& LaunchAtLogin::logger() {
  Shared& state = shared();
  std::call_once(state.loggerOnce,
                 [&state] { state.logger = platform().systemLog.makeLogger(kLogSubsystem, kLogCategory); });
  return *state.logger;
}

bool LaunchAtLogin::isEnabled() {
  if (isModernSystem()) {
    return platform().serviceManagement.mainAppService()->status() == SMAppServiceStatus::Enabled;
  }
  return isEnabledLegacy();
}

void LaunchAtLogin::setIsEnabled(bool value) {
  observable()->objectWillChange().send();
  kvo()->willChangeValueForKey(KVO::kIsEnabledKey);
  if (isModernSystem()) {
    isEnabledModern(value);
  } else if (const auto& legacyId = id()) {
    (void)platform().serviceManagement.SMLoginItemSetEnabled(*legacyId, value);
  }
  kvo()->didChangeValueForKey(KVO::kIsEnabledKey);
  _publisher()->send(value);
}

void LaunchAtLogin::modifyIsEnabled(const std::function<void(bool&)>& change) {
  bool value = isEnabled();
  change(value);
  setIsEnabled(value);
}

void LaunchAtLogin::isEnabledModern(bool value) {
  auto& services = platform().serviceManagement;
  std::optional<service_management::ServiceError> error;
  if (value) {
    // Registering replaces whatever registration exists in one step, which also repairs one
    // that no longer works. Removing a working registration first would lose it for good
    // whenever the new one then fails (say, the program was upgraded while running and its
    // path cannot be told): the old one must stay until the new one is in place.
    error = services.mainAppService()->registerAndReturnError();
  } else {
    error = services.mainAppService()->unregisterAndReturnError();
  }
  if (error && logger().isErrorEnabled()) {
    logger().error(format(kFailureFormat, {value ? "enable" : "disable", error->localizedDescription}));
  }
}

bool LaunchAtLogin::isEnabledLegacy() {
  const auto& legacyId = id();
  if (!legacyId) return false;
  const auto jobs = platform().serviceManagement.SMCopyAllJobDictionaries();
  if (!jobs) return false;
  for (const auto& job : *jobs) {
    if (job.label != *legacyId) continue;
    // The first job with our label decides, whatever it holds.
    return job.onDemand.value_or(false);
  }
  return false;
}

void LaunchAtLogin::unregisterLegacy() {
  const auto& legacyId = id();
  if (!legacyId) return;
  auto& services = platform().serviceManagement;
  (void)services.SMLoginItemSetEnabled(*legacyId, false);
  (void)services.loginItemServiceWithIdentifier(*legacyId)->unregisterAndReturnError();
}

void LaunchAtLogin::migrateIfNeeded() {
  if (!isModernSystem()) return;
  auto& defaults = platform().userDefaults;
  if (defaults.boolForKey(kHasMigratedKey)) return;
  // Written first: the migration is tried once per user, whatever its steps achieve.
  (void)defaults.setBoolForKey(true, kHasMigratedKey);
  if (isEnabledLegacy()) isEnabledModern(true);
  unregisterLegacy();
}
