#pragma once

#include <functional>

#include "LaunchAtLogin/launch_at_login.h"
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
