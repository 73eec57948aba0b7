#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace network {

enum class ConnectionState {
  kSetup,      // created, not started
  kPreparing,  // the attempt is under way
  kWaiting,    // no usable path for now; the attempt may resume
  kReady,      // the TCP connection is established
  kFailed,     // the attempt has failed for good (an error comes with it)
  kCancelled,  // cancel() was called; the last state a connection reports
};

struct ConnectionError {
  int code = 0;             // errno value
  std::string description;  // the system's text for it, e.g. "Connection refused"
};

// Called with each new state; `error` is set with kFailed (and only then).
using StateUpdateHandler = std::function<void(ConnectionState state, const std::optional<ConnectionError>& error)>;

// One outgoing TCP connection attempt. Main thread only: calls are made and state changes
// delivered on the main thread, never from inside start() or cancel() themselves. After
// kCancelled has been delivered the connection drops its handler, so the handler may hold
// a reference to the connection. A connection destroyed early just stops; it reports
// nothing more.
class Connection {
 public:
  virtual ~Connection() = default;
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Set before start(); replaces any earlier handler.
  virtual void setStateUpdateHandler(StateUpdateHandler handler) = 0;
  virtual void start() = 0;
  // Abandons the attempt or closes the connection; later states are not reported, except
  // the one kCancelled. Calling it again does nothing.
  virtual void cancel() = 0;
};

// Port: makes connections to a host (a numeric address; no name lookup) and port, with
// the system's default TCP settings. Main thread only.
class ConnectionFactory {
 public:
  virtual ~ConnectionFactory() = default;
  ConnectionFactory() = default;
  ConnectionFactory(const ConnectionFactory&) = delete;
  ConnectionFactory& operator=(const ConnectionFactory&) = delete;

  virtual std::shared_ptr<Connection> makeConnection(const std::string& host, uint16_t port) = 0;
};

}  // namespace network
