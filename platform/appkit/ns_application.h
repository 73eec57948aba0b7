#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/appkit/window_backend.h"

namespace appkit {

class NSApplication;
class NSWindow;

enum NSApplicationTerminateReply {
  NSTerminateCancel = 0,
  NSTerminateNow = 1,
  NSTerminateLater = 2,
};

// The application's delegate: answers the loop's lifecycle questions. All calls arrive on
// the main thread. The defaults are the platform's: no extra behaviour.
class NSApplicationDelegate {
 public:
  virtual ~NSApplicationDelegate() = default;
  NSApplicationDelegate() = default;
  NSApplicationDelegate(const NSApplicationDelegate&) = delete;
  NSApplicationDelegate& operator=(const NSApplicationDelegate&) = delete;

  virtual void applicationDidFinishLaunching(const void* notification) { (void)notification; }
  virtual bool applicationShouldTerminateAfterLastWindowClosed(NSApplication& sender) {
    (void)sender;
    return false;
  }
  virtual bool applicationShouldHandleReopen(NSApplication& sender, bool hasVisibleWindows) {
    (void)sender;
    (void)hasVisibleWindows;
    return true;
  }
  virtual bool applicationSupportsSecureRestorableState(NSApplication& app) {
    (void)app;
    return false;
  }
  virtual NSApplicationTerminateReply applicationShouldTerminate(NSApplication& sender) {
    (void)sender;
    return NSTerminateNow;
  }
};

// The shared application: the live windows in creation order, the delegate, activation and
// the end of the loop. One per process, installed by NSApplicationMain (or by a test with a
// fake backend). Main thread only.
class NSApplication {
 public:
  explicit NSApplication(std::unique_ptr<ApplicationBackend> backend);
  ~NSApplication();
  NSApplication(const NSApplication&) = delete;
  NSApplication& operator=(const NSApplication&) = delete;

  // Installs `app` as the shared application (NSApp); pass nullptr to uninstall.
  static void setShared(NSApplication* app);

  // Every live window, in the order of creation (not of focus).
  const std::vector<NSWindow*>& windows() const { return windows_; }

  void activateIgnoringOtherApps(bool flag);

  NSApplicationDelegate* delegate() const { return delegate_; }
  // The delegate is owned by the main interface description, not by the application.
  void setDelegate(NSApplicationDelegate* delegate) { delegate_ = delegate; }

  // Events of the window system, mapped by the backend:
  // a reopen request (a second launch of the program while it runs): brings the application
  // forward, then asks the delegate whether any window is visible;
  void handleReopen();
  // a quit request (Quit action, its accelerator, `gapplication action ... quit`, logout).
  // Returns the delegate's answer; on NSTerminateNow the loop is stopped with status 0.
  NSApplicationTerminateReply handleQuitRequest();
  // The last visible window was closed: asks the delegate whether to quit.
  void handleLastWindowClosed();

  // Ends the loop without asking the delegate (the platform's `stop:`), for code outside
  // the host that has decided that the application ends.
  void stop(int status = 0);

  ApplicationBackend& backend() { return *backend_; }

  // For NSWindow: registration in creation order.
  long registerWindow(NSWindow* window);
  void unregisterWindow(NSWindow* window);

 private:
  std::unique_ptr<ApplicationBackend> backend_;
  NSApplicationDelegate* delegate_ = nullptr;
  std::vector<NSWindow*> windows_;
  long nextWindowNumber_ = 1;
};

// The shared application. Asserts that one is installed.
NSApplication& NSApp();

// What the platform's main interface description does: creates the application's delegate
// and main window, connects the outlets and completes each object's awakeFromNib. Owns
// what it creates for the rest of the run. Called once, on the main thread, before
// applicationDidFinishLaunching.
class MainInterfaceDescription {
 public:
  virtual ~MainInterfaceDescription() = default;
  virtual void instantiate(NSApplication& app) = 0;
};

// Runs the application: installs the shared application over the GTK backend, loads
// `mainInterface`, sends applicationDidFinishLaunching, and runs the loop until something
// stops it. Returns the status to pass to exit(). Main thread.
//
// `interfaceCanAsk`, called on the main thread when the session's logout becomes a quit
// request, says whether the interface can put a question to the user now; where the session
// lets a logout be held while the question is open, it is held only then. Unset: it can.
int NSApplicationMain(int argc, char* argv[], MainInterfaceDescription& mainInterface,
                      std::function<bool()> interfaceCanAsk = {});

}  // namespace appkit
