#include "Runner/AppDelegate.h"

#include <vector>

#include "Runner/channels/channels.h"
#include "Runner/embedding/flutter_view_controller.h"
#include "Runner/embedding/method_channel.h"

AppDelegate::AppDelegate() = default;
AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching(const void* notification) {
  flutter::FlutterAppDelegate::applicationDidFinishLaunching(notification);
  appkit::NSApp().activateIgnoringOtherApps(true);
}

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed(appkit::NSApplication&) { return false; }

bool AppDelegate::applicationShouldHandleReopen(appkit::NSApplication&, bool hasVisibleWindows) {
  if (hasVisibleWindows) return true;
  // A copy: what a window does when it is ordered front must not disturb the walk.
  const std::vector<appkit::NSWindow*> windows = appkit::NSApp().windows();
  for (appkit::NSWindow* window : windows) {
    if (!window->isVisible()) window->setIsVisible(true);
    window->makeKeyAndOrderFront(this);
    appkit::NSApp().activateIgnoringOtherApps(true);
  }
  return true;
}

bool AppDelegate::applicationSupportsSecureRestorableState(appkit::NSApplication&) { return true; }

appkit::NSApplicationTerminateReply AppDelegate::applicationShouldTerminate(appkit::NSApplication&) {
  // The main window and its view controller exist for the whole run; should either be
  // missing, there is nobody to tell, and the quit stays cancelled all the same: ending the
  // application is the interface's decision alone.
  auto* controller = mainFlutterWindow
                         ? dynamic_cast<flutter::FlutterViewController*>(mainFlutterWindow->contentViewController())
                         : nullptr;
  if (controller) {
    flutter::FlutterMethodChannel::methodChannelWithName(channels::kLifecycle.name,
                                                         controller->engine().binaryMessenger())
        .invokeMethod(channels::kLifecycle.quitAttemptMethod, flutter::EncodableValue());
  }
  return appkit::NSTerminateCancel;
}
