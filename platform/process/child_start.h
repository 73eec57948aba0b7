#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

#include "platform/process/unique_fd.h"

namespace process {

// The memory a child runs on between its start and its exec: its stack, and its own copies
// of the path, arguments and environment. The child shares the parent's memory until it
// execs, so this block must outlive that moment. Releasing it waits until the child has
// left it (the kernel clears a word in the block when the child execs or ends); once the
// child has been collected that wait is nil.
class ChildMemory {
 public:
  ChildMemory() = default;
  ChildMemory(void* base, size_t size, int* leftWord) : base_(base), size_(size), left_(leftWord) {}
  ~ChildMemory() { release(); }
  ChildMemory(ChildMemory&& other) noexcept;
  ChildMemory& operator=(ChildMemory&& other) noexcept;
  ChildMemory(const ChildMemory&) = delete;
  ChildMemory& operator=(const ChildMemory&) = delete;

  // Whether the child has exec'd or ended, so that nothing of it runs here any more.
  bool childHasLeft() const;
  // Waits until the child has left, then unmaps the block.
  void release();

 private:
  void* base_ = nullptr;
  size_t size_ = 0;
  int* left_ = nullptr;  // in the block; the kernel writes it
};

struct StartedChild {
  pid_t pid = -1;
  UniqueFd pidfd;  // close-on-exec
  ChildMemory memory;
};

// Starts the program at `path` (no PATH search) with `arguments` as a child whose standard
// output and standard error are `output`, and returns as soon as the child exists, without
// waiting for its exec. The child gets nothing else of ours (no other descriptor, every
// signal at its default and none blocked), and lowers its own priority to nice 19 before it
// execs, so that however many start at once, the parent keeps the processor when it wants it.
//
// A program that is not there, or that we may not execute, is refused here (an errno
// value), as is a child that cannot be made (no memory, no descriptor for its pidfd). A
// program that is there but still fails to exec makes the child exit with status 127.
// Any thread may call it; the child starts with the caller's environment.
std::variant<StartedChild, int> startChild(const std::string& path, const std::vector<std::string>& arguments,
                                           int output);

}  // namespace process
