#pragma once

#include <X11/SM/SMlib.h>
#include <glib.h>

#include <functional>
#include <memory>
#include <string>

namespace appkit {

// The application as a client of an X Session Management Protocol session manager (Xfce's
// xfce4-session, KDE Plasma's ksmserver), over ICE, which is a plain socket named by
// SESSION_MANAGER and needs no X display: the same on Wayland sessions.
//
// What the session manager says, and what the client answers:
// - a SaveYourself with shutdown and interaction allowed (a logout, a shutdown) is a quit
//   request: the client asks to interact; once allowed, it cancels the shutdown and is done
//   at once, then hands the quit request on. The interface alone decides what follows, and
//   nothing of this client holds a later logout.
// - any other SaveYourself (a checkpoint, or a shutdown that allows no questions) is done at
//   once and asks nothing. The client has no state to save: starting it at login is the
//   autostart entry's job.
// - Die: the session ends whatever anyone says; the application is told to end.
// - ShutdownCancelled, SaveComplete: bookkeeping only.
//
// Main thread only: the connection is watched from the default GLib main context, and every
// callback runs there, inside one turn of the loop.
class XsmpClient {
 public:
  struct Handlers {
    // A logout (or shutdown) asked to quit; it has been cancelled already.
    std::function<void()> quitRequested;
    // The session is ending now.
    std::function<void()> die;
  };

  // The client id the session manager gave this process at start (DESKTOP_AUTOSTART_ID),
  // taken out of the environment so that children do not claim it; empty if none. Call it
  // before GTK starts up, which takes the variable for its own D-Bus registration.
  static std::string takeStartupClientId();

  // Registers with the session manager that SESSION_MANAGER names, as the client it started
  // under `startupClientId` (a new client when empty or unknown to it). `program` is the path
  // the session manager may show. Null, with a debug line, when there is no session manager
  // or it cannot be reached.
  static std::unique_ptr<XsmpClient> connect(const std::string& program, const std::string& startupClientId,
                                             Handlers handlers);

  // Leaves the session (the session manager forgets the client).
  ~XsmpClient();
  XsmpClient(const XsmpClient&) = delete;
  XsmpClient& operator=(const XsmpClient&) = delete;

  // The id the session manager knows this client by.
  const std::string& clientId() const { return clientId_; }

 private:
  explicit XsmpClient(Handlers handlers) : handlers_(std::move(handlers)) {}

  void setProperties(const std::string& program);
  void close();

  static void onIceConnection(IceConn connection, IcePointer self, Bool opening, IcePointer* watchData);
  static gboolean onIceReadable(gint fd, GIOCondition condition, gpointer self);
  static void onSaveYourself(SmcConn connection, SmPointer self, int saveType, Bool shutdown, int interactStyle,
                             Bool fast);
  static void onInteract(SmcConn connection, SmPointer self);
  static void onDie(SmcConn connection, SmPointer self);
  static void onShutdownCancelled(SmcConn connection, SmPointer self);
  static void onSaveComplete(SmcConn connection, SmPointer self);

  Handlers handlers_;
  SmcConn connection_ = nullptr;
  IceConn iceConnection_ = nullptr;  // the connection under connection_
  guint iceSource_ = 0;              // watches iceConnection_
  std::string clientId_;
  // Between our InteractRequest and the session manager's Interact (or its cancel).
  bool awaitingInteraction_ = false;
};

}  // namespace appkit
