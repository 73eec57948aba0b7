#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "Runner/embedding/encodable_value.h"
#include "Runner/embedding/flutter_error.h"
#include "Runner/embedding/method_call.h"
#include "Runner/embedding/method_result.h"
#include "platform/dispatch/lifetime.h"
#include "platform/flutter_engine/in_process_messenger.h"

namespace engine {

// One event as the interface receives it on a channel it listens to.
struct StreamEvent {
  enum class Kind { kValue, kError, kEndOfStream };
  Kind kind = Kind::kValue;
  flutter::EncodableValue value;  // kValue
  flutter::FlutterError error;    // kError

  friend bool operator==(const StreamEvent&, const StreamEvent&) = default;
};

// The interface's view of every channel, for the built-in interface, the driver endpoint
// and tests: call the host's methods, listen to its event channels, and answer the calls
// the host makes. Everything is encoded with the standard method codec and crosses the
// in-process messenger, so callbacks arrive later, through the main queue.
//
// A host message on a channel with an active listen is an event; any other is a method
// call. Calls go to the call interceptor while one is installed (the driver), otherwise to
// the channel's handler, otherwise they are answered "not implemented".
//
// Main thread only. Callbacks are not called after the InterfaceSide is destroyed.
class InterfaceSide {
 public:
  using ReplyCallback = std::function<void(const flutter::FlutterReply& reply)>;
  using EventCallback = std::function<void(const StreamEvent& event)>;
  using CallHandler = std::function<void(const flutter::FlutterMethodCall& call, flutter::FlutterResult result)>;
  using CallInterceptor = std::function<void(const std::string& channel, const flutter::FlutterMethodCall& call,
                                             flutter::FlutterResult result)>;

  explicit InterfaceSide(InProcessMessenger& messenger);
  ~InterfaceSide();
  InterfaceSide(const InterfaceSide&) = delete;
  InterfaceSide& operator=(const InterfaceSide&) = delete;

  // Calls `method` on the host's channel; `onReply` (may be empty) gets the value, the
  // not-implemented marker or the error. An undecodable reply arrives as an error with
  // code "undecodable-reply".
  void invokeMethod(const std::string& channel, const std::string& method, const flutter::EncodableValue& arguments,
                    ReplyCallback onReply);

  // Sends "listen" and routes the channel's events to `onEvent` from now on, until cancel(),
  // the end of the stream, a refused listen, or another listen on the same channel.
  void listen(const std::string& channel, const flutter::EncodableValue& arguments, EventCallback onEvent,
              ReplyCallback onReply);
  // Stops routing events at once and sends "cancel".
  void cancel(const std::string& channel, const flutter::EncodableValue& arguments, ReplyCallback onReply);
  bool isListening(const std::string& channel) const;

  // Answers the host's calls on `channel` (an empty handler removes it).
  void setMethodCallHandler(const std::string& channel, CallHandler handler);
  // While installed, takes every host call on every channel (an empty one removes it).
  void setCallInterceptor(CallInterceptor interceptor);

 private:
  struct Listener {
    uint64_t id;
    EventCallback onEvent;
  };

  void receive(const std::string& channel, const std::vector<uint8_t>& message, flutter::BinaryReply reply);
  void deliverEvent(const std::string& channel, const std::vector<uint8_t>& message);
  void stopListening(const std::string& channel, uint64_t listenerId);

  InProcessMessenger& messenger_;
  std::map<std::string, Listener> listeners_;
  std::map<std::string, CallHandler> handlers_;
  // Channels with an accepted listen at some point, and channels with listens not yet
  // answered (how many): events still on their way after a cancel land there and are
  // dropped quietly rather than taken for broken calls. A refused listen leaves no name
  // behind, however many listens on the name were under way at once.
  std::set<std::string> streamChannels_;
  std::map<std::string, int> unansweredListens_;
  CallInterceptor interceptor_;
  uint64_t nextListenerId_ = 1;
  // Lets queued callbacks find out that this object is gone.
  dispatch::Lifetime lifetime_;
};

}  // namespace engine
