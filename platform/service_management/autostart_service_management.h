#pragma once

#include <optional>
#include <string>

#include "platform/bundle/bundle.h"
#include "platform/service_management/service_management.h"
#include "platform/xdg/xdg_folders.h"

namespace service_management {

// Login items as freedesktop.org autostart entries.
//
// The application's own service is the entry <desktopId>.desktop. Registering rewrites the
// user's entry in one atomic replacement so that it starts the program the bundle names at
// that moment and is switched on, which also repairs an entry left pointing at a moved
// program; keys that others added to the entry are kept. Unregistering removes the
// user's entry, or, where a system entry of that name would still start the program,
// replaces it with one that hides the system entry. The status is that of the entry that
// counts (see autostart_folder.h).
//
// The legacy calls work on the entry named after the login item's identifier: the job list
// has one dictionary per effective entry ("Label": its desktop file id, "OnDemand": true
// when it would start); switching copies the effective entry into the user folder with its
// switches set; the login item's service registers by switching its entry on (it cannot
// write one: the program it starts is not ours) and unregisters like the main service.
//
// Synchronous file work on the caller's thread; no state kept between calls.
class AutostartServiceManagement : public ServiceManagement {
 public:
  struct Options {
    std::string desktopId;  // the application id
    std::string name;       // Name= of the written entry
    // Asked for the program's path at every registration, not once: the program may have
    // been moved, or upgraded, since it started. Must outlive this object.
    const bundle::Bundle& program;
    // Where the autostart folders are (see autostart_folder.h).
    xdg::Folders folders;
  };
  explicit AutostartServiceManagement(Options options) : options_(std::move(options)) {}

  std::unique_ptr<SMAppService> mainAppService() override;
  std::unique_ptr<SMAppService> loginItemServiceWithIdentifier(const std::string& identifier) override;
  bool SMLoginItemSetEnabled(const std::string& identifier, bool enabled) override;
  std::optional<JobDictionaries> SMCopyAllJobDictionaries() override;

 private:
  Options options_;
};

}  // namespace service_management
