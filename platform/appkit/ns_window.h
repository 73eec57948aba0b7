#pragma once

#include <memory>
#include <string>

#include "platform/appkit/geometry.h"
#include "platform/appkit/ns_view.h"
#include "platform/appkit/window_backend.h"

namespace appkit {

class NSApplication;

// Style mask bits of a window (a subset: what the host's window uses).
using NSWindowStyleMask = unsigned;
inline constexpr NSWindowStyleMask NSWindowStyleMaskTitled = 1u << 0;
inline constexpr NSWindowStyleMask NSWindowStyleMaskClosable = 1u << 1;
inline constexpr NSWindowStyleMask NSWindowStyleMaskMiniaturizable = 1u << 2;
inline constexpr NSWindowStyleMask NSWindowStyleMaskResizable = 1u << 3;

enum class NSBackingStoreType { NSBackingStoreBuffered = 2 };

enum class NSWindowOrderingMode { NSWindowBelow = -1, NSWindowOut = 0, NSWindowAbove = 1 };

// A top-level window. Created through the shared application's backend; the application
// lists every live window in creation order (NSApplication::windows). Main thread only.
//
// Every change of the window's place in the window order goes through the virtual
// orderWindow(), as on the platform this mirrors: makeKeyAndOrderFront, orderOut,
// setIsVisible and the close button all end up there, so a subclass that overrides it
// sees each one.
class NSWindow {
 public:
  // initWithContentRect:styleMask:backing:defer:
  NSWindow(const NSRect& contentRect, NSWindowStyleMask styleMask, NSBackingStoreType backing, bool defer);
  virtual ~NSWindow();
  NSWindow(const NSWindow&) = delete;
  NSWindow& operator=(const NSWindow&) = delete;

  // Called once by the main interface description after every object it creates exists
  // and every outlet is connected. The base only notes that loading has completed.
  virtual void awakeFromNib();
  bool hasAwokenFromNib() const { return awokenFromNib_; }

  // The one place where the window's order changes. `relativeTo` is the number of another
  // window, 0 for none.
  virtual void orderWindow(NSWindowOrderingMode mode, long relativeTo);

  void makeKeyAndOrderFront(const void* sender);
  void orderFront(const void* sender);
  void orderOut(const void* sender);
  bool isVisible() const;
  void setIsVisible(bool visible);

  NSRect frame() const;
  void setFrame(const NSRect& frame, bool display);
  void center();
  std::string title() const { return title_; }
  void setTitle(const std::string& title);

  bool isRestorable() const { return restorable_; }
  void setRestorable(bool restorable);

  NSViewController* contentViewController() const { return contentViewController_.get(); }
  // Installs the controller and shows its view as the window's content. The window keeps
  // the controller alive from then on.
  void setContentViewController(std::shared_ptr<NSViewController> controller);

  NSWindowStyleMask styleMask() const { return styleMask_; }
  long windowNumber() const { return windowNumber_; }

  // The window system's close button: ordering out, never destroying; the application
  // keeps running with the window hidden. When no window is left visible the application
  // hears of it (NSApplication::handleLastWindowClosed).
  void performClose(const void* sender);

  // For backends and tests.
  WindowBackend& backend() { return *backend_; }

 private:
  friend class NSApplication;

  // The application the window registered with; cleared when that application goes first.
  NSApplication* application_;
  NSWindowStyleMask styleMask_;
  long windowNumber_;
  bool restorable_ = true;
  bool awokenFromNib_ = false;
  std::string title_;
  std::shared_ptr<NSViewController> contentViewController_;
  std::unique_ptr<WindowBackend> backend_;
};

}  // namespace appkit
