#pragma once

#include <string>
#include <vector>

#include "Runner/embedding/plugin_registrar.h"
#include "platform/appkit/ns_window.h"

// Stand-in for the window-manager plugin: its channel (see stand_in_plugins.h) and its
// window operation.
class WindowManagerPlugin {
 public:
  static void registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar);

  // Called by the main window after every change of its place in the window order. The
  // plugin hides the window there only while the application has asked for the window to
  // stay hidden at launch; nothing in this host asks for that, so the call changes nothing.
  // It is counted, and noted in the call log if one is set, so that callers can be checked.
  // Main thread only.
  static void hiddenWindowAtLaunch(appkit::NSWindow& window);
  // Tests: each call appends "<windowNumber>:hiddenWindowAtLaunch" to `log` (null: no log), the
  // form of the fake window backends' journal, so that one log shows the order of both.
  static void setCallLog(std::vector<std::string>* log);

  // How many times hiddenWindowAtLaunch ran in this process, and for which window last.
  static long hiddenWindowAtLaunchCalls();
  static const appkit::NSWindow* lastWindowAskedToHideAtLaunch();
};
