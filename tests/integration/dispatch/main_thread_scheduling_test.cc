// The main thread's request for prompt wake-ups, read back from the kernel.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "platform/dispatch/main_thread_scheduling.h"

namespace {

constexpr long kShortestSlice = 100'000;

// The slice, in nanoseconds, that the kernel shows for a thread or process.
std::optional<long> sliceIn(std::istream& sched) {
  for (std::string line; std::getline(sched, line);) {
    if (line.rfind("se.slice", 0) == 0) return std::stol(line.substr(line.find(':') + 1));
  }
  return std::nullopt;
}

std::optional<long> sliceOfThisThread() {
  std::ifstream sched("/proc/thread-self/sched");
  return sliceIn(sched);
}

// A child started by the calling thread reports its own slice.
std::optional<long> sliceOfAChild() {
  FILE* child = popen("grep '^se.slice' /proc/self/sched", "r");
  if (!child) return std::nullopt;
  char line[256] = {};
  const bool read = std::fgets(line, sizeof line, child) != nullptr;
  pclose(child);
  if (!read) return std::nullopt;
  std::istringstream text(line);
  return sliceIn(text);
}

TEST(MainThreadScheduling, OnlyTheCallerGetsTheShortSliceNotThreadsOrChildrenItStartsLater) {
  struct Seen {
    bool taken = false;
    std::optional<long> own, before, laterThread, laterChild;
  } seen;
  // On a thread of its own, so that the rest of the test process keeps the default.
  std::thread([&] {
    seen.before = sliceOfThisThread();
    seen.taken = dispatch::preferPromptWakeups();
    seen.own = sliceOfThisThread();
    std::thread([&] { seen.laterThread = sliceOfThisThread(); }).join();
    seen.laterChild = sliceOfAChild();
  }).join();

  if (!seen.taken) GTEST_SKIP() << "this kernel keeps no slice per thread";
  ASSERT_TRUE(seen.before && seen.own && seen.laterThread && seen.laterChild);
  EXPECT_EQ(*seen.own, kShortestSlice);
  EXPECT_NE(*seen.before, kShortestSlice);
  // What the pings and the reaper get: the kernel's default, as before the call.
  EXPECT_EQ(*seen.laterThread, *seen.before);
  EXPECT_EQ(*seen.laterChild, *seen.before);
}

}  // namespace
