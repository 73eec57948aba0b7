#pragma once

#include <functional>
#include <optional>

#include "Runner/embedding/encodable_value.h"
#include "Runner/embedding/flutter_error.h"

namespace flutter {

// Sends one event to the interface's listener. Main thread only. The host sends maps and
// null; a null event is an ordinary event, not the end of the stream.
using FlutterEventSink = std::function<void(const EncodableValue& event)>;

// The listen and cancel operations of an event channel. Both are called on the main
// thread with the listener's arguments and return an optional channel error.
class FlutterStreamHandler {
 public:
  virtual ~FlutterStreamHandler() = default;

  virtual std::optional<FlutterError> onListenWithArguments(const EncodableValue& arguments,
                                                            FlutterEventSink eventSink) = 0;
  virtual std::optional<FlutterError> onCancelWithArguments(const EncodableValue& arguments) = 0;
};

}  // namespace flutter
