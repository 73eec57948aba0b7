#include "Runner/MainMenu.h"

#include <cassert>

MainMenu::MainMenu(discovery::DiscoveryServices services) : services_(services) {}

MainMenu::~MainMenu() = default;

void MainMenu::instantiate(appkit::NSApplication& app) {
  assert(!delegate_ && "the main interface description is loaded once");
  delegate_ = std::make_unique<AppDelegate>();
  window_ = std::make_shared<MainFlutterWindow>(appkit::NSRect{0, 0, kDefaultWidth, kDefaultHeight},
                                                appkit::NSWindowStyleMaskTitled | appkit::NSWindowStyleMaskClosable |
                                                    appkit::NSWindowStyleMaskMiniaturizable |
                                                    appkit::NSWindowStyleMaskResizable,
                                                appkit::NSBackingStoreType::NSBackingStoreBuffered, false, services_);
  window_->setTitle("tessra");
  window_->center();

  delegate_->mainFlutterWindow = window_.get();
  app.setDelegate(delegate_.get());

  window_->awakeFromNib();
  window_->makeKeyAndOrderFront(nullptr);
}
