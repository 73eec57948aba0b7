// A small program over the real GTK application kit for the appkit integration test: one
// window titled "appkit-probe" (640x480), and a delegate that writes each lifecycle event it
// hears as one line on standard output. Its quit answer comes from the first argument:
//   cancel  - every quit request is cancelled (the default);
//   now     - the first quit request ends the application;
//   stop:N  - the first quit request stops the application with status N and is cancelled.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/appkit/ns_application.h"
#include "platform/appkit/ns_window.h"

namespace {

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

class ProbeDelegate : public appkit::NSApplicationDelegate {
 public:
  explicit ProbeDelegate(std::string quitMode) : quitMode_(std::move(quitMode)) {}

  void applicationDidFinishLaunching(const void*) override { say("didFinishLaunching"); }
  bool applicationShouldTerminateAfterLastWindowClosed(appkit::NSApplication&) override {
    say("lastWindowClosed");
    return false;
  }
  bool applicationShouldHandleReopen(appkit::NSApplication& app, bool hasVisibleWindows) override {
    say(std::string("reopen visible=") + (hasVisibleWindows ? "1" : "0"));
    for (appkit::NSWindow* window : app.windows()) window->makeKeyAndOrderFront(this);
    return true;
  }
  appkit::NSApplicationTerminateReply applicationShouldTerminate(appkit::NSApplication& app) override {
    say("quitRequest");
    if (quitMode_ == "now") return appkit::NSTerminateNow;
    if (quitMode_.rfind("stop:", 0) == 0) app.stop(std::stoi(quitMode_.substr(5)));
    return appkit::NSTerminateCancel;
  }

 private:
  std::string quitMode_;
};

class ProbeDescription : public appkit::MainInterfaceDescription {
 public:
  explicit ProbeDescription(std::string quitMode) : delegate_(std::move(quitMode)) {}

  void instantiate(appkit::NSApplication& app) override {
    say("instantiate");
    window_ = std::make_unique<appkit::NSWindow>(appkit::NSRect{0, 0, 640, 480},
                                                 appkit::NSWindowStyleMaskTitled | appkit::NSWindowStyleMaskClosable,
                                                 appkit::NSBackingStoreType::NSBackingStoreBuffered, false);
    window_->setTitle("appkit-probe");
    window_->setRestorable(false);
    app.setDelegate(&delegate_);
    window_->awakeFromNib();
    window_->makeKeyAndOrderFront(nullptr);
  }

 private:
  ProbeDelegate delegate_;
  std::unique_ptr<appkit::NSWindow> window_;
};

}  // namespace

int main(int argc, char* argv[]) {
  ProbeDescription description(argc > 1 ? argv[1] : "cancel");
  const int status = appkit::NSApplicationMain(argc, argv, description);
  say("exit " + std::to_string(status));
  return status;
}
