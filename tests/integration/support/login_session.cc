#include "tests/integration/support/login_session.h"

#include <dirent.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tessra::testing {

namespace {
bool installed(const std::string& path) { return access(path.c_str(), X_OK) == 0; }
}  // namespace

std::string sessionManagerName(SessionManager manager) {
  return manager == SessionManager::kGnome ? "GnomeSession" : "Xfce4Session";
}

LoginSession::LoginSession(SessionManager manager) : manager_(manager), home_(dir_.path() + "/home") {
  std::filesystem::create_directories(autostartFolder());
}

LoginSession::~LoginSession() = default;

std::optional<std::string> LoginSession::missing(SessionManager manager) {
  if (!std::getenv("DISPLAY")) return "needs an X display (tests/run-tests starts Xvfb)";
  if (manager == SessionManager::kGnome && !installed("/usr/libexec/gnome-session-binary"))
    return "needs gnome-session (package gnome-session-bin; tools/setup installs it)";
  if (manager == SessionManager::kXfce && !installed("/usr/bin/xfce4-session"))
    return "needs xfce4-session (package xfce4-session; tools/setup installs it)";
  return std::nullopt;
}

void LoginSession::addAutostartEntry(const std::string& name, const std::string& exec) {
  std::ofstream(autostartFolder() + "/" + name + ".desktop")
      << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=" << exec << "\n";
}

void LoginSession::login(const std::map<std::string, std::string>& env) {
  const std::string busFile = dir_.path() + "/bus";
  std::filesystem::remove(busFile);
  session_.reset();
  session_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{TESSRA_TEST_SESSION, manager_ == SessionManager::kGnome ? "gnome" : "xfce", dir_.path()},
      env, dir_.path(), /*ownProcessGroup=*/true);
  eventually([&] { return std::filesystem::exists(busFile) || !session_->running(); });
  bus_ = readFile(busFile);
  if (!bus_.empty() && bus_.back() == '\n') bus_.pop_back();
}

bool LoginSession::running() { return session_ && session_->running(); }

bool LoginSession::endsWithin(std::chrono::milliseconds timeout) {
  return eventually([&] { return !running(); }, timeout);
}

int LoginSession::runInSession(std::vector<std::string> argv) {
  return runCommand(argv, {{"DBUS_SESSION_BUS_ADDRESS", bus_}});
}

bool LoginSession::logout() {
  if (manager_ == SessionManager::kGnome) return runInSession({"gnome-session-quit", "--logout", "--no-prompt"}) == 0;
  return runInSession({"xfce4-session-logout", "--logout"}) == 0;
}

bool LoginSession::checkpoint() {
  return runInSession({"gdbus", "call", "--session", "--dest", "org.xfce.SessionManager", "--object-path",
                       "/org/xfce/SessionManager", "--method", "org.xfce.Session.Manager.Checkpoint", ""}) == 0;
}

std::optional<pid_t> LoginSession::find(const std::string& command) {
  if (!session_) return std::nullopt;
  // Everything the session started is in its process group.
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  while (dirent* entry = proc ? readdir(proc.get()) : nullptr) {
    const pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0 || getpgid(pid) != session_->pid()) continue;
    std::string comm = readFile("/proc/" + std::to_string(pid) + "/comm");
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    if (comm == command) return pid;
  }
  return std::nullopt;
}

std::string LoginSession::log() const { return readFile(dir_.path() + "/session.log"); }

}  // namespace tessra::testing
