#pragma once

#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "Runner/embedding/encodable_value.h"
#include "Runner/embedding/method_call.h"
#include "Runner/embedding/method_result.h"
#include "engine/messaging/interface_side.h"

namespace engine::driver {

// The driver endpoint's line protocol: one JSON object per line each way. Values use the
// mapping of json_value.h. Requests carry an "id" (an integer or a string) that the answer
// repeats:
//   {"id":1,"op":"invoke","channel":C,"method":M,"arguments":V}
//       -> {"id":1,"reply":V} | {"id":1,"notImplemented":true}
//        | {"id":1,"error":{"code":..,"message":..,"details":..}}
//   {"id":2,"op":"listen","channel":C,"arguments":V}, {"id":3,"op":"cancel","channel":C}
//       -> {"id":N,"reply":null} or an error as above
// Unsolicited lines (no "id"):
//   {"event":C,"value":V}                                   an event
//   {"event":C,"error":{"code":..,"message":..,"details":..}} an error event
//   {"event":C,"end":true}                                  the end of the stream
//   {"call":C,"method":M,"arguments":V}                     a host-to-interface call
//   {"error":{"code":"bad-request","message":..}}           a line that could not be used
//                                                           (with "id" when it had one)
//   {"error":{"code":"busy","message":..}}                  another driver is attached
//   {"error":{"code":"forbidden","message":..}}             the peer is another user

struct DriverRequest {
  enum class Op { kInvoke, kListen, kCancel };
  nlohmann::json id;
  Op op = Op::kInvoke;
  std::string channel;
  std::string method;  // kInvoke only
  flutter::EncodableValue arguments;
};

struct DriverBadRequest {
  nlohmann::json id;  // null when the line had no usable id
  std::string message;
};

// Lines longer than this are refused without being parsed.
inline constexpr size_t kMaxDriverLineLength = 1 << 20;
// Channel and method names longer than this are refused: the engine keeps names (of
// listens, in its routing tables), so a client must not be able to make them large. The
// longest name the application uses is about 40 bytes.
inline constexpr size_t kMaxDriverNameLength = 256;
// A refusal's message is cut to this, so that quoting a client's text back cannot make an
// answer larger than a few hundred bytes.
inline constexpr size_t kMaxDriverMessageLength = 200;

std::variant<DriverRequest, DriverBadRequest> parseDriverRequest(std::string_view line);

// Each returns one line without its newline.
std::string driverReplyLine(const nlohmann::json& id, const flutter::FlutterReply& reply);
std::string driverBadRequestLine(const DriverBadRequest& bad);
std::string driverBusyLine();
std::string driverForbiddenLine();
std::string driverEventLine(const std::string& channel, const messaging::StreamEvent& event);
std::string driverCallLine(const std::string& channel, const flutter::FlutterMethodCall& call);

}  // namespace engine::driver
