#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace service_management {

// What a service reports about its registration. Only Enabled means "starts at login".
enum class SMAppServiceStatus : long {
  NotRegistered = 0,
  Enabled = 1,
  RequiresApproval = 2,  // registered, but switched off by the user or the session
  NotFound = 3,          // registered, but the program it starts is gone
};

// The outcome of a registration change: nothing on success, otherwise a description fit to
// show to a person ("Could not write /home/u/.config/autostart/x.desktop: Read-only file system").
struct ServiceError {
  std::string localizedDescription;
};
using ServiceOutcome = std::optional<ServiceError>;

// One login-item service: the application itself or a separate login item. Fetched anew
// for every use and never kept; each call asks the system. Synchronous; blocks on file
// system work. Called on the caller's thread (the main thread in this program).
class SMAppService {
 public:
  virtual ~SMAppService() = default;
  SMAppService() = default;
  SMAppService(const SMAppService&) = delete;
  SMAppService& operator=(const SMAppService&) = delete;

  virtual SMAppServiceStatus status() = 0;
  // Registers the service so that it starts at login; repairs a registration that points
  // at a program that has moved. An existing registration is replaced in one step: at every
  // moment the old or the new one is in force, and a failed call leaves the old one as it was.
  virtual ServiceOutcome registerAndReturnError() = 0;
  // Removes the registration. Unregistering what is not registered succeeds.
  virtual ServiceOutcome unregisterAndReturnError() = 0;
};

// One job of the user's job list, with the two keys the login-item state reads. The system
// hands jobs out loosely typed: a key that is absent, or whose value is of another kind,
// arrives here as nothing, and the reader decides what that means.
struct JobDictionary {
  std::optional<std::string> label;  // "Label": the job's identifier
  std::optional<bool> onDemand;      // "OnDemand": true when the job starts at login
};
using JobDictionaries = std::vector<JobDictionary>;

// Port: the operating system's login-item registration, in its modern form (services) and
// its legacy form (a login item switched by identifier, its state read from the user's job
// list). Synchronous, no callbacks; called on the caller's thread.
class ServiceManagement {
 public:
  virtual ~ServiceManagement() = default;
  ServiceManagement() = default;
  ServiceManagement(const ServiceManagement&) = delete;
  ServiceManagement& operator=(const ServiceManagement&) = delete;

  // The service of the application itself.
  virtual std::unique_ptr<SMAppService> mainAppService() = 0;
  // The service of a separate login item named by `identifier`.
  virtual std::unique_ptr<SMAppService> loginItemServiceWithIdentifier(const std::string& identifier) = 0;
  // Switches the legacy login item `identifier` on or off. True when the switch took.
  virtual bool SMLoginItemSetEnabled(const std::string& identifier, bool enabled) = 0;
  // The current user's job list, in the system's order; nothing when the list cannot be had
  // or does not have the shape of a list of dictionaries with string keys.
  virtual std::optional<JobDictionaries> SMCopyAllJobDictionaries() = 0;
};

}  // namespace service_management
