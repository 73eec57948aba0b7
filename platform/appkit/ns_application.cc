#include "platform/appkit/ns_application.h"

#include <algorithm>
#include <cassert>

#include "platform/appkit/ns_window.h"

namespace appkit {

namespace {
NSApplication* sharedApplication = nullptr;
}  // namespace

NSApplication::NSApplication(std::unique_ptr<ApplicationBackend> backend) : backend_(std::move(backend)) {
  assert(backend_);
}

NSApplication::~NSApplication() {
  // Windows owned elsewhere (the main interface description) may outlive the application at
  // the end of the run; they must not reach back into it when they go.
  for (NSWindow* window : windows_) window->application_ = nullptr;
  if (sharedApplication == this) sharedApplication = nullptr;
}

void NSApplication::setShared(NSApplication* app) { sharedApplication = app; }

NSApplication& NSApp() {
  assert(sharedApplication && "no shared application installed");
  return *sharedApplication;
}

void NSApplication::activateIgnoringOtherApps(bool flag) {
  // Desktops on Linux have no "activate without stealing focus" mode worth mapping: both
  // values bring the application forward.
  (void)flag;
  backend_->activate();
}

void NSApplication::handleReopen() {
  // As on the platform this mirrors, the application comes forward before the delegate is
  // asked, as the launch asked for it: the shown windows come forward; hidden and minimised
  // ones do not count as visible and are the delegate's to bring back.
  backend_->activate();
  const bool hasVisibleWindows =
      std::any_of(windows_.begin(), windows_.end(), [](const NSWindow* window) { return window->isVisible(); });
  // Without a delegate there is nothing to reopen: the platform's own default (an untitled
  // document) has no counterpart here.
  if (delegate_) delegate_->applicationShouldHandleReopen(*this, hasVisibleWindows);
}

NSApplicationTerminateReply NSApplication::handleQuitRequest() {
  const NSApplicationTerminateReply reply = delegate_ ? delegate_->applicationShouldTerminate(*this) : NSTerminateNow;
  // NSTerminateLater would need a later reply call that nothing in this program makes; it
  // keeps the application running like a cancel.
  if (reply == NSTerminateNow) stop(0);
  return reply;
}

void NSApplication::handleLastWindowClosed() {
  if (delegate_ && delegate_->applicationShouldTerminateAfterLastWindowClosed(*this)) handleQuitRequest();
}

void NSApplication::stop(int status) { backend_->stop(status); }

long NSApplication::registerWindow(NSWindow* window) {
  windows_.push_back(window);
  return nextWindowNumber_++;
}

void NSApplication::unregisterWindow(NSWindow* window) { std::erase(windows_, window); }

}  // namespace appkit
