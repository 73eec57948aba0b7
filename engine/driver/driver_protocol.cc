#include "engine/driver/driver_protocol.h"

#include "engine/driver/json_value.h"

namespace engine::driver {
namespace {

using Json = nlohmann::json;

// Strings from the host are UTF-8 by contract, but a stray byte must not take the
// endpoint down: dump() would throw on it, so it is replaced instead.
std::string dumpLine(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

DriverBadRequest bad(Json id, std::string message) { return DriverBadRequest{std::move(id), std::move(message)}; }

std::optional<std::string> stringField(const Json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

// Why a channel or method name cannot be used, or nothing when it can.
std::optional<std::string> badName(const std::optional<std::string>& name, const char* key) {
  if (!name || name->empty()) return std::string("missing \"") + key + "\"";
  if (name->size() > kMaxDriverNameLength) {
    return std::string("\"") + key + "\" longer than " + std::to_string(kMaxDriverNameLength) + " bytes";
  }
  return std::nullopt;
}

}  // namespace

std::variant<DriverRequest, DriverBadRequest> parseDriverRequest(std::string_view line) {
  if (line.size() > kMaxDriverLineLength)
    return bad(nullptr, "line longer than " + std::to_string(kMaxDriverLineLength) + " bytes");
  // The parser would take a NUL byte for the end of the text and accept what came before.
  if (line.find('\0') != std::string_view::npos) return bad(nullptr, "NUL byte in the line");
  if (jsonNestingDepth(line) > flutter::StandardMessageCodec::kMaxNestingDepth + 2) {
    return bad(nullptr, "nesting too deep");
  }
  Json json = Json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return bad(nullptr, "not a JSON text");
  if (!json.is_object()) return bad(nullptr, "not a JSON object");

  Json id = nullptr;
  if (auto it = json.find("id"); it != json.end()) {
    if (!it->is_number_integer() && !it->is_string()) return bad(nullptr, "\"id\" must be an integer or a string");
    id = *it;
  } else {
    return bad(nullptr, "missing \"id\"");
  }

  DriverRequest request;
  request.id = id;
  auto op = stringField(json, "op");
  if (!op) return bad(id, "missing \"op\"");
  if (*op == "invoke") {
    request.op = DriverRequest::Op::kInvoke;
  } else if (*op == "listen") {
    request.op = DriverRequest::Op::kListen;
  } else if (*op == "cancel") {
    request.op = DriverRequest::Op::kCancel;
  } else {
    return bad(id, "unknown op \"" + *op + "\"");
  }
  auto channel = stringField(json, "channel");
  if (auto why = badName(channel, "channel")) return bad(id, *why);
  request.channel = std::move(*channel);
  if (request.op == DriverRequest::Op::kInvoke) {
    auto method = stringField(json, "method");
    if (auto why = badName(method, "method")) return bad(id, *why);
    request.method = std::move(*method);
  }
  if (auto it = json.find("arguments"); it != json.end()) {
    auto arguments = fromJson(*it);
    if (!arguments) return bad(id, "arguments: " + arguments.error());
    request.arguments = std::move(arguments).value();
  }
  return request;
}

std::string driverReplyLine(const Json& id, const flutter::FlutterReply& reply) {
  Json line{{"id", id}};
  if (const auto* value = std::get_if<flutter::EncodableValue>(&reply)) {
    line["reply"] = toJson(*value);
  } else if (const auto* error = std::get_if<flutter::FlutterError>(&reply)) {
    line["error"] = toJson(*error);
  } else {
    line["notImplemented"] = true;
  }
  return dumpLine(line);
}

std::string driverBadRequestLine(const DriverBadRequest& bad) {
  std::string message = bad.message;
  if (message.size() > kMaxDriverMessageLength) {
    message.resize(kMaxDriverMessageLength - 3);
    message += "...";
  }
  Json line{{"error", {{"code", "bad-request"}, {"message", message}}}};
  if (!bad.id.is_null()) line["id"] = bad.id;
  return dumpLine(line);
}

std::string driverBusyLine() {
  return dumpLine(Json{{"error", {{"code", "busy"}, {"message", "another driver is attached"}}}});
}

std::string driverForbiddenLine() {
  return dumpLine(
      Json{{"error", {{"code", "forbidden"}, {"message", "only the application's own user may drive it"}}}});
}

std::string driverEventLine(const std::string& channel, const messaging::StreamEvent& event) {
  Json line{{"event", channel}};
  switch (event.kind) {
    case messaging::StreamEvent::Kind::kValue:
      line["value"] = toJson(event.value);
      break;
    case messaging::StreamEvent::Kind::kError:
      line["error"] = toJson(event.error);
      break;
    case messaging::StreamEvent::Kind::kEndOfStream:
      line["end"] = true;
      break;
  }
  return dumpLine(line);
}

std::string driverCallLine(const std::string& channel, const flutter::FlutterMethodCall& call) {
  return dumpLine(Json{{"call", channel}, {"method", call.method()}, {"arguments", toJson(call.arguments())}});
}

}  // namespace engine::driver
