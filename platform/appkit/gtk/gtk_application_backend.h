#pragma once

#include <gtk/gtk.h>

#include <chrono>
#include <optional>

#include "platform/appkit/gtk/logout_hold.h"
#include "platform/appkit/window_backend.h"

namespace appkit {

// The application backend over a GtkApplication: makes GtkWindowBackends, brings the
// application forward, ends its loop, and holds the session's logout while a quit request
// that came from the session manager waits for the interface's decision (see LogoutHold).
// Main thread only.
class GtkApplicationBackend : public ApplicationBackend {
 public:
  // Keeps a reference to `application` (registered) for its own lifetime. `logoutBound` is
  // the longest a logout stays held.
  explicit GtkApplicationBackend(GtkApplication* application,
                                 std::chrono::milliseconds logoutBound = LogoutHold::kBound);
  ~GtkApplicationBackend() override;

  std::unique_ptr<WindowBackend> createWindow(NSWindow& owner, const NSRect& contentRect) override;
  void activate() override;
  // Lets the logout go too: a quit the interface agreed to is the answer the session waits for.
  void stop(int status) override;

  // The session is about to end: holds the logout for the quit request that follows.
  void holdLogout() { logoutHold_.hold(); }
  // The application is shutting down: nothing is held past that (GTK's session client goes).
  void releaseLogout() { logoutHold_.release(); }
  bool holdingLogout() const { return logoutHold_.holding(); }

  // The status stop() was called with, if it was.
  std::optional<int> stopStatus() const { return stopStatus_; }

 private:
  GtkApplication* application_;
  LogoutHold logoutHold_;
  std::optional<int> stopStatus_;
};

}  // namespace appkit
