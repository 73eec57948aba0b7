#pragma once

#include <memory>

#include "Runner/AppDelegate.h"
#include "Runner/MainFlutterWindow.h"
#include "Runner/discovery/local_network_discovery.h"
#include "platform/appkit/ns_application.h"

// The main interface description: one AppDelegate as the application's delegate and one
// MainFlutterWindow, titled "tessra", 1000 by 700, centred, with the delegate's
// mainFlutterWindow outlet pointing at it. Owns both for the rest of the run; the window is
// shown once loaded, as the description's only window visible at launch.
class MainMenu : public appkit::MainInterfaceDescription {
 public:
  static constexpr double kDefaultWidth = 1000;
  static constexpr double kDefaultHeight = 700;

  explicit MainMenu(discovery::DiscoveryServices services);
  ~MainMenu() override;
  MainMenu(const MainMenu&) = delete;
  MainMenu& operator=(const MainMenu&) = delete;

  // Called once by NSApplicationMain (or a test), before applicationDidFinishLaunching.
  void instantiate(appkit::NSApplication& app) override;

  AppDelegate* appDelegate() const { return delegate_.get(); }
  MainFlutterWindow* mainFlutterWindow() const { return window_.get(); }

 private:
  discovery::DiscoveryServices services_;
  std::unique_ptr<AppDelegate> delegate_;
  std::shared_ptr<MainFlutterWindow> window_;
};
