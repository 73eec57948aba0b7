#pragma once

#include <cerrno>

namespace process {

// Calls `call` again for as long as it fails with EINTR, so that a signal that arrives
// meanwhile is not taken for a failure; returns what the last call returned, with errno as
// that call left it. For calls that return -1 on failure (read, write, connect, waitid,
// epoll_wait, waitpid). Not for close(): see unique_fd.h.
//
//   const ssize_t n = process::retryOnEintr([&] { return ::write(fd, data, size); });
template <typename Call>
auto retryOnEintr(Call call) {
  auto result = call();
  while (result == -1 && errno == EINTR) result = call();
  return result;
}

}  // namespace process
