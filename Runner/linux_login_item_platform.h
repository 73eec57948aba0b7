#pragma once

#include <string>

#include "LaunchAtLogin/login_item_platform.h"
#include "platform/service_management/autostart_service_management.h"
#include "platform/xdg/xdg_folders.h"

// The Linux adapters behind LaunchAtLogin, owned together: part of the entry point's
// wiring. main() keeps one for the whole run and installs it before the first channel call:
//   LinuxLoginItemPlatform loginItems(xdg::resolveFolders());
//   LaunchAtLogin::installPlatform(loginItems.platform());
class LinuxLoginItemPlatform {
 public:
  explicit LinuxLoginItemPlatform(const xdg::Folders& folders)
      : applicationId_(bundle_.bundleIdentifier().value_or("")),
        serviceManagement_({applicationId_, "Tessra", bundle_, folders}),
        userDefaults_(folders, applicationId_) {}
  LinuxLoginItemPlatform(const LinuxLoginItemPlatform&) = delete;
  LinuxLoginItemPlatform& operator=(const LinuxLoginItemPlatform&) = delete;

  LoginItemPlatform platform() {
    return {serviceManagement_, systemVersion_, bundle_, userDefaults_, systemLog_};
  }

 private:
  bundle::LinuxBundle bundle_;
  std::string applicationId_;
  service_management::AutostartServiceManagement serviceManagement_;
  system_version::LinuxSystemVersion systemVersion_;
  user_defaults::KeyFileUserDefaults userDefaults_;
  system_log::JournalSystemLog systemLog_;
};
