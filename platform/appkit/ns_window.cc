#include "platform/appkit/ns_window.h"

#include <algorithm>
#include <cassert>

#include "platform/appkit/ns_application.h"

namespace appkit {

NSWindow::NSWindow(const NSRect& contentRect, NSWindowStyleMask styleMask, NSBackingStoreType backing, bool defer)
    : application_(&NSApp()),
      styleMask_(styleMask),
      windowNumber_(application_->registerWindow(this)),
      backend_(application_->backend().createWindow(*this, contentRect)) {
  // Buffered backing is all the window system offers, and a window is realised when it is
  // first ordered in whatever `defer` says.
  (void)backing;
  (void)defer;
  assert(backend_);
}

NSWindow::~NSWindow() {
  if (application_) application_->unregisterWindow(this);
}

void NSWindow::awakeFromNib() { awokenFromNib_ = true; }

void NSWindow::orderWindow(NSWindowOrderingMode mode, long relativeTo) {
  // The window system stacks a window only against all others, not against one window.
  (void)relativeTo;
  switch (mode) {
    case NSWindowOrderingMode::NSWindowAbove:
      backend_->order(WindowBackend::Order::kAbove);
      break;
    case NSWindowOrderingMode::NSWindowBelow:
      backend_->order(WindowBackend::Order::kBelow);
      break;
    case NSWindowOrderingMode::NSWindowOut:
      backend_->order(WindowBackend::Order::kOut);
      break;
  }
}

void NSWindow::makeKeyAndOrderFront(const void* sender) {
  orderFront(sender);
  backend_->makeKey();
}

void NSWindow::orderFront(const void* sender) {
  (void)sender;
  orderWindow(NSWindowOrderingMode::NSWindowAbove, 0);
}

void NSWindow::orderOut(const void* sender) {
  (void)sender;
  orderWindow(NSWindowOrderingMode::NSWindowOut, 0);
}

bool NSWindow::isVisible() const { return backend_->isVisible(); }

void NSWindow::setIsVisible(bool visible) {
  orderWindow(visible ? NSWindowOrderingMode::NSWindowAbove : NSWindowOrderingMode::NSWindowOut, 0);
}

NSRect NSWindow::frame() const { return backend_->frame(); }

void NSWindow::setFrame(const NSRect& frame, bool display) { backend_->setFrame(frame, display); }

void NSWindow::center() { backend_->center(); }

void NSWindow::setTitle(const std::string& title) {
  title_ = title;
  backend_->setTitle(title);
}

void NSWindow::setRestorable(bool restorable) {
  restorable_ = restorable;
  backend_->setRestorable(restorable);
}

void NSWindow::setContentViewController(std::shared_ptr<NSViewController> controller) {
  // The old controller (and the view it owns) must outlive the swap in the backend, which
  // still holds the old view until it has placed the new one.
  std::shared_ptr<NSViewController> previous = std::move(contentViewController_);
  contentViewController_ = std::move(controller);
  backend_->setContentView(contentViewController_ ? &contentViewController_->view() : nullptr);
}

void NSWindow::performClose(const void* sender) {
  const bool wasVisible = isVisible();
  orderOut(sender);
  // Only the closing of a shown window can be the closing of the last one.
  if (!wasVisible || !application_) return;
  const auto& windows = application_->windows();
  const bool anyVisible = std::any_of(windows.begin(), windows.end(), [](const NSWindow* w) { return w->isVisible(); });
  if (!anyVisible) application_->handleLastWindowClosed();
}

}  // namespace appkit
