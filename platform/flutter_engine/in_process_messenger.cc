#include "platform/flutter_engine/in_process_messenger.h"

#include <cassert>
#include <map>

#include "Runner/embedding/embedding_log.h"

namespace engine {

struct InProcessMessenger::Core {
  explicit Core(dispatch::MainQueue& queue) : queue(queue) {}
  dispatch::MainQueue& queue;
  std::map<std::string, flutter::BinaryMessageHandler> hostHandlers;
  InterfaceReceiver interfaceReceiver;
};

namespace {

// Wraps the sender's reply so that it is one-shot and arrives through the queue.
template <typename CoreType>
flutter::BinaryReply queuedReply(const std::shared_ptr<CoreType>& core, std::string channel,
                                 flutter::BinaryReply reply) {
  auto answered = std::make_shared<bool>(false);
  return [weak = std::weak_ptr<CoreType>(core), channel = std::move(channel), reply = std::move(reply),
          answered](const std::vector<uint8_t>& bytes) {
    if (*answered) {
      flutter::logEmbeddingProblem("channel \"" + channel + "\": a message was answered twice; ignored");
      return;
    }
    *answered = true;
    auto core = weak.lock();
    if (!core || !reply) return;
    core->queue.async([weak, reply, bytes] {
      if (weak.lock()) reply(bytes);
    });
  };
}

}  // namespace

InProcessMessenger::InProcessMessenger(dispatch::MainQueue& queue)
    : queue_(queue), core_(std::make_shared<Core>(queue)) {}

InProcessMessenger::~InProcessMessenger() = default;

void InProcessMessenger::send(const std::string& channel, Bytes message, flutter::BinaryReply reply) {
  assert(queue_.isMainThread());
  auto wrapped = queuedReply(core_, channel, std::move(reply));
  queue_.async([weak = std::weak_ptr<Core>(core_), channel, message = std::move(message), wrapped] {
    auto core = weak.lock();
    if (!core) return;
    // A copy: the receiver may replace itself while it runs.
    InterfaceReceiver receiver = core->interfaceReceiver;
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
    core_->hostHandlers[channel] = std::move(handler);
  } else {
    core_->hostHandlers.erase(channel);
  }
}

void InProcessMessenger::sendToHost(const std::string& channel, Bytes message, flutter::BinaryReply reply) {
  assert(queue_.isMainThread());
  auto wrapped = queuedReply(core_, channel, std::move(reply));
  queue_.async([weak = std::weak_ptr<Core>(core_), channel, message = std::move(message), wrapped] {
    auto core = weak.lock();
    if (!core) return;
    auto it = core->hostHandlers.find(channel);
    if (it == core->hostHandlers.end()) {
      wrapped({});
      return;
    }
    flutter::BinaryMessageHandler handler = it->second;
    handler(message, wrapped);
  });
}

void InProcessMessenger::setInterfaceReceiver(InterfaceReceiver receiver) {
  assert(queue_.isMainThread());
  core_->interfaceReceiver = std::move(receiver);
}

}  // namespace engine
