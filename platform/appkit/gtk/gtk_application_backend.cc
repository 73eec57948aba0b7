#include "platform/appkit/gtk/gtk_application_backend.h"

#include "platform/appkit/gtk/gtk_window_backend.h"

namespace appkit {

GtkApplicationBackend::GtkApplicationBackend(GtkApplication* application)
    : application_(GTK_APPLICATION(g_object_ref(application))) {}

GtkApplicationBackend::~GtkApplicationBackend() {
  releaseLogout();
  g_object_unref(application_);
}

std::unique_ptr<WindowBackend> GtkApplicationBackend::createWindow(NSWindow& owner, const NSRect& contentRect) {
  return std::make_unique<GtkWindowBackend>(application_, owner, contentRect);
}

void GtkApplicationBackend::activate() {
  // GTK lists the most recently focused window first: that is the one to bring forward.
  GtkWindow* window = gtk_application_get_active_window(application_);
  if (window && gtk_widget_get_visible(GTK_WIDGET(window))) gtk_window_present(window);
}

void GtkApplicationBackend::stop(int status) {
  stopStatus_ = status;
  releaseLogout();
  // Returns from g_application_run at the next turn of the loop, whatever holds remain.
  g_application_quit(G_APPLICATION(application_));
}

void GtkApplicationBackend::holdLogout() {
  if (logoutInhibitor_ != 0) return;
  logoutInhibitor_ = gtk_application_inhibit(application_, gtk_application_get_active_window(application_),
                                             GTK_APPLICATION_INHIBIT_LOGOUT, "Asking the application whether to quit");
  if (logoutInhibitor_ == 0) g_debug("the session manager refused a logout inhibitor");
}

void GtkApplicationBackend::releaseLogout() {
  if (logoutInhibitor_ == 0) return;
  gtk_application_uninhibit(application_, logoutInhibitor_);
  logoutInhibitor_ = 0;
}

}  // namespace appkit
