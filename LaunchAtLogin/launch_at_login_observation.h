#pragma once

#include <functional>
#include <optional>
#include <string>

#include "LaunchAtLogin/launch_at_login_core.h"
#include "platform/observation/key_value_observing.h"
#include "platform/observation/observable_object.h"

// The observable object: isEnabled reads and writes LaunchAtLogin::isEnabled (so a write
// here is one full write with all its notifications); objectWillChange() announces every
// write, wherever it came from. Holds no state.
class LaunchAtLogin::Observable : public observation::ObservableObject {
 public:
  bool isEnabled() const { return LaunchAtLogin::isEnabled(); }
  void setIsEnabled(bool value) { LaunchAtLogin::setIsEnabled(value); }
  void modifyIsEnabled(const std::function<void(bool&)>& change) { LaunchAtLogin::modifyIsEnabled(change); }
};

// The key-value-observable object: observers of the key "isEnabled" hear will-change and
// did-change around every write. Its value is always the system's; it stores nothing.
class LaunchAtLogin::KVO : public observation::NSObject {
 public:
  static constexpr const char* kIsEnabledKey = "isEnabled";

  bool isEnabled() const { return LaunchAtLogin::isEnabled(); }
  void setIsEnabled(bool value) { LaunchAtLogin::setIsEnabled(value); }

  // Key-value coding: nothing (and no effect) for a key the object does not have.
  std::optional<bool> valueForKey(const std::string& key) const {
    if (key != kIsEnabledKey) return std::nullopt;
    return isEnabled();
  }
  bool setValueForKey(bool value, const std::string& key) {
    if (key != kIsEnabledKey) return false;
    setIsEnabled(value);
    return true;
  }
};
