#include "platform/appkit/gtk/window_presentation.h"

#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

namespace appkit {

bool isMinimised(GtkWindow* window) {
  GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window));
  return gdkWindow && (gdk_window_get_state(gdkWindow) & GDK_WINDOW_STATE_ICONIFIED) != 0;
}

void presentOnCurrentWorkspace(GtkWindow* window) {
#ifdef GDK_WINDOWING_X11
  // An EWMH window manager refuses an application's request to activate a window on another
  // workspace (it only marks it as wanting attention); the window comes to the user instead,
  // where the launch happened.
  GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window));
  if (gdkWindow && GDK_IS_X11_WINDOW(gdkWindow) && gtk_widget_get_visible(GTK_WIDGET(window)))
    gdk_x11_window_move_to_current_desktop(gdkWindow);
#endif
  gtk_window_present(window);
}

}  // namespace appkit
