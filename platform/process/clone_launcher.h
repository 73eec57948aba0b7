#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "platform/process/child_start.h"
#include "platform/process/process_launcher.h"
#include "platform/process/unique_fd.h"

namespace process {

// ProcessLauncher over clone (see child_start.h): launch() returns as soon as the child
// exists, without waiting for its exec, and the child runs at the lowest priority, so that
// launching hundreds at once neither holds up the caller nor takes the processor from it
// later. A child's memory (its stack until it execs) is released when it is collected. One
// reaper thread waits on a pidfd per child (epoll)
// and collects each with waitid(P_PIDFD), so it never reaps children that other parts of
// the program (GLib among them) started and wait for themselves. A child's pipe stays open
// until the child has ended: a child writing into a closed pipe would die of SIGPIPE and
// turn its answer into a failure. No descriptor of ours leaks into a child.
//
// The reaper thread starts with the first launch, not before: a thread that already exists
// while GTK starts up makes the toolkit's start measurably slower, and most runs of the
// host never launch anything.
//
// Termination handlers run on the reaper thread, one at a time. Destruction waits for
// every child still running (their handlers run), so none is left behind as a zombie.
class CloneLauncher : public ProcessLauncher {
 public:
  CloneLauncher();
  ~CloneLauncher() override;

  std::optional<LaunchError> launch(const std::string& path, const std::vector<std::string>& arguments,
                                    TerminationHandler onTermination) override;

  // Children launched and not yet collected (for tests and diagnostics).
  size_t running() const;

 private:
  struct Child {
    pid_t pid = -1;
    UniqueFd pidfd;
    UniqueFd output;  // the read end of the child's pipe
    ChildMemory memory;
    TerminationHandler onTermination;
  };

  // Called from launch(), so on the main thread only.
  std::optional<LaunchError> startReaper();
  void reap();
  void collect(uint64_t id);

  // Children are known by a number of their own, not by their pidfd's: descriptor numbers
  // are reused as soon as they are closed, and an event for a closed pidfd must never be
  // taken for a newer descriptor with the same number.
  static constexpr uint64_t kWakeId = 0;
  uint64_t nextId_ = kWakeId + 1;  // main thread only

  ChildStacks stacks_;  // outlives children_, whose entries hold blocks of it
  mutable std::mutex mutex_;
  std::map<uint64_t, Child> children_;  // by id
  bool stopping_ = false;
  int setupError_ = 0;
  UniqueFd epoll_;
  UniqueFd wake_;  // eventfd that wakes the reaper for shutdown
  std::thread reaper_;
};

}  // namespace process
