#pragma once

#include "platform/appkit/ns_application.h"
#include "platform/appkit/ns_window.h"

namespace flutter {

// Base of the application's delegate. The main interface description connects the
// mainFlutterWindow outlet (non-owning: the description owns the window for the whole
// run). Main thread only.
class FlutterAppDelegate : public appkit::NSApplicationDelegate {
 public:
  void applicationDidFinishLaunching(const void* notification) override { (void)notification; }

  appkit::NSWindow* mainFlutterWindow = nullptr;
};

}  // namespace flutter
