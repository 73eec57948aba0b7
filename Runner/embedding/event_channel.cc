#include "Runner/embedding/event_channel.h"

#include <cstdint>

#include "Runner/embedding/embedding_log.h"
#include "Runner/embedding/standard_codec.h"

namespace flutter {
namespace {

// What one installed stream handler shares with the sinks it hands out. It is owned by the
// message handler on the messenger, so when that handler is replaced or the messenger goes
// away, sinks still held by the host find it gone and drop their events.
struct StreamState {
  std::string name;
  FlutterBinaryMessenger* messenger;
  std::shared_ptr<FlutterStreamHandler> handler;
  bool listening = false;
  // Bumped by every listen and cancel; a sink works only while it holds the current value.
  uint64_t generation = 0;
};

FlutterEventSink makeSink(const std::shared_ptr<StreamState>& state) {
  return [weak = std::weak_ptr<StreamState>(state), generation = state->generation](const EncodableValue& event) {
    auto state = weak.lock();
    if (!state || !state->listening || state->generation != generation) return;
    state->messenger->send(state->name, StandardMethodCodec::encodeSuccessEnvelope(event), {});
  };
}

Bytes answer(const std::optional<FlutterError>& error) {
  return error ? StandardMethodCodec::encodeErrorEnvelope(*error) : StandardMethodCodec::encodeSuccessEnvelope({});
}

// Takes its own reference: a handler may replace this channel's handler while it runs.
void handleMessage(std::shared_ptr<StreamState> shared, const std::vector<uint8_t>& message, const BinaryReply& reply) {
  StreamState& state = *shared;
  auto call = StandardMethodCodec::decodeMethodCall(message);
  if (!call) {
    logEmbeddingProblem("channel \"" + state.name + "\": undecodable stream call dropped (" + call.error() + ")");
    if (reply) reply({});
    return;
  }
  const std::string& method = call.value().method();
  Bytes result;
  if (method == "listen") {
    if (state.listening) {
      // A new listen replaces the old one: the handler hears the old one end first.
      ++state.generation;
      state.listening = false;
      if (auto error = state.handler->onCancelWithArguments(EncodableValue())) {
        logEmbeddingProblem("channel \"" + state.name + "\": cancelling the previous listen failed: " + error->message);
      }
    }
    ++state.generation;
    state.listening = true;
    auto error = state.handler->onListenWithArguments(call.value().arguments(), makeSink(shared));
    if (error) {
      // A refused listen leaves no stream behind; its sink must not reach the interface.
      ++state.generation;
      state.listening = false;
    }
    result = answer(error);
  } else if (method == "cancel") {
    if (!state.listening) {
      result = StandardMethodCodec::encodeErrorEnvelope(FlutterError{"error", "No active stream to cancel", {}});
    } else {
      ++state.generation;
      state.listening = false;
      result = answer(state.handler->onCancelWithArguments(call.value().arguments()));
    }
  }
  // Any other method gets the empty reply: not implemented.
  if (reply) reply(result);
}

}  // namespace

FlutterEventChannel FlutterEventChannel::eventChannelWithName(const std::string& name,
                                                              FlutterBinaryMessenger& messenger) {
  return FlutterEventChannel(name, messenger);
}

void FlutterEventChannel::setStreamHandler(std::shared_ptr<FlutterStreamHandler> handler) const {
  if (!handler) {
    messenger_->setMessageHandler(name_, {});
    return;
  }
  auto state = std::make_shared<StreamState>();
  state->name = name_;
  state->messenger = messenger_;
  state->handler = std::move(handler);
  messenger_->setMessageHandler(
      name_, [state](const std::vector<uint8_t>& message, BinaryReply reply) { handleMessage(state, message, reply); });
}

}  // namespace flutter
