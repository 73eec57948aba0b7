// The clone launcher with real children (/bin/sh; no network).
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/process/child_start.h"
#include "platform/process/clone_launcher.h"
#include "platform/process/descriptor_limit.h"
#include "tests/integration/process/children.h"

namespace {

using process::Termination;
using process::testing::noChildren;
using process::testing::shell;
using process::testing::Terminations;

int openDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count - 1;  // the directory's own descriptor
}

int highestDescriptor() {
  int highest = -1;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') highest = std::max(highest, atoi(entry->d_name));
    }
    closedir(dir);
  }
  return highest;
}

int threads() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

// The thread of this process with that name, or 0.
pid_t threadNamed(const std::string& name) {
  pid_t found = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
      std::string line;
      if (std::getline(comm, line) && line == name) found = atoi(entry->d_name);
    }
    closedir(dir);
  }
  return found;
}

TEST(CloneLauncherTest, ReportsEachChildsEndingOffTheMainThreadAndLeavesNothingBehind) {
  // Set before the launcher's threads exist.
  setenv("LANG", "C.UTF-8", 1);
  setenv("LC_ALL", "C.UTF-8", 1);
  const int descriptorsBefore = openDescriptors();
  Terminations ended;
  {
    process::CloneLauncher launcher;
    const int withLauncher = openDescriptors();
    struct Case {
      std::string script;
      Termination expected;
    };
    const std::vector<Case> cases = {
        {"exit 0", {false, 0}},
        {"exit 1", {false, 1}},
        {"exit 2", {false, 2}},
        {"kill -9 $$", {true, 9}},
        // Output into the pipe, late: the read end must still be open (else SIGPIPE).
        {"sleep 0.2; echo to the pipe; echo and its error >&2; exit 0", {false, 0}},
        // The host's environment, in the C locale whatever the host's own LC_ALL.
        {"[ \"$LC_ALL\" = C ] && [ \"$LANG\" = C.UTF-8 ] && [ -n \"$PATH\" ] && env | grep -c ^LC_ALL= | grep -qx 1",
         {false, 0}},
        {"exit \"$#\"", {false, 3}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
      auto arguments = shell(cases[i].script);
      if (i == cases.size() - 1) arguments.insert(arguments.end(), {"sh", "a b", "\"c\"", "d\\e"});
      ASSERT_EQ(launcher.launch("/bin/sh", arguments, ended.handler(i)), std::nullopt) << cases[i].script;
    }
    const auto results = ended.waitFor(cases.size());
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(results[i], cases[i].expected) << cases[i].script;
    EXPECT_FALSE(ended.anyOnMainThread());
    EXPECT_EQ(launcher.running(), 0u);
    EXPECT_EQ(openDescriptors(), withLauncher) << "a pipe or pidfd was left open";
    EXPECT_TRUE(noChildren());
  }
  EXPECT_EQ(openDescriptors(), descriptorsBefore);
}

// The host creates its launcher before GTK starts, and GTK starts slower in a process that
// already has more threads.
TEST(CloneLauncherTest, StartsItsThreadsOnlyWithTheFirstLaunch) {
  const int threadsBefore = threads();
  Terminations ended;
  process::CloneLauncher launcher;
  EXPECT_EQ(threads(), threadsBefore);
  ASSERT_EQ(launcher.launch("/bin/sh", shell("exit 0"), ended.handler(0)), std::nullopt);
  EXPECT_EQ(threads(), threadsBefore + 2);  // the reaper and the launcher
  EXPECT_EQ(ended.waitFor(1)[0], (Termination{false, 0}));
}

// A child made at normal priority runs ahead of the main thread until it lowers its own, so
// the thread that makes children runs low as well.
TEST(CloneLauncherTest, ChildrenAndTheThreadThatMakesThemRunAtTheLowestPriority) {
  Terminations ended;
  process::CloneLauncher launcher;
  // The shell exits with its scheduling policy: the 39th field after the name in its stat line.
  ASSERT_EQ(launcher.launch("/bin/sh", shell("set -- $(cut -d')' -f2 /proc/$$/stat); exit ${39}"), ended.handler(0)),
            std::nullopt);
  EXPECT_EQ(ended.waitFor(1)[0], (Termination{false, process::kChildPolicy}));
  const pid_t launcherThread = threadNamed("child launcher");
  ASSERT_NE(launcherThread, 0);
  EXPECT_EQ(sched_getscheduler(launcherThread), process::kChildPolicy);
  EXPECT_EQ(sched_getscheduler(threadNamed("process reaper")), SCHED_OTHER);
}

TEST(CloneLauncherTest, AChildSeesOnlyItsStandardDescriptors) {
  // A descriptor of the host without close-on-exec must still stay out of the child.
  const int stray = dup(STDIN_FILENO);
  ASSERT_GE(stray, 0);
  Terminations ended;
  process::CloneLauncher launcher;
  // The exit status is the number of descriptors open in the child besides 0, 1, 2 and
  // the one the shell reads the listing through.
  ASSERT_EQ(launcher.launch("/bin/sh", shell("n=0; for f in /proc/$$/fd/*; do n=$((n+1)); done; exit $((n-4))"),
                            ended.handler(0)),
            std::nullopt);
  EXPECT_EQ(ended.waitFor(1)[0], (Termination{false, 0}));
  close(stray);
}

TEST(CloneLauncherTest, LaunchFailuresAreReturnedByTheLaunchItself) {
  process::CloneLauncher launcher;
  bool called = false;
  auto missing = launcher.launch("/nonexistent/ping", {"-c", "1"}, [&](Termination) { called = true; });
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->code, ENOENT);
  EXPECT_EQ(missing->description, "No such file or directory");

  // Out of descriptors: refused at once, not a hang, and no child left behind.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = highestDescriptor() + 2;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  // Fill every free slot but one: room for one end of a pipe, not both.
  std::vector<int> fillers;
  for (int fd; (fd = dup(STDIN_FILENO)) >= 0;) fillers.push_back(fd);
  ASSERT_FALSE(fillers.empty());
  close(fillers.back());
  fillers.pop_back();
  auto starved = launcher.launch("/bin/sh", shell("exit 0"), [&](Termination) { called = true; });
  for (int fd : fillers) close(fd);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  ASSERT_TRUE(starved);
  EXPECT_EQ(starved->code, EMFILE);
  EXPECT_EQ(launcher.running(), 0u);
  EXPECT_FALSE(called);
  EXPECT_TRUE(noChildren());
}

// The child no longer makes launch() wait for its exec, so an exec that fails after the
// program was found comes back as the child's end.
TEST(CloneLauncherTest, AProgramThatFailsToExecuteEndsAsAFailedChild) {
  char path[] = "/tmp/tessra-not-a-program-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "neither ELF nor #!\n", 19), 19);
  close(fd);
  chmod(path, 0755);
  Terminations ended;
  {
    process::CloneLauncher launcher;
    ASSERT_EQ(launcher.launch(path, {}, ended.handler(0)), std::nullopt);
    const Termination end = ended.waitFor(1)[0];
    EXPECT_EQ(end, (Termination{false, 127}));
    EXPECT_FALSE(end.succeeded());
  }
  unlink(path);
  EXPECT_TRUE(noChildren());
}

TEST(CloneLauncherTest, ABurstOfChildrenIsCollectedOnceEach) {
  constexpr size_t kChildren = 200;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> calls(kChildren, 0);
  size_t ended = 0;
  {
    process::CloneLauncher launcher;
    for (size_t i = 0; i < kChildren; ++i) {
      ASSERT_FALSE(launcher.launch("/bin/sh", shell("exit " + std::to_string(i % 3)), [&, i](Termination end) {
        std::lock_guard lock(mutex);
        calls[i] += end == Termination{false, static_cast<int>(i % 3)} ? 1 : 100;
        ++ended;
        changed.notify_all();
      }));
    }
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return ended == kChildren; });
  }
  for (size_t i = 0; i < kChildren; ++i) EXPECT_EQ(calls[i], 1) << "child " << i;
  EXPECT_TRUE(noChildren());
}

// The child runs on memory of ours until it execs: releasing that memory at once must wait
// for it, or the child would crash (SIGSEGV) or scribble on whatever is mapped there next.
TEST(ChildStartTest, ItsMemoryIsReleasedOnlyAfterTheChildHasLeftIt) {
  const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(devNull, 0);
  process::ChildStacks stacks;
  for (int round = 0; round < 50; ++round) {
    auto started = process::startChild(stacks, "/bin/sh", shell("exit 3"), devNull);
    ASSERT_TRUE(std::holds_alternative<process::StartedChild>(started));
    auto& child = std::get<process::StartedChild>(started);
    child.memory.release();
    EXPECT_TRUE(child.memory.childHasLeft());
    // Something else on those pages now, as there would be in the host.
    std::vector<char> scribble(64 * 1024, 'x');
    siginfo_t info{};
    ASSERT_EQ(waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(child.pidfd.get()), &info, WEXITED), 0);
    EXPECT_EQ(info.si_code, CLD_EXITED) << "round " << round;
    EXPECT_EQ(info.si_status, 3) << "round " << round;
  }
  close(devNull);
  EXPECT_TRUE(noChildren());
}

TEST(CloneLauncherTest, ChildrenStartedElsewhereInTheProgramAreNotReaped) {
  pid_t own = -1;
  char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>("exit 7"), nullptr};
  ASSERT_EQ(posix_spawn(&own, "/bin/sh", nullptr, nullptr, argv, environ), 0);

  Terminations ended;
  {
    process::CloneLauncher launcher;
    for (size_t i = 0; i < 8; ++i) ASSERT_FALSE(launcher.launch("/bin/sh", shell("sleep 0.1"), ended.handler(i)));
    ended.waitFor(8);
  }
  int status = 0;
  ASSERT_EQ(waitpid(own, &status, 0), own) << "the launcher reaped a child that was not its own";
  EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST(CloneLauncherTest, DestructionWaitsForRunningChildren) {
  Terminations ended;
  {
    process::CloneLauncher launcher;
    ASSERT_FALSE(launcher.launch("/bin/sh", shell("sleep 0.3; exit 4"), ended.handler(0)));
  }
  EXPECT_EQ(ended.waitFor(1)[0], (Termination{false, 4}));
  EXPECT_TRUE(noChildren());
}

TEST(DescriptorLimitTest, RaisesTheSoftLimitToTheHardOne) {
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_max, 256);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  EXPECT_EQ(process::raiseDescriptorLimit(), static_cast<long>(saved.rlim_max));
  rlimit now{};
  getrlimit(RLIMIT_NOFILE, &now);
  EXPECT_EQ(now.rlim_cur, saved.rlim_max);
  setrlimit(RLIMIT_NOFILE, &saved);
}

// Grown later, once threads share it, the table makes the thread that grows it wait for an
// RCU grace period: the main thread, in a sweep's first launch loop.
TEST(DescriptorLimitTest, ReservingGrowsTheTableAndLeavesNoDescriptorOpen) {
  auto tableSize = [] {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
      if (line.starts_with("FDSize:")) return atoi(line.c_str() + 7);
    }
    return 0;
  };
  const int before = tableSize();
  ASSERT_GT(before, 0);
  const int descriptors = openDescriptors();
  process::reserveDescriptorTable(before * 4);
  EXPECT_GE(tableSize(), before * 4);
  EXPECT_EQ(openDescriptors(), descriptors);
}

}  // namespace
