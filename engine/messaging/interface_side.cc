#include "engine/messaging/interface_side.h"

#include <cassert>
#include <optional>

#include "Runner/embedding/embedding_log.h"
#include "Runner/embedding/printable_name.h"
#include "Runner/embedding/standard_codec.h"

namespace engine::messaging {

using flutter::FlutterReply;
using flutter::StandardMethodCodec;

namespace {

FlutterReply decodeReplyOrError(const std::string& channel, const std::string& method,
                                const std::vector<uint8_t>& bytes) {
  auto decoded = StandardMethodCodec::decodeReply(bytes);
  if (decoded) return std::move(decoded).value();
  flutter::logEmbeddingProblem("channel \"" + flutter::printableName(channel) + "\": undecodable reply to \"" +
                               flutter::printableName(method) + "\" (" + decoded.error() + ")");
  return flutter::FlutterError{"undecodable-reply", decoded.error(), flutter::EncodableValue()};
}

}  // namespace

InterfaceSide::InterfaceSide(InProcessMessenger& messenger) : messenger_(messenger) {
  messenger_.setInterfaceReceiver([this, watch = lifetime_.watch()](const std::string& channel,
                                                                    const std::vector<uint8_t>& message,
                                                                    flutter::BinaryReply reply) {
    if (dispatch::Lifetime::alive(watch)) {
      receive(channel, message, std::move(reply));
    } else {
      reply({});
    }
  });
}

InterfaceSide::~InterfaceSide() { messenger_.setInterfaceReceiver({}); }

void InterfaceSide::invokeMethod(const std::string& channel, const std::string& method,
                                 const flutter::EncodableValue& arguments, ReplyCallback onReply) {
  auto bytes = StandardMethodCodec::encodeMethodCall(flutter::FlutterMethodCall(method, arguments));
  messenger_.sendToHost(
      channel, std::move(bytes),
      [watch = lifetime_.watch(), channel, method, onReply = std::move(onReply)](const std::vector<uint8_t>& reply) {
        if (!dispatch::Lifetime::alive(watch) || !onReply) return;
        onReply(decodeReplyOrError(channel, method, reply));
      });
}

void InterfaceSide::listen(const std::string& channel, const flutter::EncodableValue& arguments, EventCallback onEvent,
                           ReplyCallback onReply) {
  const uint64_t id = nextListenerId_++;
  ++unansweredListens_[channel];
  std::optional<Listener> replaced;
  if (auto it = listeners_.find(channel); it != listeners_.end()) replaced = std::move(it->second);
  listeners_[channel] = Listener{id, std::move(onEvent)};
  auto sweeps = sweeps_.find(channel);
  if (sweeps != sweeps_.end()) {
    ++sweeps->second.inFlight;
    // The host gives the new listen its sink whether or not the old one was cancelled.
    sweeps->second.cancelOwed = false;
  }
  invokeMethod(channel, "listen", arguments,
               [this, watch = lifetime_.watch(), channel, id, onReply = std::move(onReply)](const FlutterReply& reply) {
                 if (!dispatch::Lifetime::alive(watch)) return;
                 if (--unansweredListens_[channel] == 0) unansweredListens_.erase(channel);
                 if (std::holds_alternative<flutter::EncodableValue>(reply)) {
                   streamChannels_.insert(channel);
                 } else {
                   // A refused or unknown stream leaves nothing to route events for, and
                   // started no work.
                   stopListening(channel, id);
                   auto refused = sweeps_.find(channel);
                   if (refused != sweeps_.end() && refused->second.inFlight > 0) {
                     --refused->second.inFlight;
                     settleSweeps(channel);
                     notifyState();
                   }
                 }
                 if (onReply) onReply(reply);
               });
  if (sweeps != sweeps_.end()) notifyState();
  // Whoever listened before hears that its stream ended, rather than wait for ever.
  if (replaced && replaced->onEvent) replaced->onEvent(StreamEvent{StreamEvent::Kind::kEndOfStream, {}, {}});
}

void InterfaceSide::cancel(const std::string& channel, const flutter::EncodableValue& arguments,
                           ReplyCallback onReply) {
  listeners_.erase(channel);
  auto sweeps = sweeps_.find(channel);
  if (sweeps != sweeps_.end() && sweeps->second.inFlight > 0) {
    sweeps->second.cancelOwed = true;
    messenger_.queue().async([watch = lifetime_.watch(), onReply = std::move(onReply)] {
      if (dispatch::Lifetime::alive(watch) && onReply) onReply(flutter::EncodableValue());
    });
    return;
  }
  invokeMethod(channel, "cancel", arguments, std::move(onReply));
}

void InterfaceSide::declareSweepChannel(const std::string& channel) { sweeps_.try_emplace(channel); }

int InterfaceSide::sweepsInFlight(const std::string& channel) const {
  auto it = sweeps_.find(channel);
  return it == sweeps_.end() ? 0 : it->second.inFlight;
}

void InterfaceSide::noteSweepEvent(const std::string& channel, const StreamEvent& event) {
  auto it = sweeps_.find(channel);
  if (it == sweeps_.end()) return;
  Sweeps& sweeps = it->second;
  const int before = sweeps.inFlight;
  if (event.kind == StreamEvent::Kind::kEndOfStream) {
    // The host has closed the stream: nothing more comes, and there is nothing to cancel.
    sweeps.inFlight = 0;
    sweeps.cancelOwed = false;
  } else if (event.kind == StreamEvent::Kind::kValue && event.value.IsNull() && sweeps.inFlight > 0) {
    --sweeps.inFlight;
  }
  if (sweeps.inFlight == before) return;
  settleSweeps(channel);
  notifyState();
}

void InterfaceSide::settleSweeps(const std::string& channel) {
  Sweeps& sweeps = sweeps_.at(channel);
  if (sweeps.inFlight > 0 || !sweeps.cancelOwed) return;
  sweeps.cancelOwed = false;
  if (listeners_.count(channel) == 0) invokeMethod(channel, "cancel", flutter::EncodableValue(), {});
}

void InterfaceSide::notifyState() {
  if (!stateObserver_) return;
  std::function<void()> observer = stateObserver_;  // it may replace itself
  observer();
}

bool InterfaceSide::isListening(const std::string& channel) const { return listeners_.count(channel) != 0; }

void InterfaceSide::setMethodCallHandler(const std::string& channel, CallHandler handler) {
  if (handler) {
    handlers_[channel] = std::move(handler);
  } else {
    handlers_.erase(channel);
  }
}

void InterfaceSide::setCallInterceptor(CallInterceptor interceptor) {
  const bool wasTakenOver = takenOver();
  interceptor_ = std::move(interceptor);
  if (takenOver() != wasTakenOver) notifyState();
}

void InterfaceSide::stopListening(const std::string& channel, uint64_t listenerId) {
  auto it = listeners_.find(channel);
  if (it != listeners_.end() && it->second.id == listenerId) listeners_.erase(it);
}

void InterfaceSide::receive(const std::string& channel, const std::vector<uint8_t>& message,
                            flutter::BinaryReply reply) {
  auto sweeps = sweeps_.find(channel);
  if (listeners_.count(channel) != 0 || (sweeps != sweeps_.end() && sweeps->second.cancelOwed)) {
    deliverEvent(channel, message);
    reply({});
    return;
  }
  auto call = StandardMethodCodec::decodeMethodCall(message);
  if (!call) {
    reply({});
    if (streamChannels_.count(channel) != 0 || unansweredListens_.count(channel) != 0) return;  // a late event
    flutter::logEmbeddingProblem("channel \"" + flutter::printableName(channel) +
                                 "\": undecodable call from the host dropped (" + call.error() + ")");
    return;
  }
  flutter::FlutterResult result(call.value().method(),
                                [reply](FlutterReply answer) { reply(StandardMethodCodec::encodeReply(answer)); });
  if (interceptor_) {
    CallInterceptor interceptor = interceptor_;
    interceptor(channel, call.value(), std::move(result));
    return;
  }
  auto handler = handlers_.find(channel);
  if (handler == handlers_.end()) {
    result(flutter::FlutterMethodNotImplemented);
    return;
  }
  CallHandler copy = handler->second;
  copy(call.value(), std::move(result));
}

void InterfaceSide::deliverEvent(const std::string& channel, const std::vector<uint8_t>& message) {
  StreamEvent event;
  auto decoded = StandardMethodCodec::decodeReply(message);
  if (!decoded) {
    flutter::logEmbeddingProblem("channel \"" + flutter::printableName(channel) + "\": undecodable event (" +
                                 decoded.error() + ")");
    event.kind = StreamEvent::Kind::kError;
    event.error = flutter::FlutterError{"undecodable-event", decoded.error(), flutter::EncodableValue()};
  } else if (auto* value = std::get_if<flutter::EncodableValue>(&decoded.value())) {
    event.value = *value;
  } else if (auto* error = std::get_if<flutter::FlutterError>(&decoded.value())) {
    event.kind = StreamEvent::Kind::kError;
    event.error = *error;
  } else {
    event.kind = StreamEvent::Kind::kEndOfStream;
  }
  noteSweepEvent(channel, event);
  auto it = listeners_.find(channel);
  if (it == listeners_.end()) return;  // the work of a cancelled listen, counted above
  Listener listener = it->second;
  if (event.kind == StreamEvent::Kind::kEndOfStream) stopListening(channel, listener.id);
  if (listener.onEvent) listener.onEvent(event);
}

}  // namespace engine::messaging
