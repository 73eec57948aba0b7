#define G_LOG_DOMAIN "tessra-appkit"

#include "platform/appkit/gtk/xsmp_client.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace appkit {

namespace {

// libICE's and libSM's default handlers end the process on a broken connection or a protocol
// error; a session manager that goes away must not take the application with it.
void onIceIoError(IceConn) { g_debug("the session manager's connection broke"); }
void onIceError(IceConn, Bool, int minorOpcode, unsigned long, int errorClass, int severity, IcePointer) {
  g_debug("ICE error (minor opcode %d, class %d, severity %d)", minorOpcode, errorClass, severity);
}
void onSmcError(SmcConn, Bool, int minorOpcode, unsigned long, int errorClass, int severity, SmPointer) {
  g_debug("XSMP error (minor opcode %d, class %d, severity %d)", minorOpcode, errorClass, severity);
}

// One property of strings (a list, as the restart and clone commands are).
struct StringListProperty {
  StringListProperty(const char* name, const char* type, std::vector<std::string> values) : strings(std::move(values)) {
    for (auto& value : strings) vals.push_back({static_cast<int>(value.size()), value.data()});
    property = {const_cast<char*>(name), const_cast<char*>(type), static_cast<int>(vals.size()), vals.data()};
  }
  StringListProperty(const StringListProperty&) = delete;
  StringListProperty& operator=(const StringListProperty&) = delete;

  std::vector<std::string> strings;
  std::vector<SmPropValue> vals;
  SmProp property;
};

}  // namespace

std::string XsmpClient::takeStartupClientId() {
  const char* id = g_getenv("DESKTOP_AUTOSTART_ID");
  std::string taken = id ? id : "";
  g_unsetenv("DESKTOP_AUTOSTART_ID");
  return taken;
}

std::unique_ptr<XsmpClient> XsmpClient::connect(const std::string& program, const std::string& startupClientId,
                                                Handlers handlers) {
  const char* manager = g_getenv("SESSION_MANAGER");
  if (!manager || !*manager) return nullptr;
  g_autofree char* previousId = startupClientId.empty() ? nullptr : g_strdup(startupClientId.c_str());

  IceSetIOErrorHandler(onIceIoError);
  IceSetErrorHandler(onIceError);
  SmcSetErrorHandler(onSmcError);

  std::unique_ptr<XsmpClient> client(new XsmpClient(std::move(handlers)));
  // Before the connection opens, so that the watch sees it open.
  IceAddConnectionWatch(onIceConnection, client.get());

  SmcCallbacks callbacks = {};
  callbacks.save_yourself = {onSaveYourself, client.get()};
  callbacks.die = {onDie, client.get()};
  callbacks.save_complete = {onSaveComplete, client.get()};
  callbacks.shutdown_cancelled = {onShutdownCancelled, client.get()};
  constexpr unsigned long kMask =
      SmcSaveYourselfProcMask | SmcDieProcMask | SmcSaveCompleteProcMask | SmcShutdownCancelledProcMask;
  std::array<char, 256> error = {};
  char* clientId = nullptr;
  client->connection_ = SmcOpenConnection(nullptr, client.get(), SmProtoMajor, SmProtoMinor, kMask, &callbacks,
                                          previousId, &clientId, static_cast<int>(error.size()), error.data());
  if (!client->connection_) {
    g_debug("no XSMP session manager at %s: %s", manager, error.data());
    IceRemoveConnectionWatch(onIceConnection, client.get());
    return nullptr;
  }
  if (clientId) client->clientId_ = clientId;
  free(clientId);
  g_debug("registered with the session manager as %s", client->clientId_.c_str());
  client->setProperties(program);
  return client;
}

XsmpClient::~XsmpClient() {
  close();
  IceRemoveConnectionWatch(onIceConnection, this);
  g_clear_handle_id(&iceSource_, g_source_remove);
}

void XsmpClient::close() {
  if (!connection_) return;
  // Inside a callback libICE closes the connection once it has finished with the message.
  SmcCloseConnection(connection_, 0, nullptr);
  connection_ = nullptr;
}

void XsmpClient::setProperties(const std::string& program) {
  const char* user = g_get_user_name();
  const std::string processId = std::to_string(getpid());
  StringListProperty programProperty(SmProgram, SmARRAY8, {program});
  StringListProperty userProperty(SmUserID, SmARRAY8, {user ? user : ""});
  StringListProperty processProperty(SmProcessID, SmARRAY8, {processId});
  StringListProperty restartProperty(SmRestartCommand, SmLISTofARRAY8, {program});
  StringListProperty cloneProperty(SmCloneCommand, SmLISTofARRAY8, {program});
  // Never restarted from a saved session: the autostart entry starts the application at
  // login, and a restored session must not start a second copy beside it.
  char restartStyle = SmRestartNever;
  SmPropValue restartStyleValue = {1, &restartStyle};
  SmProp restartStyleProperty = {const_cast<char*>(SmRestartStyleHint), const_cast<char*>(SmCARD8), 1,
                                 &restartStyleValue};
  std::array<SmProp*, 6> properties = {&programProperty.property, &userProperty.property,  &processProperty.property,
                                       &restartProperty.property, &cloneProperty.property, &restartStyleProperty};
  SmcSetProperties(connection_, static_cast<int>(properties.size()), properties.data());
}

void XsmpClient::onIceConnection(IceConn connection, IcePointer data, Bool opening, IcePointer*) {
  auto* self = static_cast<XsmpClient*>(data);
  if (!opening) {
    if (connection == self->iceConnection_) {
      g_clear_handle_id(&self->iceSource_, g_source_remove);
      self->iceConnection_ = nullptr;
    }
    return;
  }
  if (self->iceConnection_) return;  // one session manager per client
  const int fd = IceConnectionNumber(connection);
  // The socket is the application's, not its children's.
  fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
  self->iceConnection_ = connection;
  self->iceSource_ = g_unix_fd_add(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onIceReadable, self);
}

gboolean XsmpClient::onIceReadable(gint, GIOCondition, gpointer data) {
  auto* self = static_cast<XsmpClient*>(data);
  // Closing the connection (here, or in a callback) removes this source through the watch.
  if (IceProcessMessages(self->iceConnection_, nullptr, nullptr) == IceProcessMessagesIOError) {
    g_debug("the session manager went away");
    self->close();
  }
  return G_SOURCE_CONTINUE;
}

void XsmpClient::onSaveYourself(SmcConn connection, SmPointer data, int, Bool shutdown, int interactStyle, Bool) {
  auto* self = static_cast<XsmpClient*>(data);
  g_debug("the session manager asks to save (shutdown %d, interaction style %d)", shutdown, interactStyle);
  // Asking whether to quit is a question, not an error report: only a shutdown that allows
  // any interaction can carry it. Without it the shutdown goes on and Die follows.
  if (shutdown && interactStyle == SmInteractStyleAny && !self->awaitingInteraction_ &&
      SmcInteractRequest(connection, SmDialogNormal, onInteract, self)) {
    self->awaitingInteraction_ = true;
    return;
  }
  SmcSaveYourselfDone(connection, True);
}

void XsmpClient::onInteract(SmcConn connection, SmPointer data) {
  auto* self = static_cast<XsmpClient*>(data);
  self->awaitingInteraction_ = false;
  // The logout is cancelled at once, before the interface is asked: its decision comes later,
  // and a quit it agrees to ends the application by itself. The session manager must not wait
  // for it (it would hold every other client's logout meanwhile).
  SmcInteractDone(connection, True);
  SmcSaveYourselfDone(connection, True);
  if (self->handlers_.quitRequested) self->handlers_.quitRequested();
}

void XsmpClient::onDie(SmcConn, SmPointer data) {
  auto* self = static_cast<XsmpClient*>(data);
  self->close();
  if (self->handlers_.die) self->handlers_.die();
}

void XsmpClient::onShutdownCancelled(SmcConn connection, SmPointer data) {
  auto* self = static_cast<XsmpClient*>(data);
  // Cancelled by someone else before our turn to interact: the save that asked is over.
  if (self->awaitingInteraction_) {
    self->awaitingInteraction_ = false;
    SmcSaveYourselfDone(connection, False);
  }
}

void XsmpClient::onSaveComplete(SmcConn, SmPointer) {}

}  // namespace appkit
