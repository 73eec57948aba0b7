#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace flutter {

// Replies travel as encoded bytes; an empty reply means "not implemented".
using BinaryReply = std::function<void(const std::vector<uint8_t>& reply)>;
// Handles one message on a channel; must call `reply` at most once.
using BinaryMessageHandler = std::function<void(const std::vector<uint8_t>& message, BinaryReply reply)>;

// Port: carries encoded messages between the host and the interface, keyed by channel
// name. The stand-in engine implements it in-process; an adapter to the real engine would
// implement it over the engine's messenger. Main thread only: handlers are called, and
// replies must be sent, on the main thread.
class FlutterBinaryMessenger {
 public:
  virtual ~FlutterBinaryMessenger() = default;
  FlutterBinaryMessenger() = default;
  FlutterBinaryMessenger(const FlutterBinaryMessenger&) = delete;
  FlutterBinaryMessenger& operator=(const FlutterBinaryMessenger&) = delete;

  // Sends a message to the interface. `reply` (may be empty when no answer is wanted) is
  // called on the main thread with the interface's answer, if any.
  virtual void send(const std::string& channel, std::vector<uint8_t> message, BinaryReply reply) = 0;
  // Installs (or with an empty handler removes) the handler for messages from the
  // interface on `channel`. It stays installed until replaced.
  virtual void setMessageHandler(const std::string& channel, BinaryMessageHandler handler) = 0;
};

}  // namespace flutter
