#pragma once

namespace appkit {

// How the application hears of the session's end. One protocol per session, so that a logout
// is one quit request whatever the session speaks: gnome-session serves GNOME's D-Bus API and
// XSMP alike, and xfce4-session answers GTK's D-Bus registration as well as XSMP.
enum class SessionProtocol {
  // GNOME's D-Bus API, which GTK speaks itself (register-session; query-end, and a logout
  // inhibitor to hold the logout while the interface decides).
  kGnomeDBus,
  // The X Session Management Protocol (XsmpClient), for every session manager that does not
  // own org.gnome.SessionManager: Xfce's, KDE Plasma's and others.
  kXsmp,
};

// Chooses for this session: GNOME's D-Bus API where org.gnome.SessionManager is owned on the
// session bus, since only it lets a logout be held while the question is open; XSMP where
// SESSION_MANAGER names a session manager and GNOME's is not there; otherwise GNOME's D-Bus
// API, which then finds nobody (nothing to hear from). Asks the session bus, synchronously,
// once: call it before the application registers. Main thread.
SessionProtocol chooseSessionProtocol();

}  // namespace appkit
