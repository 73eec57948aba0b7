#pragma once

#include <string>

#include "Runner/embedding/encodable_value.h"

namespace flutter {

// A channel error: an error reply to a method call, or an error event. The host's own
// handlers never produce one; the embedding carries them for the interface's sake.
struct FlutterError {
  std::string code;
  std::string message;
  EncodableValue details;

  friend bool operator==(const FlutterError&, const FlutterError&) = default;
};

}  // namespace flutter
