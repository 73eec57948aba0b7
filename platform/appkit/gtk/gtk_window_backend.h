#pragma once

#include <gtk/gtk.h>

#include "platform/appkit/window_backend.h"
#include "platform/dispatch/signal_connection.h"

namespace appkit {

// A window backend over one GtkApplicationWindow of `application`.
//
// The frame is the window's own size, decorations drawn by the window manager excluded. Its
// origin is the position last asked for (setFrame, center): X11 window managers may place the
// window elsewhere and Wayland tells nobody, so reading the origin back from the window
// system would make "read the frame, apply it again" move the window.
//
// A minimised window is not visible, and ordering it in un-minimises it; making it key
// brings it onto the user's current workspace.
//
// The window system's close button orders the window out through NSWindow::performClose and
// never destroys it. Main thread only.
class GtkWindowBackend : public WindowBackend {
 public:
  GtkWindowBackend(GtkApplication* application, NSWindow& owner, const NSRect& contentRect);
  ~GtkWindowBackend() override;

  NSRect frame() const override;
  void setFrame(const NSRect& frame, bool display) override;
  void setTitle(const std::string& title) override;
  void center() override;
  void setContentView(NSView* view) override;
  void order(Order order) override;
  bool isVisible() const override;
  void makeKey() override;
  void setRestorable(bool restorable) override;

  GtkWindow* gtkWindow() const { return GTK_WINDOW(window_); }

 private:
  static gboolean onDeleteEvent(GtkWidget* widget, GdkEvent* event, gpointer self);

  NSWindow& owner_;
  GtkWidget* window_;  // our own reference, on top of the one GTK keeps for toplevels
  dispatch::SignalConnection deleteEvent_;
  GtkWidget* content_ = nullptr;  // referenced while placed
  double x_ = 0;
  double y_ = 0;
  bool restorable_ = true;
};

}  // namespace appkit
