#pragma once

#include <sched.h>
#include <sys/types.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "platform/process/unique_fd.h"

namespace process {

class ChildStacks;

// The memory a child started by startChild() runs on between its start and its exec: its
// stack, and its own copies of the path, arguments and environment. The child shares the
// parent's memory until it execs, so this block must outlive that moment. Releasing it
// waits until the child has left it (the kernel clears a word in the block when the child
// execs or ends); once the child has been collected that wait is nil.
class ChildMemory {
 public:
  ChildMemory() = default;
  // `pool` is where the block goes back to, or null for a mapping of its own.
  ChildMemory(ChildStacks* pool, void* base, size_t size, int* leftWord)
      : pool_(pool), base_(base), size_(size), left_(leftWord) {}
  ~ChildMemory() { release(); }
  ChildMemory(ChildMemory&& other) noexcept;
  ChildMemory& operator=(ChildMemory&& other) noexcept;
  ChildMemory(const ChildMemory&) = delete;
  ChildMemory& operator=(const ChildMemory&) = delete;

  // Whether the child has exec'd or ended, so that nothing of it runs here any more.
  bool childHasLeft() const;
  // Waits until the child has left, then gives the block back.
  void release();

 private:
  ChildStacks* pool_ = nullptr;
  void* base_ = nullptr;
  size_t size_ = 0;
  int* left_ = nullptr;  // in the block; the kernel writes it
};

// Blocks for children to run on, kept for reuse. Mapping or unmapping memory takes the
// process's memory-map lock for writing, and every exec holds that lock of the memory it
// leaves for a moment: a child at the lowest priority, preempted in that moment, would keep
// a launch that maps memory waiting for as long as the processor stays busy. So blocks are
// mapped 256 at a time, at the first launch and whenever all are in use, and never
// unmapped until the pool goes; a block given back has its pages dropped. Any thread;
// every ChildMemory taken from it must be released before it is destroyed.
class ChildStacks {
 public:
  static constexpr size_t kBlockBytes = 64 * 1024;  // a guard page, the stack, the plan
  static constexpr size_t kBlocksPerMapping = 256;

  ChildStacks() = default;
  ~ChildStacks();
  ChildStacks(const ChildStacks&) = delete;
  ChildStacks& operator=(const ChildStacks&) = delete;

  // A block of kBlockBytes whose first page is the guard, or an errno value.
  std::variant<void*, int> take();
  void giveBack(void* block);

 private:
  std::mutex mutex_;
  std::vector<void*> free_;
  std::vector<void*> mappings_;
};

struct StartedChild {
  pid_t pid = -1;
  UniqueFd pidfd;  // close-on-exec
  ChildMemory memory;
};

// The scheduling policy children run under, and the launcher thread that makes them (see
// clone_launcher.h): they run only when no thread at normal priority wants the processor.
inline constexpr int kChildPolicy = SCHED_IDLE;

// Starts the program at `path` (no PATH search) with `arguments` as a child whose standard
// output and standard error are `output`, and returns as soon as the child exists, without
// waiting for its exec. The child gets nothing else of ours (no other descriptor, every
// signal at its default and none blocked), and puts itself under kChildPolicy before it execs,
// so that however many start at once, the parent keeps the processor when it wants it.
// Until then it runs at the caller's priority: a child made at normal priority is picked
// ahead of the thread it woke up beside, so callers that make many should run low themselves.
//
// A program that is not there, or that we may not execute, is refused here (an errno
// value), as is a child that cannot be made (no memory, no descriptor for its pidfd). A
// program that is there but still fails to exec makes the child exit with status 127.
// Any thread may call it; the child starts with the caller's environment, in the C locale
// (LC_ALL=C), since nobody reads what it writes.
// The child's memory comes from `stacks` (or, for a very large environment, a mapping of
// its own).
std::variant<StartedChild, int> startChild(ChildStacks& stacks, const std::string& path,
                                           const std::vector<std::string>& arguments, int output);

}  // namespace process
