#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/integration/built_in_interface/accessible_ui.h"
#include "tests/integration/support/x11_windows.h"

namespace tessra::testing {

// The two desktops the shell's tests run the real program on, as tests/run-tests starts them:
// X11 (Xvfb with openbox, DISPLAY) and Wayland (weston's headless backend, named by
// TESSRA_TEST_WAYLAND_DISPLAY and TESSRA_TEST_WAYLAND_RUNTIME_DIR). On Wayland nothing outside
// the program reaches its windows (xdotool is X11's, and the headless backend has no input
// seat): tests there drive it through the driver socket and read it through the accessibility
// bus.
enum class Backend { kX11, kWayland };

class Desktop {
 public:
  explicit Desktop(Backend backend) : backend_(backend) {}

  Backend backend() const { return backend_; }
  // Why this desktop is not there; none when it is. Both need a private session bus.
  std::optional<std::string> missing() const;

  // The command that starts `program` as a client of this desktop only: GDK_BACKEND set, and
  // on Wayland no DISPLAY (so nothing can fall back to X11) and the compositor's private
  // XDG_RUNTIME_DIR.
  std::vector<std::string> command(const std::string& program) const;

  // Whether process `pid` shows a top-level window titled `title`.
  bool windowShown(const std::string& title, pid_t pid);

  // X11 only: the window manager's view of the window.
  X11Windows& x11() { return x11_; }

 private:
  Backend backend_;
  X11Windows x11_;
  AccessibleUi accessibility_;
};

std::string backendName(Backend backend);

}  // namespace tessra::testing
