#pragma once

#include <gtk/gtk.h>

#include <optional>

#include "platform/appkit/window_backend.h"

namespace appkit {

// The application backend over a GtkApplication: makes GtkWindowBackends, brings the
// application forward, ends its loop, and holds the session's logout while a quit request
// that came from the session manager waits for the interface's decision. Main thread only.
class GtkApplicationBackend : public ApplicationBackend {
 public:
  // Keeps a reference to `application` for its own lifetime.
  explicit GtkApplicationBackend(GtkApplication* application);
  ~GtkApplicationBackend() override;

  std::unique_ptr<WindowBackend> createWindow(NSWindow& owner, const NSRect& contentRect) override;
  void activate() override;
  void stop(int status) override;

  // The session is about to end. Holds the logout until the application stops, so that the
  // interface, which decides whether to quit, is not cut off while it decides. A session
  // manager shows the user who is holding the logout and lets them log out anyway, so the
  // hold cannot trap the session. A second query while one is held adds nothing.
  void holdLogout();
  bool holdingLogout() const { return logoutInhibitor_ != 0; }

  // The status stop() was called with, if it was.
  std::optional<int> stopStatus() const { return stopStatus_; }

 private:
  void releaseLogout();

  GtkApplication* application_;
  guint logoutInhibitor_ = 0;
  std::optional<int> stopStatus_;
};

}  // namespace appkit
