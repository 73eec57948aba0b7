// The socket connection adapter against loopback listeners on ephemeral ports.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "platform/dispatch/glib_main_queue.h"
#include "platform/network/socket_connection_factory.h"
#include "tests/integration/support/loopback_listener.h"
#include "tests/integration/support/main_loop.h"

namespace {

using network::ConnectionState;
using tessra::testing::LoopbackListener;
using tessra::testing::pumpPending;
using tessra::testing::pumpUntil;

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
    EXPECT_TRUE(pumpUntil([&] { return seen.cancelled; }));
    // Let anything stray arrive before looking.
    pumpPending();
    EXPECT_TRUE(weak.expired()) << "the connection still holds its handler after kCancelled";
    return seen;
  }

  dispatch::GlibMainQueue queue;
  network::SocketConnectionFactory factory{queue};
};

TEST_F(SocketConnectionTest, BecomesReadyWhenSomethingListensAndReportsNothingAfterCancelled) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  const Seen seen = connectAndSettle("127.0.0.1", listener.port());
  EXPECT_EQ(seen.states,
            (std::vector{ConnectionState::kPreparing, ConnectionState::kReady, ConnectionState::kCancelled}));
  EXPECT_FALSE(seen.error);
}

TEST_F(SocketConnectionTest, FailsWithTheSystemsDescriptionWhenRefused) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  const uint16_t port = listener.port();
  listener.close();
  const Seen seen = connectAndSettle("127.0.0.1", port);
  EXPECT_EQ(seen.states,
            (std::vector{ConnectionState::kPreparing, ConnectionState::kFailed, ConnectionState::kCancelled}));
  ASSERT_TRUE(seen.error);
  EXPECT_EQ(seen.error->code, ECONNREFUSED);
  EXPECT_EQ(seen.error->description, "Connection refused");
}

TEST_F(SocketConnectionTest, CancellingBeforeTheOutcomeReportsOnlyCancelled) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  std::vector<ConnectionState> states;
  auto connection = factory.makeConnection("127.0.0.1", listener.port());
  connection->setStateUpdateHandler(
      [&](ConnectionState state, const std::optional<network::ConnectionError>&) { states.push_back(state); });
  connection->start();
  connection->cancel();
  connection->cancel();
  EXPECT_TRUE(states.empty()) << "states must come from the queue, not from inside the calls";
  pumpPending();
  EXPECT_EQ(states, (std::vector{ConnectionState::kCancelled}));
}

TEST_F(SocketConnectionTest, AConnectionDroppedEarlyReportsNothing) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  int calls = 0;
  auto connection = factory.makeConnection("127.0.0.1", listener.port());
  connection->setStateUpdateHandler([&](ConnectionState, const std::optional<network::ConnectionError>&) { ++calls; });
  connection->start();
  connection.reset();
  pumpPending();
  EXPECT_EQ(calls, 0);
}

}  // namespace
