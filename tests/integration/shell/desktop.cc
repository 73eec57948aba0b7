#include "tests/integration/shell/desktop.h"

#include <chrono>
#include <cstdlib>

namespace tessra::testing {

namespace {
std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
}  // namespace

std::string backendName(Backend backend) { return backend == Backend::kX11 ? "X11" : "Wayland"; }

std::optional<std::string> Desktop::missing() const {
  if (variable("DBUS_SESSION_BUS_ADDRESS").empty()) return "needs a private session bus (dbus-run-session)";
  if (backend_ == Backend::kX11 && variable("DISPLAY").empty())
    return "needs an X display (tests/run-tests starts Xvfb with openbox)";
  if (backend_ == Backend::kWayland &&
      (variable("TESSRA_TEST_WAYLAND_DISPLAY").empty() || variable("TESSRA_TEST_WAYLAND_RUNTIME_DIR").empty()))
    return "needs a Wayland compositor (tests/run-tests starts weston)";
  return std::nullopt;
}

std::vector<std::string> Desktop::command(const std::string& program) const {
  if (backend_ == Backend::kX11) return {"env", "GDK_BACKEND=x11", program};
  return {"env",
          "-u",
          "DISPLAY",
          "GDK_BACKEND=wayland",
          "WAYLAND_DISPLAY=" + variable("TESSRA_TEST_WAYLAND_DISPLAY"),
          "XDG_RUNTIME_DIR=" + variable("TESSRA_TEST_WAYLAND_RUNTIME_DIR"),
          program};
}

bool Desktop::windowShown(const std::string& title, pid_t pid) {
  if (backend_ == Backend::kX11) {
    auto window = x11_.find(title, pid);
    return window && window->mapped;
  }
  auto application = accessibility_.application(pid, std::chrono::milliseconds(0));
  if (!application) return false;
  // A message dialog is named after its kind ("Question"); its text is its title here.
  for (const auto& window : application->children()) {
    if (window.showing() && (window.name() == title || !AccessibleUi::labelsStartingWith(window, title).empty()))
      return true;
  }
  return false;
}

}  // namespace tessra::testing
