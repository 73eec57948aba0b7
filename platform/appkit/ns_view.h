#pragma once

namespace appkit {

// What a view controller puts into a window's content area. Backends know their own
// concrete view type (the GTK backend's views wrap a widget); the host only passes views on.
class NSView {
 public:
  virtual ~NSView() = default;
  NSView() = default;
  NSView(const NSView&) = delete;
  NSView& operator=(const NSView&) = delete;
};

// Owns the view shown as a window's content. Main thread only.
class NSViewController {
 public:
  virtual ~NSViewController() = default;
  NSViewController() = default;
  NSViewController(const NSViewController&) = delete;
  NSViewController& operator=(const NSViewController&) = delete;

  // The controller's view; lives as long as the controller.
  virtual NSView& view() = 0;
};

}  // namespace appkit
