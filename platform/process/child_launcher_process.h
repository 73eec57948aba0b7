#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/process/process_launcher.h"
#include "platform/process/unique_fd.h"

namespace process {

// ProcessLauncher through a small process of its own, tessra-child-launcher
// (child_launcher_main.cc), which makes the children with the clone launcher from a
// scheduling group of its own (own_scheduling_group.h) and tells us when each has ended.
// Made by the host, hundreds of children at the lowest priority still shared the main
// thread's group, and on a slow machine kept it from a core for tens of milliseconds at a
// time; made from their own group, they take the processor from the host only when it has
// nothing to do.
//
//   process::ChildLauncherProcess processes(process::childLauncherPath());
//   processes.launch("/usr/bin/ping", {"-c", "1", "198.51.100.7"}, [](process::Termination t) { ... });
//
// launch() checks the program, so that a missing ping is refused at once, and queues the
// request; a sending thread starts the launcher process with the first launch (and again
// after it has gone), and hands it the requests, so the caller never waits for it. A
// reading thread takes its answers and runs each handler. A child the launcher process could
// not make (no descriptor or process left for it) ends as one that exited 127; children
// whose launcher process went before answering for them end as {false, -1}.
//
// At most kMaxWaiting launches wait to be handed over, and at most kMaxRunning are handed
// over and not yet answered; beyond either, launch() refuses with EAGAIN.
//
// launch() is called on the main thread. Termination handlers run on the reading thread (or
// the sending thread, for a request it could not hand over), one at a time per thread.
// Destruction hands over the launches still waiting, then lets the launcher process finish
// the children still running (their handlers run) and waits for it to end.
class ChildLauncherProcess : public ProcessLauncher {
 public:
  explicit ChildLauncherProcess(std::string launcherPath);
  ~ChildLauncherProcess() override;

  std::optional<LaunchError> launch(const std::string& path, const std::vector<std::string>& arguments,
                                    TerminationHandler onTermination) override;

  // Launches not yet answered for (for tests and diagnostics).
  size_t running() const;
  // The launcher process now running, or -1 (for tests).
  pid_t launcherPid() const;

  static constexpr size_t kMaxWaiting = 1024;
  static constexpr size_t kMaxRunning = 4096;

 private:
  struct Request {
    uint64_t id = 0;
    std::string message;
  };
  // One launcher process, with the thread that reads its answers.
  struct Launcher {
    pid_t pid = -1;
    UniqueFd socket;
    std::thread reader;
    bool gone = false;  // under mutex_: it has closed its end
  };

  void sendWaiting();
  // On the sending thread: a launcher process that is running, or nothing.
  Launcher* runningLauncher();
  void retire(std::unique_ptr<Launcher> launcher);
  void readAnswers(Launcher* launcher);
  // Runs the handler of `id` with `termination`, if it has not run yet.
  void finish(uint64_t id, Termination termination);

  const std::string launcherPath_;
  uint64_t nextId_ = 1;  // main thread only

  mutable std::mutex mutex_;
  std::map<uint64_t, TerminationHandler> unanswered_;  // handed over or about to be, by id
  std::unique_ptr<Launcher> launcher_;                 // made and replaced on the sending thread only

  std::mutex waitingMutex_;
  std::condition_variable waitingChanged_;
  std::deque<Request> waiting_;
  bool stopSending_ = false;
  std::thread sender_;
};

// Where tessra-child-launcher is: beside the running program (a build folder), else where
// the installation puts it. Empty when it is in neither place.
std::string childLauncherPath();

// The launcher the host uses: through tessra-child-launcher where it is found, else the
// clone launcher in this process (a program copied away from its installation still scans).
std::unique_ptr<ProcessLauncher> makeProcessLauncher();

}  // namespace process
