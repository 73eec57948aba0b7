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
#include "engine/messaging/in_process_messenger.h"
#include "platform/dispatch/lifetime.h"

namespace engine::messaging {

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
// One interface at a time: while a call interceptor is installed, another interface (the
// driver) has taken over, and the engine's own program starts nothing.
//
// Sweep channels (declareSweepChannel) are event channels on which every accepted listen
// starts work in the host that ends with one null event, whoever listens by then (the scan
// channel). The interface side counts that work as in flight until its null, so that the
// interfaces can bound it; for that it has to see every null: a cancel while work is in
// flight stops routing at once and is answered at once, but reaches the host only once the
// last null has come (the host would otherwise drop those nulls unseen).
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
  // the end of the stream, a refused listen, or another listen on the same channel (the
  // listener it replaces gets an end of stream).
  void listen(const std::string& channel, const flutter::EncodableValue& arguments, EventCallback onEvent,
              ReplyCallback onReply);
  // Stops routing events at once and sends "cancel" (on a sweep channel with work in flight:
  // answers null at once, and sends "cancel" after the last null).
  void cancel(const std::string& channel, const flutter::EncodableValue& arguments, ReplyCallback onReply);
  bool isListening(const std::string& channel) const;

  void declareSweepChannel(const std::string& channel);
  bool isSweepChannel(const std::string& channel) const { return sweeps_.count(channel) != 0; }
  // Listens on a sweep channel whose null has not come yet (refused ones not counted); 0 on
  // any other channel.
  int sweepsInFlight(const std::string& channel) const;

  // Answers the host's calls on `channel` (an empty handler removes it).
  void setMethodCallHandler(const std::string& channel, CallHandler handler);
  // While installed, takes every host call on every channel (an empty one removes it), and
  // another interface has taken over.
  void setCallInterceptor(CallInterceptor interceptor);
  bool takenOver() const { return static_cast<bool>(interceptor_); }
  // Called whenever takenOver() or a sweepsInFlight() changes (one observer; empty removes it).
  void setStateObserver(std::function<void()> observer) { stateObserver_ = std::move(observer); }

 private:
  struct Listener {
    uint64_t id;
    EventCallback onEvent;
  };

  void receive(const std::string& channel, const std::vector<uint8_t>& message, flutter::BinaryReply reply);
  void deliverEvent(const std::string& channel, const std::vector<uint8_t>& message);
  void stopListening(const std::string& channel, uint64_t listenerId);
  // Keeps count of a sweep channel's work from one of its events, and sends the cancel that
  // waited for the last null.
  void noteSweepEvent(const std::string& channel, const StreamEvent& event);
  void settleSweeps(const std::string& channel);
  void notifyState();

  struct Sweeps {
    int inFlight = 0;
    bool cancelOwed = false;  // cancelled while work was in flight; "cancel" not sent yet
  };

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
  std::map<std::string, Sweeps> sweeps_;
  std::function<void()> stateObserver_;
  uint64_t nextListenerId_ = 1;
  // Lets queued callbacks find out that this object is gone.
  dispatch::Lifetime lifetime_;
};

}  // namespace engine::messaging
