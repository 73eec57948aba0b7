#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace process {

// How a child ended: exited with `status`, or killed by the signal numbered `status`.
struct Termination {
  bool signaled = false;
  int status = 0;

  bool succeeded() const { return !signaled && status == 0; }
  friend bool operator==(const Termination&, const Termination&) = default;
};

// Why a child could not be started (errno and its text).
struct LaunchError {
  int code = 0;
  std::string description;
};

// Called once when a launched child has ended, on a thread of the launcher (never the
// main thread). Handlers must be quick and must not block: build a result and post it.
using TerminationHandler = std::function<void(Termination)>;

// Port: starts child processes. A child gets the program at `path` (no PATH search) with
// `arguments`; its standard output and standard error go to one fresh pipe that nobody
// reads (so its output never reaches ours); standard input, environment and working
// directory are the host's, except that the child runs in the C locale (LC_ALL=C): with
// its output unread, loading the user's locale would be wasted start-up. launch() is
// called on the main thread.
class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  ProcessLauncher() = default;
  ProcessLauncher(const ProcessLauncher&) = delete;
  ProcessLauncher& operator=(const ProcessLauncher&) = delete;

  // Starts the child and returns at once. A child that cannot be started (missing
  // program, no descriptors left, ...) is reported here, and its handler is dropped
  // without ever being called; otherwise `onTermination` runs exactly once, later. A
  // program that is there but fails to execute, or a child that cannot be made once
  // launch() has returned, may instead end as a child that exited 127.
  virtual std::optional<LaunchError> launch(const std::string& path, const std::vector<std::string>& arguments,
                                            TerminationHandler onTermination) = 0;
};

}  // namespace process
