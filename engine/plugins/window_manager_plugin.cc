#include "engine/plugins/window_manager_plugin.h"

#include "engine/plugins/stand_in_plugins.h"

namespace {
long hiddenWindowAtLaunchCount = 0;
const appkit::NSWindow* lastWindow = nullptr;
std::vector<std::string>* callLog = nullptr;
}  // namespace

void WindowManagerPlugin::registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar) {
  engine::plugins::installStandInChannel(registrar, "window_manager");
}

void WindowManagerPlugin::hiddenWindowAtLaunch(appkit::NSWindow& window) {
  ++hiddenWindowAtLaunchCount;
  lastWindow = &window;
  if (callLog) callLog->push_back(std::to_string(window.windowNumber()) + ":hiddenWindowAtLaunch");
}

void WindowManagerPlugin::setCallLog(std::vector<std::string>* log) { callLog = log; }

long WindowManagerPlugin::hiddenWindowAtLaunchCalls() { return hiddenWindowAtLaunchCount; }

const appkit::NSWindow* WindowManagerPlugin::lastWindowAskedToHideAtLaunch() { return lastWindow; }
