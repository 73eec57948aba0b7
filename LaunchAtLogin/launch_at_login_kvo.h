#pragma once

#include <optional>
#include <string>

#include "LaunchAtLogin/launch_at_login.h"
#include "platform/observation/key_value_observing.h"

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
