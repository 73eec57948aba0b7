#include "platform/process/own_scheduling_group.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/process/retry_on_eintr.h"
#include "platform/process/unique_fd.h"

namespace process {

bool enterOwnSchedulingGroup() {
  if (setsid() < 0) return false;  // only a process-group leader cannot
  UniqueFd group(retryOnEintr([] { return open("/proc/self/autogroup", O_WRONLY | O_CLOEXEC); }));
  if (!group.valid()) return false;  // a kernel without autogroups
  // Lowering a group's weight needs no privilege.
  static constexpr char kLowest[] = "19";
  return retryOnEintr([&] { return write(group.get(), kLowest, sizeof kLowest - 1); }) ==
         static_cast<ssize_t>(sizeof kLowest - 1);
}

}  // namespace process
