#pragma once

#include <functional>
#include <memory>
#include <variant>

#include "Runner/embedding/encodable_value.h"
#include "Runner/embedding/flutter_error.h"

namespace flutter {

// The marker reply for a method the handler does not know.
struct FlutterMethodNotImplementedMarker {
  friend bool operator==(FlutterMethodNotImplementedMarker, FlutterMethodNotImplementedMarker) { return true; }
};
inline constexpr FlutterMethodNotImplementedMarker FlutterMethodNotImplemented{};

// What a method-call handler answers: a value, the not-implemented marker, or an error.
using FlutterReply = std::variant<EncodableValue, FlutterMethodNotImplementedMarker, FlutterError>;

// The one-shot reply callback handed to a method-call handler. Copies share one answer:
// the first call delivers it; a second is a programming error (an assertion in debug
// builds; logged and ignored otherwise). A call dropped unanswered is logged. Must be
// invoked on the main thread.
class FlutterResult {
 public:
  using Deliver = std::function<void(FlutterReply)>;

  // `method` names the call in diagnostics.
  FlutterResult(std::string method, Deliver deliver);

  void operator()(FlutterReply reply) const;
  // A convenience for the common cases.
  void operator()(EncodableValue value) const { (*this)(FlutterReply(std::move(value))); }
  void operator()(FlutterMethodNotImplementedMarker) const { (*this)(FlutterReply(FlutterMethodNotImplemented)); }

  bool answered() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace flutter
