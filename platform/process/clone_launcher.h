#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/process/child_start.h"
#include "platform/process/process_launcher.h"
#include "platform/process/unique_fd.h"

namespace process {

// ProcessLauncher over clone (see child_start.h). launch() checks the program and makes the
// child's pipe, so that a missing ping or a full descriptor table is refused at once, and
// hands the rest to a launcher thread: making a child costs tens of microseconds of the
// caller's processor, and a sweep makes hundreds at once, which would keep the main thread
// from drawing the window. The child does not make its parent wait for its exec, and runs
// under SCHED_IDLE from the start (the launcher thread runs there too), so launching
// hundreds at once neither holds up the launcher thread nor takes the processor from the
// host. A child's memory (its stack until it execs) is released when it is collected. One
// reaper thread waits on a pidfd per child (epoll) and collects each with
// waitid(P_PIDFD), so it never reaps children that other parts of the program (GLib among
// them) started and wait for themselves. A child's pipe stays open until the child has
// ended: a child writing into a closed pipe would die of SIGPIPE and turn its answer into
// a failure. No descriptor of ours leaks into a child.
//
// Both threads start with the first launch, not before: a thread that already exists
// while GTK starts up makes the toolkit's start measurably slower, and most runs of the
// host never launch anything.
//
// At most kMaxWaiting launches wait for the launcher thread; beyond that launch() refuses
// with EAGAIN. A child that cannot be made once launch() has returned (no memory, no
// process or descriptor left for it) ends as one that exited 127, the way a failed exec does.
//
// Termination handlers run on the launcher's threads (the reaper's, or the launcher
// thread's for a child that could not be made), one at a time per thread. Destruction
// starts the launches still waiting, and waits for every child still running (their
// handlers run), so none is left behind as a zombie.
class CloneLauncher : public ProcessLauncher {
 public:
  CloneLauncher();
  ~CloneLauncher() override;

  std::optional<LaunchError> launch(const std::string& path, const std::vector<std::string>& arguments,
                                    TerminationHandler onTermination) override;

  // Children launched and not yet collected (for tests and diagnostics).
  size_t running() const;

  static constexpr size_t kMaxWaiting = 1024;

 private:
  struct Request {
    std::string path;
    std::vector<std::string> arguments;
    UniqueFd output;  // the pipe's read end, kept by us
    UniqueFd input;   // its write end, for the child
    TerminationHandler onTermination;
  };
  struct Child {
    pid_t pid = -1;
    UniqueFd pidfd;
    UniqueFd output;  // the read end of the child's pipe
    ChildMemory memory;
    TerminationHandler onTermination;
  };

  // Called from launch(), so on the main thread only.
  std::optional<LaunchError> startThreads();
  void launchWaiting();
  void start(Request request);
  void reap();
  void collect(uint64_t id);

  // Children are known by a number of their own, not by their pidfd's: descriptor numbers
  // are reused as soon as they are closed, and an event for a closed pidfd must never be
  // taken for a newer descriptor with the same number.
  static constexpr uint64_t kWakeId = 0;
  uint64_t nextId_ = kWakeId + 1;  // launcher thread only

  ChildStacks stacks_;  // outlives children_, whose entries hold blocks of it
  mutable std::mutex mutex_;
  std::map<uint64_t, Child> children_;  // by id
  bool stopping_ = false;
  int setupError_ = 0;
  UniqueFd epoll_;
  UniqueFd wake_;  // eventfd that wakes the reaper for shutdown
  std::thread reaper_;

  std::mutex waitingMutex_;
  std::condition_variable waitingChanged_;
  std::deque<Request> waiting_;
  bool stopLaunching_ = false;
  std::thread launcher_;
};

}  // namespace process
