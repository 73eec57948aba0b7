#include "tests/integration/built_in_interface/running_app.h"

#include <cstdlib>

#include "tests/integration/support/x11_windows.h"

namespace tessra::testing {

using namespace std::chrono_literals;

std::optional<std::string> RunningApp::missingEnvironment() {
  if (!getenv("DISPLAY")) return "needs an X display (tests/run-tests starts Xvfb)";
  if (!getenv("DBUS_SESSION_BUS_ADDRESS")) return "needs a private session bus (dbus-run-session)";
  return std::nullopt;
}

bool RunningApp::start(const std::string& binary, std::string& why) {
  // The texts the tests look for are the untranslated ones; the accessibility bridge must
  // not be switched off.
  process_ = std::make_unique<ChildProcess>(std::vector<std::string>{binary},
                                            std::map<std::string, std::string>{{"XDG_CONFIG_HOME", configHome()},
                                                                               {"HOME", dir_.path()},
                                                                               {"TESSRA_DRIVER_SOCKET", driverSocket()},
                                                                               {"LANGUAGE", "C"},
                                                                               {"LC_ALL", "C.UTF-8"},
                                                                               {"NO_AT_BRIDGE", "0"}},
                                            dir_.path());
  root_ = ui_.application(process_->pid(), 20s);
  if (!root_) {
    why = "the program never showed up on the accessibility bus; stderr: " + process_->standardError();
    return false;
  }
  if (!ui_.waitFor(*root_, "push button", "Scan network", 20s)) {
    why = "the built-in interface never showed its scan button";
    return false;
  }
  return true;
}

RunningApp::~RunningApp() {
  if (process_) process_->terminate();
}

std::optional<unsigned long> RunningApp::mainWindowId() {
  X11Windows windows;
  auto window = windows.find("tessra", process_->pid());
  if (!window) return std::nullopt;
  return window->id;
}

}  // namespace tessra::testing
