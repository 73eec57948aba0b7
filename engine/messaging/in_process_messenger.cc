#include "engine/messaging/in_process_messenger.h"

#include <cassert>
#include <memory>

#include "Runner/embedding/embedding_log.h"
#include "Runner/embedding/printable_name.h"

namespace engine::messaging {

namespace {

// Wraps the sender's reply so that it is one-shot and arrives through the queue, unless
// the messenger (`watch`) is gone by then.
flutter::BinaryReply queuedReply(dispatch::MainQueue& queue, dispatch::Lifetime::Watch watch, std::string channel,
                                 flutter::BinaryReply reply) {
  auto answered = std::make_shared<bool>(false);
  return [&queue, watch = std::move(watch), channel = std::move(channel), reply = std::move(reply),
          answered](const std::vector<uint8_t>& bytes) {
    if (*answered) {
      flutter::logEmbeddingProblem("channel \"" + flutter::printableName(channel) +
                                   "\": a message was answered twice; ignored");
      return;
    }
    *answered = true;
    if (!dispatch::Lifetime::alive(watch) || !reply) return;
    queue.async([watch, reply, bytes] {
      if (dispatch::Lifetime::alive(watch)) reply(bytes);
    });
  };
}

}  // namespace

InProcessMessenger::InProcessMessenger(dispatch::MainQueue& queue) : queue_(queue) {}

InProcessMessenger::~InProcessMessenger() = default;

void InProcessMessenger::send(const std::string& channel, Bytes message, flutter::BinaryReply reply) {
  assert(queue_.isMainThread());
  auto wrapped = queuedReply(queue_, lifetime_.watch(), channel, std::move(reply));
  queue_.async([this, watch = lifetime_.watch(), channel, message = std::move(message), wrapped] {
    if (!dispatch::Lifetime::alive(watch)) return;
    // A copy: the receiver may replace itself while it runs.
    InterfaceReceiver receiver = interfaceReceiver_;
    if (!receiver) {
      wrapped({});
      return;
    }
    receiver(channel, message, wrapped);
  });
}

void InProcessMessenger::setMessageHandler(const std::string& channel, flutter::BinaryMessageHandler handler) {
  assert(queue_.isMainThread());
  if (handler) {
    hostHandlers_[channel] = std::move(handler);
  } else {
    hostHandlers_.erase(channel);
  }
}

void InProcessMessenger::sendToHost(const std::string& channel, Bytes message, flutter::BinaryReply reply) {
  assert(queue_.isMainThread());
  auto wrapped = queuedReply(queue_, lifetime_.watch(), channel, std::move(reply));
  queue_.async([this, watch = lifetime_.watch(), channel, message = std::move(message), wrapped] {
    if (!dispatch::Lifetime::alive(watch)) return;
    auto it = hostHandlers_.find(channel);
    if (it == hostHandlers_.end()) {
      wrapped({});
      return;
    }
    flutter::BinaryMessageHandler handler = it->second;
    handler(message, wrapped);
  });
}

void InProcessMessenger::setInterfaceReceiver(InterfaceReceiver receiver) {
  assert(queue_.isMainThread());
  interfaceReceiver_ = std::move(receiver);
}

}  // namespace engine::messaging
