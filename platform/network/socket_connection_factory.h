#pragma once

#include "platform/dispatch/main_queue.h"
#include "platform/network/connection.h"

namespace network {

// ConnectionFactory over non-blocking sockets, watched from GLib's default main context;
// states are delivered through `mainQueue`. Connection errors carry the system's errno
// text, so a refused attempt reads "Connection refused".
class SocketConnectionFactory : public ConnectionFactory {
 public:
  explicit SocketConnectionFactory(dispatch::MainQueue& mainQueue) : mainQueue_(mainQueue) {}

  std::shared_ptr<Connection> makeConnection(const std::string& host, uint16_t port) override;

 private:
  dispatch::MainQueue& mainQueue_;
};

}  // namespace network
