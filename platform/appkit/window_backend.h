#pragma once

#include <memory>
#include <string>

#include "platform/appkit/geometry.h"
#include "platform/appkit/ns_view.h"

namespace appkit {

class NSWindow;

// Port: the window system's side of one NSWindow. The GTK adapter drives a GtkWindow; the
// fake records calls. Everything runs on the main thread, and the backend calls back into
// its NSWindow (performClose, for the window system's close button) on the main thread too.
//
// The backend does not decide ordering policy: NSWindow routes every change of a window's
// place in the window order through NSWindow::orderWindow, which calls order() here.
class WindowBackend {
 public:
  virtual ~WindowBackend() = default;
  WindowBackend() = default;
  WindowBackend(const WindowBackend&) = delete;
  WindowBackend& operator=(const WindowBackend&) = delete;

  virtual NSRect frame() const = 0;
  // Applies the frame. Position is a request only (X11 window managers may move the
  // window; Wayland ignores it); size is honoured.
  virtual void setFrame(const NSRect& frame, bool display) = 0;
  virtual void setTitle(const std::string& title) = 0;
  // Centres the window on its screen (best effort, like position).
  virtual void center() = 0;
  // Places the content view; the view stays owned by its controller.
  virtual void setContentView(NSView* view) = 0;

  // Shows the window above (or below) others, or hides it (out).
  enum class Order { kAbove, kBelow, kOut };
  virtual void order(Order order) = 0;
  // Shown, and not minimised.
  virtual bool isVisible() const = 0;
  // Gives the window keyboard focus (after it has been ordered front).
  virtual void makeKey() = 0;

  // Restorable windows may leave state for the next launch; a window that is not
  // restorable leaves nothing behind.
  virtual void setRestorable(bool restorable) = 0;
};

// Port: makes window backends and runs the application's loop. Implemented by the GTK
// application (platform/appkit/gtk) and by FakeApplicationBackend in tests. Main thread only.
class ApplicationBackend {
 public:
  virtual ~ApplicationBackend() = default;
  ApplicationBackend() = default;
  ApplicationBackend(const ApplicationBackend&) = delete;
  ApplicationBackend& operator=(const ApplicationBackend&) = delete;

  // A backend for a new window; `owner` receives the window system's requests.
  virtual std::unique_ptr<WindowBackend> createWindow(NSWindow& owner, const NSRect& contentRect) = 0;
  // Brings the application to the foreground: its most recently focused window that is
  // shown (not hidden, not minimised) comes forward and takes focus, with the activation
  // token of the launch that asked, if any.
  virtual void activate() = 0;
  // Ends the application loop; NSApplicationMain then returns `status`.
  virtual void stop(int status) = 0;
};

}  // namespace appkit
