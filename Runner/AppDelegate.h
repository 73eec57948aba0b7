#pragma once

#include "Runner/embedding/flutter_app_delegate.h"
#include "platform/appkit/ns_application.h"

// The application's delegate: activates the application once launching has finished, keeps
// it running with no window, brings every window back on reopen, and turns each quit request
// into an "onQuitAttempt" message to the interface, which alone decides what follows.
// Main thread only (the application loop calls it).
class AppDelegate : public flutter::FlutterAppDelegate {
 public:
  AppDelegate();
  ~AppDelegate() override;

  void applicationDidFinishLaunching(const void* notification) override;
  bool applicationShouldTerminateAfterLastWindowClosed(appkit::NSApplication& sender) override;
  bool applicationShouldHandleReopen(appkit::NSApplication& sender, bool hasVisibleWindows) override;
  bool applicationSupportsSecureRestorableState(appkit::NSApplication& app) override;
  appkit::NSApplicationTerminateReply applicationShouldTerminate(appkit::NSApplication& sender) override;
};
