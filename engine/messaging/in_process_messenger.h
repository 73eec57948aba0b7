#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Runner/embedding/binary_messenger.h"
#include "platform/dispatch/lifetime.h"
#include "platform/dispatch/main_queue.h"

namespace engine::messaging {

// The stand-in engine's message pipe between the host and the in-process interface. The
// host sees an ordinary FlutterBinaryMessenger; the interface side (InterfaceSide) sees one
// receiver for everything the host sends. Every message, reply and event crosses as bytes
// and is delivered later through the main queue, never inside the sender's call, the way
// the real engine hands messages across its thread boundary. Deliveries keep the order in
// which they were sent, across both directions.
//
// Main thread only. Blocks still queued when the messenger is destroyed do nothing.
class InProcessMessenger : public flutter::FlutterBinaryMessenger {
 public:
  using Bytes = std::vector<uint8_t>;
  // The interface's receiver: every host message with its channel name. `reply` must be
  // called at most once (a second answer is logged and dropped).
  using InterfaceReceiver =
      std::function<void(const std::string& channel, const Bytes& message, flutter::BinaryReply reply)>;

  explicit InProcessMessenger(dispatch::MainQueue& queue);
  ~InProcessMessenger() override;

  // The host's side.
  void send(const std::string& channel, Bytes message, flutter::BinaryReply reply) override;
  void setMessageHandler(const std::string& channel, flutter::BinaryMessageHandler handler) override;

  // The interface's side. A message on a channel without a host handler is answered with
  // the empty reply (not implemented), as the real engine does.
  void sendToHost(const std::string& channel, Bytes message, flutter::BinaryReply reply);
  // With no receiver installed, host messages are answered with the empty reply.
  void setInterfaceReceiver(InterfaceReceiver receiver);

  dispatch::MainQueue& queue() { return queue_; }

 private:
  dispatch::MainQueue& queue_;
  std::map<std::string, flutter::BinaryMessageHandler> hostHandlers_;
  InterfaceReceiver interfaceReceiver_;
  // Lets queued blocks and replies find out that the messenger is gone.
  dispatch::Lifetime lifetime_;
};

}  // namespace engine::messaging
