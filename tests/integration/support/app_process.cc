#include "tests/integration/support/app_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace tessra::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tessra-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Read-only folders made by a test must not stop the clean-up.
  for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

namespace {

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& extra) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry; ++entry) {
    std::string text(*entry);
    auto eq = text.find('=');
    if (eq != std::string::npos) merged[text.substr(0, eq)] = text.substr(eq + 1);
  }
  for (const auto& [key, value] : extra) merged[key] = value;
  std::vector<std::string> result;
  for (const auto& [key, value] : merged) result.push_back(key + "=" + value);
  return result;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (auto& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

pid_t spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            const std::string& outPath, const std::string& errPath, bool ownProcessGroup = false) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (ownProcessGroup) {
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> args = argv;
  std::vector<std::string> envStrings = mergedEnvironment(env);
  auto argPointers = pointers(args);
  auto envPointers = pointers(envStrings);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0].c_str(), &actions, &attributes, argPointers.data(), envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                           const std::string& outputDir, bool ownProcessGroup)
    : ownProcessGroup_(ownProcessGroup) {
  static int counter = 0;
  ++counter;
  outPath_ = outputDir + "/child-" + std::to_string(counter) + ".out";
  errPath_ = outputDir + "/child-" + std::to_string(counter) + ".err";
  pid_ = spawn(argv, env, outPath_, errPath_, ownProcessGroup);
}

ChildProcess::~ChildProcess() {
  // The group outlives its leader while anything of it runs.
  if (ownProcessGroup_) kill(-pid_, SIGKILL);
  if (!reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
  }
}

bool ChildProcess::running() {
  if (reaped_) return false;
  pid_t rc = waitpid(pid_, &status_, WNOHANG);
  if (rc == pid_) reaped_ = true;
  return !reaped_;
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
  if (!eventually([&] { return !running(); }, timeout)) return std::nullopt;
  if (!WIFEXITED(status_)) return std::nullopt;
  return WEXITSTATUS(status_);
}

void ChildProcess::terminate() {
  if (ownProcessGroup_) kill(-pid_, SIGTERM);
  if (reaped_) return;
  kill(pid_, SIGTERM);
  if (!waitForExit(std::chrono::seconds(5))) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    reaped_ = true;
  }
}

std::string ChildProcess::standardOutput() const { return readFile(outPath_); }
std::string ChildProcess::standardError() const { return readFile(errPath_); }

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

int runCommand(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env) {
  TempDir scratch;
  pid_t pid = spawn(argv, env, scratch.path() + "/out", scratch.path() + "/err");
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace tessra::testing
