#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/service_management/service_management.h"

namespace service_management::testing {

// An in-memory registration. Every call is appended to `calls` (and passed to `onCall`, so
// a test can interleave it with what observers saw). Failure switches make register and
// unregister fail with the given description and leave the state unchanged.
class FakeServiceManagement : public ServiceManagement {
 public:
  struct Service {
    SMAppServiceStatus status = SMAppServiceStatus::NotRegistered;
    std::optional<std::string> registerError;
    std::optional<std::string> unregisterError;
  };

  Service main;
  std::map<std::string, Service> loginItems;  // by identifier
  std::map<std::string, bool> legacySwitch;   // last SMLoginItemSetEnabled per identifier
  bool legacySwitchSucceeds = true;
  std::optional<JobDictionaries> jobDictionaries;  // nothing: the list cannot be had
  std::vector<std::string> calls;
  std::function<void(const std::string&)> onCall;

  std::unique_ptr<SMAppService> mainAppService() override {
    record("mainAppService");
    return std::make_unique<FakeService>(*this, "main", main);
  }
  std::unique_ptr<SMAppService> loginItemServiceWithIdentifier(const std::string& identifier) override {
    record("loginItemServiceWithIdentifier " + identifier);
    return std::make_unique<FakeService>(*this, identifier, loginItems[identifier]);
  }
  bool SMLoginItemSetEnabled(const std::string& identifier, bool enabled) override {
    record("SMLoginItemSetEnabled " + identifier + (enabled ? " true" : " false"));
    if (legacySwitchSucceeds) legacySwitch[identifier] = enabled;
    return legacySwitchSucceeds;
  }
  std::optional<JobDictionaries> SMCopyAllJobDictionaries() override {
    record("SMCopyAllJobDictionaries");
    return jobDictionaries;
  }

  // Calls whose text starts with `prefix`.
  int count(const std::string& prefix) const {
    int n = 0;
    for (const auto& call : calls) n += call.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

 private:
  class FakeService : public SMAppService {
   public:
    FakeService(FakeServiceManagement& owner, std::string name, Service& service)
        : owner_(owner), name_(std::move(name)), service_(service) {}
    SMAppServiceStatus status() override {
      owner_.record(name_ + ".status");
      return service_.status;
    }
    ServiceOutcome registerAndReturnError() override {
      owner_.record(name_ + ".register");
      if (service_.registerError) return ServiceError{*service_.registerError};
      service_.status = SMAppServiceStatus::Enabled;
      return std::nullopt;
    }
    ServiceOutcome unregisterAndReturnError() override {
      owner_.record(name_ + ".unregister");
      if (service_.unregisterError) return ServiceError{*service_.unregisterError};
      service_.status = SMAppServiceStatus::NotRegistered;
      return std::nullopt;
    }

   private:
    FakeServiceManagement& owner_;
    std::string name_;
    Service& service_;
  };

  void record(const std::string& call) {
    calls.push_back(call);
    if (onCall) onCall(call);
  }
};

}  // namespace service_management::testing
