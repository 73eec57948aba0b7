#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "LaunchAtLogin/login_item_platform.h"
#include "Runner/discovery/local_network_discovery.h"
#include "platform/bundle/bundle.h"
#include "platform/dispatch/glib_main_queue.h"
#include "platform/interfaces/linux_interface_addresses.h"
#include "platform/network/socket_connection_factory.h"
#include "platform/process/child_launcher_process.h"
#include "platform/service_management/autostart_service_management.h"
#include "platform/system_log/system_log.h"
#include "platform/system_version/system_version.h"
#include "platform/user_defaults/user_defaults.h"
#include "platform/xdg/xdg_folders.h"

// The composition root: every Linux adapter behind the ports, created here and nowhere
// else in the program, and handed out by reference. main() keeps one for the whole run,
// made on the main thread (the main queue belongs to the thread that makes it), and wires
// the Parts with it:
//   LinuxAdapters adapters(xdg::resolveFolders());
//   LaunchAtLogin::installPlatform(adapters.loginItemPlatform());
//   MainMenu mainMenu(adapters.discoveryServices(std::cout));
// Tests hand in temporary folders.
class LinuxAdapters {
 public:
  explicit LinuxAdapters(const xdg::Folders& folders)
      : connections_(mainQueue_),
        applicationId_(bundle_.bundleIdentifier().value_or("")),
        serviceManagement_({applicationId_, "Tessra", bundle_, folders}),
        userDefaults_(folders, applicationId_) {}
  LinuxAdapters(const LinuxAdapters&) = delete;
  LinuxAdapters& operator=(const LinuxAdapters&) = delete;

  dispatch::MainQueue& mainQueue() { return mainQueue_; }

  // What the main window's discovery uses; its diagnostic lines go to `out`.
  discovery::DiscoveryServices discoveryServices(std::ostream& out) {
    return {interfaces_, *processes_, mainQueue_, connections_, out};
  }

  // What LaunchAtLogin works through.
  LoginItemPlatform loginItemPlatform() {
    return {serviceManagement_, systemVersion_, bundle_, userDefaults_, systemLog_};
  }

 private:
  // In the order they depend on one another; each outlives those declared after it.
  dispatch::GlibMainQueue mainQueue_;
  interfaces::LinuxInterfaceAddresses interfaces_;
  std::unique_ptr<process::ProcessLauncher> processes_ = process::makeProcessLauncher();
  network::SocketConnectionFactory connections_;
  bundle::LinuxBundle bundle_;
  std::string applicationId_;
  service_management::AutostartServiceManagement serviceManagement_;
  system_version::LinuxSystemVersion systemVersion_;
  user_defaults::KeyFileUserDefaults userDefaults_;
  system_log::JournalSystemLog systemLog_;
};
