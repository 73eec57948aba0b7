#pragma once

#include <gtk/gtk.h>

#include <chrono>

namespace appkit {

// Holds the session's logout while the interface decides about a quit request that came from
// the session manager, and no longer: the hold (a logout inhibitor) goes when the session
// manager cancels the end of the session, when `bound` has passed since the request was
// delivered, or when the hold is released (the application stops). Kept longer, a decision
// to keep running would block every later logout and shutdown under a stale reason. Each
// logout query is a new request with a new hold and a new bound. A session manager shows the
// user who holds the logout and lets them log out anyway, so a hold never traps the session.
// Main thread only: the cancel and the bound arrive on the main loop.
class LogoutHold {
 public:
  // The longest a hold lasts.
  static constexpr std::chrono::milliseconds kBound{60'000};

  // Keeps a reference to `application`, which must be registered (or running without a
  // session bus, where there is no session manager to hear from).
  LogoutHold(GtkApplication* application, std::chrono::milliseconds bound = kBound);
  ~LogoutHold();
  LogoutHold(const LogoutHold&) = delete;
  LogoutHold& operator=(const LogoutHold&) = delete;

  // A logout query is being delivered as a quit request: takes a fresh inhibitor, lets the
  // previous one go, and starts the bound again.
  void hold();
  void release();
  bool holding() const { return inhibitor_ != 0; }

 private:
  static void onCancelEndSession(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                                 gpointer self);
  static gboolean onBoundPassed(gpointer self);

  GtkApplication* application_;
  std::chrono::milliseconds bound_;
  GDBusConnection* connection_ = nullptr;  // referenced while subscribed
  guint cancelSubscription_ = 0;
  guint inhibitor_ = 0;
  guint boundSource_ = 0;
};

}  // namespace appkit
