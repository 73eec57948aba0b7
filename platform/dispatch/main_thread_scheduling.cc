#include "platform/dispatch/main_thread_scheduling.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

namespace dispatch {
namespace {

// The kernel's struct sched_attr. glibc 2.36 declares no sched_setattr, and the kernel's own
// header for the struct clashes with <sched.h>.
struct SchedulingAttributes {
  uint32_t size;
  uint32_t policy;
  uint64_t flags;
  int32_t nice;
  uint32_t priority;
  uint64_t runtime;  // for the normal policy: the requested slice
  uint64_t deadline;
  uint64_t period;
};

constexpr uint64_t kResetOnFork = 0x01;       // SCHED_FLAG_RESET_ON_FORK
constexpr uint64_t kShortestSlice = 100'000;  // nanoseconds; the kernel's lower bound

bool readAttributes(SchedulingAttributes& attributes) {
  return syscall(SYS_sched_getattr, 0, &attributes, sizeof attributes, 0) == 0;
}

}  // namespace

bool preferPromptWakeups() {
  SchedulingAttributes attributes{};
  if (!readAttributes(attributes) || attributes.policy != SCHED_OTHER) return false;
  attributes.size = sizeof attributes;
  attributes.flags = kResetOnFork;  // the slice is not inherited
  attributes.runtime = kShortestSlice;
  if (syscall(SYS_sched_setattr, 0, &attributes, 0) != 0) return false;
  // Older kernels accept the request and ignore the slice.
  SchedulingAttributes now{};
  return readAttributes(now) && now.runtime == kShortestSlice;
}

}  // namespace dispatch
