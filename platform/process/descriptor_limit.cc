#include "platform/process/descriptor_limit.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

namespace process {

std::optional<long> raiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return std::nullopt;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return static_cast<long>(limit.rlim_cur);
}

void reserveDescriptorTable(int descriptors) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  const auto highest = static_cast<int>(std::min<rlim_t>(static_cast<rlim_t>(descriptors), limit.rlim_cur)) - 1;
  const int probe = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (probe < 0) return;
  // The table grows to hold the highest descriptor in use, and stays grown after it closes.
  const int high = fcntl(probe, F_DUPFD_CLOEXEC, highest);
  if (high >= 0) close(high);
  close(probe);
}

}  // namespace process
