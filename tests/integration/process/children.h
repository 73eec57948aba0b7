#pragma once
// What the process launchers' tests share: real children, and their terminations collected
// from the launchers' threads.
#include <sys/wait.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/process/process_launcher.h"

namespace process::testing {

// True when this process has no child at all, zombies included.
inline bool noChildren() {
  siginfo_t info{};
  return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD;
}

// Collects terminations from the reaper thread and waits for a given number of them.
class Terminations {
 public:
  TerminationHandler handler(size_t slot) {
    return [this, slot](Termination termination) {
      std::lock_guard lock(mutex_);
      if (results_.size() <= slot) results_.resize(slot + 1);
      results_[slot] = termination;
      ++count_;
      onMainThread_ |= std::this_thread::get_id() == mainThread_;
      changed_.notify_all();
    };
  }
  std::vector<Termination> waitFor(size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return count_ >= count; });
    return results_;
  }
  bool anyOnMainThread() const { return onMainThread_; }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Termination> results_;
  size_t count_ = 0;
  bool onMainThread_ = false;
  std::thread::id mainThread_ = std::this_thread::get_id();
};

inline std::vector<std::string> shell(const std::string& script) { return {"-c", script}; }

}  // namespace process::testing
