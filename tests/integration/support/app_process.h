#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tessra::testing {

// A temporary folder that is removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs a program as a child of the test with extra environment variables, capturing its
// standard output and standard error into files. The child is killed when the object goes;
// with `ownProcessGroup`, the child leads a process group of its own, and everything left in
// that group (what the child started) is killed with it.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
               const std::string& outputDir, bool ownProcessGroup = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool running();
  // Waits for the child to end; the exit status, or nullopt on time-out or death by signal.
  std::optional<int> waitForExit(std::chrono::milliseconds timeout);
  void terminate();
  std::string standardOutput() const;
  std::string standardError() const;

 private:
  pid_t pid_ = -1;
  bool ownProcessGroup_ = false;
  bool reaped_ = false;
  int status_ = 0;
  std::string outPath_;
  std::string errPath_;
};

// Polls `condition` until it holds or `timeout` passes. Returns whether it held.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string& path);
// Runs a command to its end (shell-free) and returns its exit status, or -1.
int runCommand(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {});

}  // namespace tessra::testing

#include "tests/integration/support/eventually.inl"
