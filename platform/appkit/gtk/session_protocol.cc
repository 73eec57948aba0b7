#define G_LOG_DOMAIN "tessra-appkit"

#include "platform/appkit/gtk/session_protocol.h"

#include <gio/gio.h>

namespace appkit {

namespace {
bool gnomeSessionManagerOnBus() {
  g_autoptr(GError) error = nullptr;
  // The connection GApplication registers on moments later: no second connection.
  g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!bus) return false;
  g_autoptr(GVariant) reply =
      g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                  "NameHasOwner", g_variant_new("(s)", "org.gnome.SessionManager"),
                                  G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
  if (!reply) {
    g_debug("cannot ask the session bus for GNOME's session manager: %s", error->message);
    return false;
  }
  gboolean owned = FALSE;
  g_variant_get(reply, "(b)", &owned);
  return owned;
}
}  // namespace

SessionProtocol chooseSessionProtocol() {
  const char* manager = g_getenv("SESSION_MANAGER");
  if (!manager || !*manager) return SessionProtocol::kGnomeDBus;
  return gnomeSessionManagerOnBus() ? SessionProtocol::kGnomeDBus : SessionProtocol::kXsmp;
}

}  // namespace appkit
