#define G_LOG_DOMAIN "tessra-appkit"

#include "platform/appkit/gtk/logout_hold.h"

namespace appkit {

namespace {
// GTK registers the application with this session manager and answers its queries itself,
// but keeps the cancel to itself; the cancel is heard here.
constexpr const char* kSessionManager = "org.gnome.SessionManager";
constexpr const char* kClientInterface = "org.gnome.SessionManager.ClientPrivate";
}  // namespace

LogoutHold::LogoutHold(GtkApplication* application, std::chrono::milliseconds bound)
    : application_(GTK_APPLICATION(g_object_ref(application))), bound_(bound) {
  GDBusConnection* connection = g_application_get_dbus_connection(G_APPLICATION(application_));
  if (!connection) return;
  connection_ = G_DBUS_CONNECTION(g_object_ref(connection));
  // Any client's cancel means the session's end was cancelled; the session manager sends it
  // to each client object, whose path GTK does not tell.
  cancelSubscription_ =
      g_dbus_connection_signal_subscribe(connection_, kSessionManager, kClientInterface, "CancelEndSession", nullptr,
                                         nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onCancelEndSession, this, nullptr);
}

LogoutHold::~LogoutHold() {
  release();
  if (connection_) g_dbus_connection_signal_unsubscribe(connection_, cancelSubscription_);
  g_clear_object(&connection_);
  g_clear_object(&application_);
}

void LogoutHold::hold() {
  const guint previous = inhibitor_;
  // The new hold first, so that the logout is never free between the two.
  inhibitor_ = gtk_application_inhibit(application_, gtk_application_get_active_window(application_),
                                       GTK_APPLICATION_INHIBIT_LOGOUT, "Asking the application whether to quit");
  if (inhibitor_ == 0) g_debug("the session manager refused a logout inhibitor");
  if (previous != 0) gtk_application_uninhibit(application_, previous);
  g_clear_handle_id(&boundSource_, g_source_remove);
  boundSource_ = inhibitor_ != 0 ? g_timeout_add(static_cast<guint>(bound_.count()), onBoundPassed, this) : 0;
}

void LogoutHold::release() {
  g_clear_handle_id(&boundSource_, g_source_remove);
  if (inhibitor_ == 0) return;
  gtk_application_uninhibit(application_, inhibitor_);
  inhibitor_ = 0;
}

void LogoutHold::onCancelEndSession(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                                    gpointer self) {
  static_cast<LogoutHold*>(self)->release();
}

gboolean LogoutHold::onBoundPassed(gpointer data) {
  auto* self = static_cast<LogoutHold*>(data);
  self->boundSource_ = 0;
  g_debug("the interface kept running past the logout; letting the logout go");
  self->release();
  return G_SOURCE_REMOVE;
}

}  // namespace appkit
