#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tests/integration/built_in_interface/accessible_ui.h"
#include "tests/integration/support/app_process.h"

namespace tessra::testing {

// The real program with no driver attached (its socket served, nobody on it), so that its
// built-in interface is the one that answers, in private XDG folders, and what its window shows through the
// accessibility bus. Needs DISPLAY and a private session bus (the test command runs dbus-run-session).
class RunningApp {
 public:
  // Why the program cannot be shown here (no display, no session bus); none when it can.
  static std::optional<std::string> missingEnvironment();
  // Starts `binary` and waits until its interface is up; false with `why` when it is not.
  bool start(const std::string& binary, std::string& why);
  ~RunningApp();

  const std::string& home() const { return dir_.path(); }
  std::string configHome() const { return dir_.path() + "/config"; }
  std::string driverSocket() const { return dir_.path() + "/driver.sock"; }
  ChildProcess& process() { return *process_; }
  AccessibleUi& ui() { return ui_; }
  // The program's accessible root; valid after start().
  const AccessibleUi::Element& root() const { return *root_; }

  // The main window's X id, for screenshots.
  std::optional<unsigned long> mainWindowId();

 private:
  TempDir dir_;
  std::unique_ptr<ChildProcess> process_;
  AccessibleUi ui_;
  std::optional<AccessibleUi::Element> root_;
};

}  // namespace tessra::testing
