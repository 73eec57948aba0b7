#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

namespace tessra::testing {

// A TCP socket listening on 127.0.0.1, the one listener the tests share. Port 0 takes a
// port of the kernel's choosing (see port()); port 80 is what the permission probe tries,
// and is only free inside a fakelan namespace or on a machine where nothing serves it.
// Connections stay in the accept queue unless acceptPending() or hangUpOnEveryConnection()
// takes them. Closed, with everything it accepted, when destroyed.
//
//   LoopbackListener listener;  // port 0
//   ASSERT_TRUE(listener.ok());
//   auto connection = factory.makeConnection("127.0.0.1", listener.port());
class LoopbackListener {
 public:
  explicit LoopbackListener(uint16_t port = 0, int backlog = 16) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    const int yes = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd_, backlog) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      close();
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackListener() { close(); }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  bool ok() const { return fd_ >= 0; }
  uint16_t port() const { return port_; }

  // Hands the listening descriptor over to the caller, who closes it.
  int release() { return std::exchange(fd_, -1); }

  // Stops listening; connecting to the port is refused from now on.
  void close() {
    stop_ = true;
    if (hangUp_.joinable()) hangUp_.join();
    for (int fd : accepted_) ::close(fd);
    accepted_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // Accepts what waits in the queue and keeps those connections open, so that the queue
  // has room again.
  void acceptPending() {
    for (;;) {
      pollfd ready{fd_, POLLIN, 0};
      if (poll(&ready, 1, 0) <= 0) return;
      const int connection = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) return;
      accepted_.push_back(connection);
    }
  }

  // From now on accepts every connection on a thread of its own and hangs up at once, as a
  // server that closes straight away would, until closed.
  void hangUpOnEveryConnection() {
    if (!ok() || hangUp_.joinable()) return;
    stop_ = false;
    hangUp_ = std::thread([this] {
      while (!stop_) {
        pollfd ready{fd_, POLLIN, 0};
        if (poll(&ready, 1, 20) <= 0) continue;
        const int connection = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) ::close(connection);
      }
    });
  }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  std::vector<int> accepted_;
  std::atomic<bool> stop_{false};
  std::thread hangUp_;
};

}  // namespace tessra::testing
