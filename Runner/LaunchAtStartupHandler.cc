#include "Runner/LaunchAtStartupHandler.h"

#include <optional>
#include <string>
#include <variant>

#include "LaunchAtLogin/launch_at_login.h"
#include "Runner/channels/channels.h"

namespace {

// The boolean the caller asked for, or nothing when the arguments are not a map with string
// keys holding a boolean under "setEnabledValue".
std::optional<bool> requestedValue(const flutter::EncodableValue& arguments) {
  const auto* map = std::get_if<flutter::EncodableMap>(&arguments);
  if (map == nullptr) return std::nullopt;
  for (const auto& [key, unused] : *map) {
    if (!std::holds_alternative<std::string>(key)) return std::nullopt;
  }
  const auto* value = flutter::Find(*map, channels::kLaunchAtStartup.setEnabledValueKey);
  if (value == nullptr) return std::nullopt;
  const auto* flag = std::get_if<bool>(value);
  if (flag == nullptr) return std::nullopt;
  return *flag;
}

}  // namespace

void handleLaunchAtStartupCall(const flutter::FlutterMethodCall& call, flutter::FlutterResult result) {
  const std::string& method = call.method();
  if (method == channels::kLaunchAtStartup.isEnabledMethod) {
    result(flutter::EncodableValue(LaunchAtLogin::isEnabled()));
  } else if (method == channels::kLaunchAtStartup.setEnabledMethod) {
    // Whatever the outcome, the answer is null: the interface reads the state back to learn it.
    if (auto value = requestedValue(call.arguments())) LaunchAtLogin::setIsEnabled(*value);
    result(flutter::EncodableValue());
  } else {
    result(flutter::FlutterMethodNotImplemented);
  }
}
