#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/network/connection.h"

namespace network::testing {

// A connection whose states the test drives with deliver(). cancel() reports kCancelled
// when the test calls deliverCancelled(), like the real one does later from the queue.
class FakeConnection : public Connection, public std::enable_shared_from_this<FakeConnection> {
 public:
  FakeConnection(std::string host, uint16_t port) : host(std::move(host)), port(port) {}

  void setStateUpdateHandler(StateUpdateHandler handler) override { handler_ = std::move(handler); }
  void start() override {
    ++startCalls;
    if (onCall) onCall("start");
  }
  void cancel() override {
    ++cancelCalls;
    if (onCall) onCall("cancel");
  }

  // Delivers a state as the main queue would. Ignored after cancel(), as the real
  // connection does, unless `evenIfCancelled` (to play a state already in flight).
  void deliver(ConnectionState state, std::optional<ConnectionError> error = std::nullopt,
               bool evenIfCancelled = false) {
    if (cancelCalls > 0 && !evenIfCancelled && state != ConnectionState::kCancelled) return;
    auto self = shared_from_this();  // the handler may drop the last other reference
    StateUpdateHandler handler = handler_;
    if (state == ConnectionState::kCancelled) handler_ = nullptr;
    if (handler) handler(state, error);
  }
  void fail(int code, std::string description) {
    deliver(ConnectionState::kFailed, ConnectionError{code, std::move(description)});
  }
  void deliverCancelled() { deliver(ConnectionState::kCancelled); }
  bool hasHandler() const { return static_cast<bool>(handler_); }

  const std::string host;
  const uint16_t port;
  int startCalls = 0;
  int cancelCalls = 0;
  // Told "start" and "cancel" as they are called, for a call log shared with other fakes.
  std::function<void(const std::string&)> onCall;

 private:
  StateUpdateHandler handler_;
};

// Records every connection it makes; tests reach them through `made`.
class FakeConnectionFactory : public ConnectionFactory {
 public:
  std::shared_ptr<Connection> makeConnection(const std::string& host, uint16_t port) override {
    if (refuse) return nullptr;
    auto connection = std::make_shared<FakeConnection>(host, port);
    connection->onCall = onCall;
    made.push_back(connection);
    return connection;
  }

  // Weak, so that tests can check that a finished probe lets go of its connection.
  std::vector<std::weak_ptr<FakeConnection>> made;
  bool refuse = false;  // makeConnection returns nothing
  // Handed to every connection made from now on.
  std::function<void(const std::string&)> onCall;

  std::shared_ptr<FakeConnection> connection(size_t index) const { return made.at(index).lock(); }
};

}  // namespace network::testing
