#pragma once

#include "platform/bundle/bundle.h"
#include "platform/service_management/service_management.h"
#include "platform/system_log/system_log.h"
#include "platform/system_version/system_version.h"
#include "platform/user_defaults/user_defaults.h"

// The platform facilities LaunchAtLogin works through. main() installs the Linux adapters,
// tests install fakes (LaunchAtLogin::installPlatform). The referenced objects must outlive
// every use of LaunchAtLogin.
struct LoginItemPlatform {
  service_management::ServiceManagement& serviceManagement;
  system_version::SystemVersion& systemVersion;
  bundle::Bundle& bundle;
  user_defaults::UserDefaults& userDefaults;
  system_log::SystemLog& systemLog;
};
