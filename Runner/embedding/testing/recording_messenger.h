#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Runner/embedding/binary_messenger.h"

namespace flutter::testing {

// A messenger for unit tests: everything runs synchronously on the calling thread. It keeps
// what the host sent and lets a test play the interface by delivering bytes to the host's
// handlers and looking at the replies.
class RecordingMessenger : public FlutterBinaryMessenger {
 public:
  struct Sent {
    std::string channel;
    std::vector<uint8_t> message;
    BinaryReply reply;  // empty when the host wanted no answer
  };

  // What a handler answered, shared so that a late answer still lands here.
  struct Answer {
    int count = 0;
    std::vector<uint8_t> bytes;
  };

  void send(const std::string& channel, std::vector<uint8_t> message, BinaryReply reply) override {
    sent.push_back({channel, std::move(message), std::move(reply)});
  }
  void setMessageHandler(const std::string& channel, BinaryMessageHandler handler) override {
    if (handler) {
      handlers_[channel] = std::move(handler);
    } else {
      handlers_.erase(channel);
    }
  }

  bool hasHandler(const std::string& channel) const { return handlers_.count(channel) != 0; }

  // Plays the interface: hands `message` to the host's handler for `channel`. With no
  // handler the answer is the empty reply at once, as the engine gives.
  std::shared_ptr<Answer> deliver(const std::string& channel, const std::vector<uint8_t>& message) {
    auto answer = std::make_shared<Answer>();
    auto it = handlers_.find(channel);
    if (it == handlers_.end()) {
      answer->count = 1;
      return answer;
    }
    BinaryMessageHandler handler = it->second;  // may replace itself while running
    handler(message, [answer](const std::vector<uint8_t>& reply) {
      ++answer->count;
      answer->bytes = reply;
    });
    return answer;
  }

  std::vector<Sent> sent;

 private:
  std::map<std::string, BinaryMessageHandler> handlers_;
};

}  // namespace flutter::testing
