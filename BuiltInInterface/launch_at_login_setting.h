#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Runner/channels/channels.h"
#include "engine/messaging/interface_side.h"
#include "platform/dispatch/lifetime.h"

namespace built_in_interface {

// The "Launch at login" switch apart from its look. What it shows is always the last read:
// a change is one "launchAtStartupSetEnabled" followed by a fresh "launchAtStartupIsEnabled",
// because the host answers a write with null whether or not the system took it. A read that
// disagrees with the change asked for marks the change as refused. Main thread only.
class LaunchAtLoginSetting {
 public:
  explicit LaunchAtLoginSetting(engine::messaging::InterfaceSide& interface);
  LaunchAtLoginSetting(const LaunchAtLoginSetting&) = delete;
  LaunchAtLoginSetting& operator=(const LaunchAtLoginSetting&) = delete;

  // Called after every change of what the getters below answer.
  void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

  // Reads the setting (done whenever the switch is shown).
  void refresh();
  // Asks for a change, then reads again.
  void request(bool enabled);

  // The last value read; none before the first answer or when reading failed.
  std::optional<bool> enabled() const { return enabled_; }
  // A call is on its way; the switch waits for it rather than taking more changes.
  bool busy() const { return calls_ > 0; }
  // The last change asked for did not happen.
  bool refused() const { return refused_; }
  // What went wrong with the last call; empty when it went well.
  const std::string& problem() const { return problem_; }

 private:
  void read(std::optional<bool> expected);
  void changed();

  engine::messaging::InterfaceSide& interface_;
  std::function<void()> onChange_;
  std::optional<bool> enabled_;
  int calls_ = 0;
  bool refused_ = false;
  std::string problem_;
  dispatch::Lifetime lifetime_;
};

}  // namespace built_in_interface
