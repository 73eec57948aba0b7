#include "platform/process/clone_launcher.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/process/child_start.h"
#include "platform/process/retry_on_eintr.h"

namespace process {

namespace {

LaunchError launchError(int code) { return {code, std::strerror(code)}; }

// How a child that could not be made after launch() returned is reported: as a failed exec.
constexpr Termination kNotStarted{false, 127};

Termination terminationOf(const siginfo_t& info) {
  switch (info.si_code) {
    case CLD_EXITED:
      return {false, info.si_status};
    case CLD_KILLED:
    case CLD_DUMPED:
      return {true, info.si_status};
    default:
      return {false, -1};
  }
}

// Kills and collects a child that we cannot watch, so it is neither left running
// unwatched nor left as a zombie.
void killAndCollect(pid_t pid) {
  kill(pid, SIGKILL);
  siginfo_t info{};
  retryOnEintr([&] { return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED); });
}

}  // namespace

CloneLauncher::CloneLauncher() {
  epoll_.reset(epoll_create1(EPOLL_CLOEXEC));
  wake_.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!epoll_.valid() || !wake_.valid()) {
    setupError_ = errno;
    return;
  }
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = kWakeId;
  if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, wake_.get(), &event) != 0) setupError_ = errno;
}

std::optional<LaunchError> CloneLauncher::startThreads() {
  try {
    if (!reaper_.joinable()) reaper_ = std::thread([this] { reap(); });
    if (!launcher_.joinable()) launcher_ = std::thread([this] { launchWaiting(); });
  } catch (const std::system_error& error) {
    return launchError(error.code().value());
  }
  return std::nullopt;
}

CloneLauncher::~CloneLauncher() {
  if (launcher_.joinable()) {
    {
      std::lock_guard lock(waitingMutex_);
      stopLaunching_ = true;
    }
    waitingChanged_.notify_one();
    launcher_.join();
  }
  if (!reaper_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  const uint64_t one = 1;
  retryOnEintr([&] { return write(wake_.get(), &one, sizeof(one)); });
  reaper_.join();
}

size_t CloneLauncher::running() const {
  std::lock_guard lock(mutex_);
  return children_.size();
}

std::optional<LaunchError> CloneLauncher::launch(const std::string& path, const std::vector<std::string>& arguments,
                                                 TerminationHandler onTermination) {
  if (setupError_ != 0) return launchError(setupError_);
  // The child cannot tell us why its exec failed without making us wait for it; the usual
  // reasons are told here instead.
  if (faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) != 0) return launchError(errno);
  if (auto error = startThreads()) return error;

  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return launchError(errno);
  Request request{path, arguments, UniqueFd(pipeEnds[0]), UniqueFd(pipeEnds[1]), std::move(onTermination)};
  {
    std::lock_guard lock(waitingMutex_);
    if (waiting_.size() >= kMaxWaiting) return launchError(EAGAIN);
    waiting_.push_back(std::move(request));
  }
  waitingChanged_.notify_one();
  return std::nullopt;
}

void CloneLauncher::launchWaiting() {
  // At most 15 characters, or the name is refused.
  pthread_setname_np(pthread_self(), "child launcher");
  // A child starts under the policy of the thread that makes it, and a new task at normal
  // priority is run ahead of one that has been waiting: made at normal priority, a sweep's
  // children took turns ahead of the main thread for up to 8 ms before each could lower its
  // own. Made from here, they are low from their first instruction. Only launches wait for
  // this thread; the reaper, which hands back results, stays at normal priority.
  const sched_param noPriority{};
  sched_setscheduler(0, kChildPolicy, &noPriority);  // 0: this thread
  for (;;) {
    std::deque<Request> batch;
    bool stop;
    {
      std::unique_lock lock(waitingMutex_);
      waitingChanged_.wait(lock, [this] { return stopLaunching_ || !waiting_.empty(); });
      batch.swap(waiting_);
      stop = stopLaunching_;
    }
    // Launches accepted before a stop still start: launch() told their callers they would.
    for (auto& request : batch) start(std::move(request));
    if (stop) return;
  }
}

void CloneLauncher::start(Request request) {
  auto started = startChild(stacks_, request.path, request.arguments, request.input.get());
  // Our copy of the write end goes at once: the child holds its own (or is about to take
  // it: it copied our descriptor table when it was made).
  request.input.reset();
  if (std::holds_alternative<int>(started)) {
    request.onTermination(kNotStarted);
    return;
  }
  StartedChild& child = std::get<StartedChild>(started);

  const uint64_t id = nextId_++;
  const int watched = child.pidfd.get();
  {
    std::lock_guard lock(mutex_);
    children_.emplace(id, Child{child.pid, std::move(child.pidfd), std::move(request.output), std::move(child.memory),
                                std::move(request.onTermination)});
  }
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = id;
  if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, watched, &event) != 0) {
    Child unwatched;
    {
      // Never registered, so the reaper cannot have taken it.
      std::lock_guard lock(mutex_);
      unwatched = std::move(children_.extract(id).mapped());
    }
    killAndCollect(unwatched.pid);
    unwatched.onTermination(kNotStarted);  // its memory goes with `unwatched`, now that it is collected
  }
}

void CloneLauncher::reap() {
  // Named so that a child left uncollected can be told apart from a reaper that was stuck:
  // tests print every thread's name with what it waits in.
  pthread_setname_np(pthread_self(), "process reaper");
  constexpr int kBatch = 64;
  epoll_event events[kBatch];
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_ && children_.empty()) return;
    }
    // A stop while the wait was interrupted is still in the wake descriptor.
    const int ready = retryOnEintr([&] { return epoll_wait(epoll_.get(), events, kBatch, -1); });
    if (ready < 0) return;  // only a broken epoll descriptor gets here
    for (int i = 0; i < ready; ++i) {
      if (events[i].data.u64 == kWakeId) {
        uint64_t count;
        while (read(wake_.get(), &count, sizeof(count)) > 0) {
        }
        continue;
      }
      collect(events[i].data.u64);
    }
  }
}

void CloneLauncher::collect(uint64_t id) {
  int pidfd;
  {
    std::lock_guard lock(mutex_);
    auto found = children_.find(id);
    if (found == children_.end()) return;  // collected already
    pidfd = found->second.pidfd.get();
  }
  // Only this thread removes registered children, so the entry and its pidfd stay put.
  siginfo_t info{};
  const bool collected = retryOnEintr([&] {
                           return waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd), &info, WEXITED);
                         }) == 0;
  Child child;
  {
    std::lock_guard lock(mutex_);
    child = std::move(children_.extract(id).mapped());
  }
  // Out of the epoll set now rather than when the descriptor is closed: a child being
  // spawned at this moment holds copies of all our descriptors until it has closed them,
  // and until then a closed pidfd would stay registered, and ready.
  epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, pidfd, nullptr);
  // The child is gone, so nothing writes into its pipe any more, and nothing of it runs on
  // its memory. That memory goes back after the handler: dropping its pages takes the
  // memory-map lock, which may have to wait for a child exec'ing at the lowest priority.
  child.output.reset();
  child.pidfd.reset();
  child.onTermination(collected ? terminationOf(info) : Termination{false, -1});
  child.memory.release();
}

}  // namespace process
