#include "platform/process/descriptor_limit.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>

#include "platform/process/unique_fd.h"

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
  const UniqueFd probe(open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (!probe.valid()) return;
  // The table grows to hold the highest descriptor in use, and stays grown after it closes.
  const UniqueFd high(fcntl(probe.get(), F_DUPFD_CLOEXEC, highest));
}

}  // namespace process
