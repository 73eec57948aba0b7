#define G_LOG_DOMAIN "tessra-appkit"

#include "platform/appkit/gtk/gtk_window_backend.h"

#include "platform/appkit/gtk/gtk_view.h"
#include "platform/appkit/gtk/window_presentation.h"
#include "platform/appkit/ns_window.h"

namespace appkit {

GtkWindowBackend::GtkWindowBackend(GtkApplication* application, NSWindow& owner, const NSRect& contentRect)
    : owner_(owner), window_(gtk_application_window_new(application)) {
  g_object_ref(window_);
  deleteEvent_.connect(window_, "delete-event", G_CALLBACK(onDeleteEvent), this);
  setFrame(contentRect, false);
}

GtkWindowBackend::~GtkWindowBackend() {
  if (content_) gtk_container_remove(GTK_CONTAINER(window_), content_);
  g_clear_object(&content_);
  gtk_widget_destroy(window_);
  g_clear_object(&window_);
}

gboolean GtkWindowBackend::onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
  static_cast<GtkWindowBackend*>(self)->owner_.performClose(nullptr);
  // Handled: the default handler would destroy the window.
  return TRUE;
}

NSRect GtkWindowBackend::frame() const {
  int width = 0;
  int height = 0;
  // For a window not yet shown this is the size it will be given when it is.
  gtk_window_get_size(GTK_WINDOW(window_), &width, &height);
  return NSRect{x_, y_, static_cast<double>(width), static_cast<double>(height)};
}

void GtkWindowBackend::setFrame(const NSRect& frame, bool display) {
  x_ = frame.x;
  y_ = frame.y;
  gtk_window_move(GTK_WINDOW(window_), static_cast<int>(frame.x), static_cast<int>(frame.y));
  if (frame.width >= 1 && frame.height >= 1) {
    // Before the first show this also replaces the default size.
    gtk_window_resize(GTK_WINDOW(window_), static_cast<int>(frame.width), static_cast<int>(frame.height));
  }
  if (display) gtk_widget_queue_draw(window_);
}

void GtkWindowBackend::setTitle(const std::string& title) { gtk_window_set_title(GTK_WINDOW(window_), title.c_str()); }

void GtkWindowBackend::center() {
  GdkDisplay* display = gtk_widget_get_display(window_);
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) {
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
    return;
  }
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor, &area);
  const NSRect current = frame();
  x_ = area.x + (area.width - current.width) / 2;
  y_ = area.y + (area.height - current.height) / 2;
  gtk_window_move(GTK_WINDOW(window_), static_cast<int>(x_), static_cast<int>(y_));
}

void GtkWindowBackend::setContentView(NSView* view) {
  auto* gtkView = dynamic_cast<GtkNSView*>(view);
  GtkWidget* widget = gtkView ? gtkView->widget() : nullptr;
  if (view && !widget) g_warning("a content view without a GTK widget cannot be shown; the window stays empty");
  if (widget == content_) return;
  if (content_) gtk_container_remove(GTK_CONTAINER(window_), content_);
  g_clear_object(&content_);
  if (widget) {
    content_ = GTK_WIDGET(g_object_ref(widget));
    gtk_container_add(GTK_CONTAINER(window_), content_);
    gtk_widget_show(content_);
  }
}

void GtkWindowBackend::order(Order order) {
  switch (order) {
    case Order::kAbove:
    case Order::kBelow: {
      gtk_widget_show(window_);
      // A window ordered in is shown, which a minimised one is not.
      if (isMinimised(GTK_WINDOW(window_))) gtk_window_deiconify(GTK_WINDOW(window_));
      GdkWindow* gdkWindow = gtk_widget_get_window(window_);
      if (gdkWindow) {
        if (order == Order::kAbove) {
          gdk_window_raise(gdkWindow);
        } else {
          gdk_window_lower(gdkWindow);
        }
      }
      break;
    }
    case Order::kOut:
      gtk_widget_hide(window_);
      break;
  }
}

// GTK keeps a minimised window "visible"; for the application it is not.
bool GtkWindowBackend::isVisible() const {
  return gtk_widget_get_visible(window_) && !isMinimised(GTK_WINDOW(window_));
}

void GtkWindowBackend::makeKey() { presentOnCurrentWorkspace(GTK_WINDOW(window_)); }

void GtkWindowBackend::setRestorable(bool restorable) {
  // GTK 3 keeps no window state between runs, and this backend writes none either, so a
  // window that is not restorable leaves nothing behind. The flag is kept for the day a
  // backend learns to restore windows.
  restorable_ = restorable;
}

}  // namespace appkit
