#pragma once

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Runner/embedding/stream_handler.h"

namespace flutter::testing {

// The host's side of an event channel, for tests: records each listen and cancel in order
// and keeps every sink it is given, so that a test can send events as the host would.
// Refuses listens while listenError is set. Called wherever the channel delivers (the main
// thread).
class RecordingStreamHandler : public FlutterStreamHandler {
 public:
  std::optional<FlutterError> onListenWithArguments(const EncodableValue& arguments, FlutterEventSink sink) override {
    calls.push_back("listen");
    listenArguments.push_back(arguments);
    sinks.push_back(std::move(sink));
    if (onListen) onListen();
    return listenError;
  }
  std::optional<FlutterError> onCancelWithArguments(const EncodableValue&) override {
    calls.push_back("cancel");
    return std::nullopt;
  }

  long cancels() const { return std::count(calls.begin(), calls.end(), "cancel"); }

  std::vector<std::string> calls;  // "listen" and "cancel", in order
  std::vector<EncodableValue> listenArguments;
  std::vector<FlutterEventSink> sinks;  // one per listen, refused ones included
  std::optional<FlutterError> listenError;
  std::function<void()> onListen;  // runs at each listen, after it is recorded
};

}  // namespace flutter::testing
