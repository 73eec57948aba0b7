#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/integration/support/app_process.h"

namespace tessra::testing {

// The real session managers a user logs in to, which tests start headless on the X display
// of tests/run-tests (see test-session beside this file): GNOME's gnome-session (GNOME's
// D-Bus session API, and XSMP) and Xfce's xfce4-session (XSMP).
enum class SessionManager { kGnome, kXfce };

std::string sessionManagerName(SessionManager manager);

// One login session, from login to logout, in a sandbox of its own: a HOME (whose
// .config/autostart the session starts), a session bus, and for GNOME a system bus. A logout
// ends it; so does the object going, which kills everything the session started.
class LoginSession {
 public:
  explicit LoginSession(SessionManager manager);
  ~LoginSession();
  LoginSession(const LoginSession&) = delete;
  LoginSession& operator=(const LoginSession&) = delete;

  // Why this session manager cannot run here; none when it can.
  static std::optional<std::string> missing(SessionManager manager);

  SessionManager manager() const { return manager_; }
  const std::string& home() const { return home_; }
  std::string autostartFolder() const { return home_ + "/.config/autostart"; }
  // Writes an autostart entry that starts `exec` at login.
  void addAutostartEntry(const std::string& name, const std::string& exec);

  // Logs in, with `env` in the session's environment (so in everything it starts); returns
  // once the session's bus is up. Logging in again after the session ended starts the next
  // session with the same HOME.
  void login(const std::map<std::string, std::string>& env = {});
  bool running();
  // Whether the session ends within `timeout`.
  bool endsWithin(std::chrono::milliseconds timeout);
  // Asks the session manager to log out, as its own logout command does, without a prompt.
  // Returns whether the command was taken.
  bool logout();
  // Asks xfce4-session to save the session without ending it (a checkpoint); returns whether
  // it was taken.
  bool checkpoint();
  // The process of the session named `command` (its comm), if one runs.
  std::optional<pid_t> find(const std::string& command);
  // What the session manager and the programs it started wrote.
  std::string log() const;

 private:
  int runInSession(std::vector<std::string> argv);

  SessionManager manager_;
  TempDir dir_;
  std::string home_;
  std::string bus_;
  std::unique_ptr<ChildProcess> session_;
};

}  // namespace tessra::testing
