#pragma once

#include <optional>
#include <string>

#include "Runner/embedding/method_result.h"

namespace built_in_interface {

// What a reply that carries no value says went wrong, in a short technical form that the
// panels show inside their own sentences; none for a value.
inline std::optional<std::string> replyProblem(const flutter::FlutterReply& reply) {
  if (std::holds_alternative<flutter::EncodableValue>(reply)) return std::nullopt;
  if (std::holds_alternative<flutter::FlutterMethodNotImplementedMarker>(reply)) return "not implemented";
  const auto& error = std::get<flutter::FlutterError>(reply);
  return error.message.empty() ? error.code : error.code + ": " + error.message;
}

}  // namespace built_in_interface
