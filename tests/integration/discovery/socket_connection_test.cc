// The socket connection adapter against loopback listeners on ephemeral ports.
#include <arpa/inet.h>
#include <glib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "platform/dispatch/glib_main_queue.h"
#include "platform/network/socket_connection_factory.h"

namespace {

using network::ConnectionState;

// A TCP listener on 127.0.0.1 at a port of the kernel's choosing.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(fd_, 4);
  }
  ~Listener() { close(); }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

struct Seen {
  std::vector<ConnectionState> states;
  std::optional<network::ConnectionError> error;
  bool cancelled = false;
};

class SocketConnectionTest : public ::testing::Test {
 protected:
  // Starts a connection that records its states, cancels itself once ready or failed
  // (as the permission probe does), and runs the loop until it reports kCancelled.
  Seen connectAndSettle(const std::string& host, uint16_t port) {
    Seen seen;
    auto connection = factory.makeConnection(host, port);
    connection->setStateUpdateHandler(
        [&seen, connection](ConnectionState state, const std::optional<network::ConnectionError>& error) {
          seen.states.push_back(state);
          if (error) seen.error = error;
          if (state == ConnectionState::kReady || state == ConnectionState::kFailed) connection->cancel();
          if (state == ConnectionState::kCancelled) seen.cancelled = true;
        });
    std::weak_ptr<network::Connection> weak = connection;
    connection->start();
    connection.reset();  // the handler's own reference keeps it going
    while (!seen.cancelled) g_main_context_iteration(nullptr, TRUE);
    // Let anything stray arrive before looking.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    EXPECT_TRUE(weak.expired()) << "the connection still holds its handler after kCancelled";
    return seen;
  }

  dispatch::GlibMainQueue queue;
  network::SocketConnectionFactory factory{queue};
};

TEST_F(SocketConnectionTest, BecomesReadyWhenSomethingListensAndReportsNothingAfterCancelled) {
  Listener listener;
  const Seen seen = connectAndSettle("127.0.0.1", listener.port());
  EXPECT_EQ(seen.states, (std::vector{ConnectionState::kPreparing, ConnectionState::kReady, ConnectionState::kCancelled}));
  EXPECT_FALSE(seen.error);
}

TEST_F(SocketConnectionTest, FailsWithTheSystemsDescriptionWhenRefused) {
  Listener listener;
  const uint16_t port = listener.port();
  listener.close();
  const Seen seen = connectAndSettle("127.0.0.1", port);
  EXPECT_EQ(seen.states, (std::vector{ConnectionState::kPreparing, ConnectionState::kFailed, ConnectionState::kCancelled}));
  ASSERT_TRUE(seen.error);
  EXPECT_EQ(seen.error->code, ECONNREFUSED);
  EXPECT_EQ(seen.error->description, "Connection refused");
}

TEST_F(SocketConnectionTest, CancellingBeforeTheOutcomeReportsOnlyCancelled) {
  Listener listener;
  std::vector<ConnectionState> states;
  auto connection = factory.makeConnection("127.0.0.1", listener.port());
  connection->setStateUpdateHandler(
      [&](ConnectionState state, const std::optional<network::ConnectionError>&) { states.push_back(state); });
  connection->start();
  connection->cancel();
  connection->cancel();
  EXPECT_TRUE(states.empty()) << "states must come from the queue, not from inside the calls";
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  EXPECT_EQ(states, (std::vector{ConnectionState::kCancelled}));
}

TEST_F(SocketConnectionTest, AConnectionDroppedEarlyReportsNothing) {
  Listener listener;
  int calls = 0;
  auto connection = factory.makeConnection("127.0.0.1", listener.port());
  connection->setStateUpdateHandler([&](ConnectionState, const std::optional<network::ConnectionError>&) { ++calls; });
  connection->start();
  connection.reset();
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  EXPECT_EQ(calls, 0);
}

}  // namespace
