#include "platform/appkit/gtk/gtk_application_backend.h"

#include "platform/appkit/gtk/gtk_window_backend.h"
#include "platform/appkit/gtk/window_presentation.h"

namespace appkit {

GtkApplicationBackend::GtkApplicationBackend(GtkApplication* application, std::chrono::milliseconds logoutBound)
    : application_(GTK_APPLICATION(g_object_ref(application))), logoutHold_(application, logoutBound) {}

GtkApplicationBackend::~GtkApplicationBackend() { g_clear_object(&application_); }

std::unique_ptr<WindowBackend> GtkApplicationBackend::createWindow(NSWindow& owner, const NSRect& contentRect) {
  return std::make_unique<GtkWindowBackend>(application_, owner, contentRect);
}

void GtkApplicationBackend::activate() {
  // GTK lists the most recently focused window first.
  for (GList* item = gtk_application_get_windows(application_); item; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    if (gtk_widget_get_visible(GTK_WIDGET(window)) && !isMinimised(window)) {
      presentOnCurrentWorkspace(window);
      return;
    }
  }
}

void GtkApplicationBackend::stop(int status) {
  stopStatus_ = status;
  logoutHold_.release();
  // Returns from g_application_run at the next turn of the loop, whatever holds remain.
  g_application_quit(G_APPLICATION(application_));
}

}  // namespace appkit
