// Feeds arbitrary text to the driver endpoint's request parser, one line as the server
// hands it over. A line is either refused with a reason or becomes a request whose
// arguments survive the trip back to JSON and into a value again; the answers the server
// would write for it must be producible whatever the bytes were.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "Runner/embedding/standard_codec.h"
#include "engine/driver/driver_protocol.h"
#include "engine/driver/json_value.h"

namespace {

[[noreturn]] void fail(const char* why) {
  std::fprintf(stderr, "%s\n", why);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  (void)engine::driver::jsonNestingDepth(line);
  auto parsed = engine::driver::parseDriverRequest(line);
  if (auto* bad = std::get_if<engine::driver::DriverBadRequest>(&parsed)) {
    if (bad->message.empty()) fail("a refusal without a reason");
    (void)engine::driver::driverBadRequestLine(*bad);
    return 0;
  }
  const auto& request = std::get<engine::driver::DriverRequest>(parsed);
  if (request.channel.empty()) fail("a request without a channel");
  if (request.op == engine::driver::DriverRequest::Op::kInvoke && request.method.empty())
    fail("an invoke without a method");

  // The value the host would see, sent back the way events and replies travel.
  const auto json = engine::driver::toJson(request.arguments);
  auto again = engine::driver::fromJson(json);
  if (!again) fail("arguments the parser accepted do not survive toJson and fromJson");
  if (flutter::StandardMessageCodec::encodeMessage(again.value()) !=
      flutter::StandardMessageCodec::encodeMessage(request.arguments)) {
    fail("arguments changed on their way back through JSON");
  }
  (void)engine::driver::driverReplyLine(request.id, flutter::FlutterReply(request.arguments));
  (void)engine::driver::driverEventLine(
      request.channel,
      engine::messaging::StreamEvent{engine::messaging::StreamEvent::Kind::kValue, request.arguments, {}});
  (void)engine::driver::driverCallLine(request.channel, flutter::FlutterMethodCall(request.method, request.arguments));
  return 0;
}
