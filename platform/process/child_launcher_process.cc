#include "platform/process/child_launcher_process.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <system_error>
#include <utility>

#include "platform/process/clone_launcher.h"
#include "platform/process/launch_messages.h"
#include "platform/process/retry_on_eintr.h"

extern char** environ;

namespace process {
namespace {

LaunchError launchError(int code) { return {code, std::strerror(code)}; }

constexpr Termination kNotStarted{false, 127};
constexpr Termination kLost{false, -1};
// The launcher process finds its socket here (child_launcher_main.cc).
constexpr int kLauncherSocket = 3;

// Starts the launcher program with `socket` as its descriptor 3; its pid, or an errno value.
std::pair<pid_t, int> spawnLauncher(const std::string& path, int socket) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // A dup2 onto itself also clears close-on-exec (glibc), should the socket already be 3.
  posix_spawn_file_actions_adddup2(&actions, socket, kLauncherSocket);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
  pid_t pid = -1;
  const int error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return {error == 0 ? pid : -1, error};
}

}  // namespace

ChildLauncherProcess::ChildLauncherProcess(std::string launcherPath) : launcherPath_(std::move(launcherPath)) {}

ChildLauncherProcess::~ChildLauncherProcess() {
  if (sender_.joinable()) {
    {
      std::lock_guard lock(waitingMutex_);
      stopSending_ = true;
    }
    waitingChanged_.notify_one();
    sender_.join();
  }
  std::unique_ptr<Launcher> last;
  {
    std::lock_guard lock(mutex_);
    last = std::move(launcher_);
  }
  if (!last) return;
  // No more requests: the launcher process finishes the children it has, answers for them,
  // and ends, which ends the reading thread.
  shutdown(last->socket.get(), SHUT_WR);
  retire(std::move(last));
}

size_t ChildLauncherProcess::running() const {
  std::lock_guard lock(mutex_);
  return unanswered_.size();
}

pid_t ChildLauncherProcess::launcherPid() const {
  std::lock_guard lock(mutex_);
  return launcher_ && !launcher_->gone ? launcher_->pid : -1;
}

std::optional<LaunchError> ChildLauncherProcess::launch(const std::string& path,
                                                        const std::vector<std::string>& arguments,
                                                        TerminationHandler onTermination) {
  // The launcher process cannot tell us why a child failed to start; the usual reasons are
  // told here instead.
  if (faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) != 0) return launchError(errno);
  const uint64_t id = nextId_++;
  auto message = encodeRequest({id, path, arguments});
  if (!message) return launchError(E2BIG);
  try {
    if (!sender_.joinable()) sender_ = std::thread([this] { sendWaiting(); });
  } catch (const std::system_error& error) {
    return launchError(error.code().value());
  }
  {
    std::lock_guard lock(mutex_);
    if (unanswered_.size() >= kMaxRunning) return launchError(EAGAIN);
    std::lock_guard waitingLock(waitingMutex_);
    if (waiting_.size() >= kMaxWaiting) return launchError(EAGAIN);
    unanswered_.emplace(id, std::move(onTermination));
    waiting_.push_back({id, std::move(*message)});
  }
  waitingChanged_.notify_one();
  return std::nullopt;
}

void ChildLauncherProcess::sendWaiting() {
  pthread_setname_np(pthread_self(), "launch requests");
  for (;;) {
    std::deque<Request> batch;
    bool stop;
    {
      std::unique_lock lock(waitingMutex_);
      waitingChanged_.wait(lock, [this] { return stopSending_ || !waiting_.empty(); });
      batch.swap(waiting_);
      stop = stopSending_;
    }
    // Launches accepted before a stop are still handed over: launch() told their callers so.
    // As many to a packet as fit.
    std::string packet;
    std::vector<uint64_t> inPacket;
    auto handOver = [&] {
      if (inPacket.empty()) return;
      Launcher* launcher = runningLauncher();
      // Blocks while the launcher process's queue is full: only this thread waits for it.
      const bool sent = launcher && retryOnEintr([&] {
                                      return send(launcher->socket.get(), packet.data(), packet.size(), MSG_NOSIGNAL);
                                    }) >= 0;
      // A launcher process that went meanwhile: its reading thread answers for what it had.
      if (!sent) {
        for (uint64_t id : inPacket) finish(id, kNotStarted);
      }
      packet.clear();
      inPacket.clear();
    };
    for (auto& request : batch) {
      if (packet.size() + request.message.size() > kMaxPacketBytes) handOver();
      packet += request.message;
      inPacket.push_back(request.id);
    }
    handOver();
    if (stop) return;
  }
}

ChildLauncherProcess::Launcher* ChildLauncherProcess::runningLauncher() {
  std::unique_ptr<Launcher> gone;
  {
    std::lock_guard lock(mutex_);
    if (launcher_ && !launcher_->gone) return launcher_.get();
    gone = std::move(launcher_);
  }
  if (gone) retire(std::move(gone));

  int ends[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return nullptr;
  UniqueFd ours(ends[0]), theirs(ends[1]);
  const auto [pid, error] = spawnLauncher(launcherPath_, theirs.get());
  if (error != 0) return nullptr;
  theirs.reset();

  auto launcher = std::make_unique<Launcher>();
  launcher->pid = pid;
  launcher->socket = std::move(ours);
  Launcher* started = launcher.get();
  try {
    launcher->reader = std::thread([this, started] { readAnswers(started); });
  } catch (const std::system_error&) {
    // Without a reader nobody would hear it: close our end so that it ends, and collect it.
    launcher->socket.reset();
    retire(std::move(launcher));
    return nullptr;
  }
  std::lock_guard lock(mutex_);
  launcher_ = std::move(launcher);
  return started;
}

void ChildLauncherProcess::retire(std::unique_ptr<Launcher> launcher) {
  if (launcher->reader.joinable()) launcher->reader.join();
  int status;
  retryOnEintr([&] { return waitpid(launcher->pid, &status, 0); });
}

void ChildLauncherProcess::readAnswers(Launcher* launcher) {
  pthread_setname_np(pthread_self(), "launch results");
  std::vector<char> buffer(kMaxPacketBytes);
  for (;;) {
    const ssize_t received =
        retryOnEintr([&] { return recv(launcher->socket.get(), buffer.data(), buffer.size(), 0); });
    if (received <= 0) break;  // the launcher process has ended
    for (const auto& reply : decodeReplies(std::string_view(buffer.data(), static_cast<size_t>(received)))) {
      finish(reply.id, reply.termination);
    }
  }
  // Whatever it had not answered for is lost with it; requests handed over from now on go to
  // the next launcher process.
  std::map<uint64_t, TerminationHandler> lost;
  {
    std::lock_guard lock(mutex_);
    launcher->gone = true;
    lost.swap(unanswered_);
    // Requests still waiting to be handed over stay: they are not this launcher's.
    std::lock_guard waitingLock(waitingMutex_);
    for (const auto& request : waiting_) {
      if (auto found = lost.find(request.id); found != lost.end()) unanswered_.insert(lost.extract(found));
    }
  }
  for (auto& [id, handler] : lost) handler(kLost);
}

void ChildLauncherProcess::finish(uint64_t id, Termination termination) {
  TerminationHandler handler;
  {
    std::lock_guard lock(mutex_);
    auto found = unanswered_.find(id);
    if (found == unanswered_.end()) return;  // answered for already
    handler = std::move(found->second);
    unanswered_.erase(found);
  }
  handler(termination);
}

std::string childLauncherPath() {
  constexpr const char* kName = "tessra-child-launcher";
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    std::string beside(self, static_cast<size_t>(length));
    beside = beside.substr(0, beside.rfind('/') + 1) + kName;
    if (access(beside.c_str(), X_OK) == 0) return beside;
  }
#ifdef TESSRA_CHILD_LAUNCHER
  if (access(TESSRA_CHILD_LAUNCHER, X_OK) == 0) return TESSRA_CHILD_LAUNCHER;
#endif
  return {};
}

std::unique_ptr<ProcessLauncher> makeProcessLauncher() {
  const std::string path = childLauncherPath();
  if (path.empty()) return std::make_unique<CloneLauncher>();
  return std::make_unique<ChildLauncherProcess>(path);
}

}  // namespace process
