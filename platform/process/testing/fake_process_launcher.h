#pragma once

#include <cassert>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/process/process_launcher.h"

namespace process::testing {

// Records launches and lets a test end the children in any order, with any status, on
// the test thread or on a thread of its own (as the real launcher does).
class FakeProcessLauncher : public ProcessLauncher {
 public:
  struct Launch {
    std::string path;
    std::vector<std::string> arguments;
    bool launched = false;  // false: the launch was refused
    bool finished = false;
    TerminationHandler onTermination;
  };

  std::optional<LaunchError> launch(const std::string& path, const std::vector<std::string>& arguments,
                                    TerminationHandler onTermination) override {
    std::lock_guard lock(mutex_);
    Launch record{path, arguments, false, false, nullptr};
    const bool refuse = failAll || (failWhen && failWhen(arguments));
    if (!refuse) {
      record.launched = true;
      record.onTermination = std::move(onTermination);
    }
    launches_.push_back(std::move(record));
    if (refuse) return LaunchError{24, "Too many open files"};
    return std::nullopt;
  }

  // Ends child `index` (in launch order) on the calling thread.
  void finish(size_t index, Termination termination) { takeHandler(index)(termination); }
  // Ends child `index` on a thread of its own and waits for the handler to return.
  void finishOnOtherThread(size_t index, Termination termination) {
    auto handler = takeHandler(index);
    std::thread([&] { handler(termination); }).join();
  }
  void exit(size_t index, int status) { finish(index, Termination{false, status}); }

  size_t launchCount() const {
    std::lock_guard lock(mutex_);
    return launches_.size();
  }
  Launch launchAt(size_t index) const {
    std::lock_guard lock(mutex_);
    Launch copy = launches_.at(index);
    copy.onTermination = nullptr;
    return copy;
  }
  // Index of the launch whose last argument is `lastArgument`, or -1.
  long indexOf(const std::string& lastArgument) const {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < launches_.size(); ++i) {
      if (!launches_[i].arguments.empty() && launches_[i].arguments.back() == lastArgument) return long(i);
    }
    return -1;
  }

  bool failAll = false;                                           // refuse every launch
  std::function<bool(const std::vector<std::string>&)> failWhen;  // refuse the launches it selects

 private:
  TerminationHandler takeHandler(size_t index) {
    std::lock_guard lock(mutex_);
    Launch& launch = launches_.at(index);
    assert(launch.launched && !launch.finished && "child was refused or has already ended");
    launch.finished = true;
    return std::move(launch.onTermination);
  }

  mutable std::mutex mutex_;
  std::vector<Launch> launches_;
};

}  // namespace process::testing
