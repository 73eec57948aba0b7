#include "engine/driver/driver_protocol.h"

#include <gtest/gtest.h>

namespace engine::driver {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using Json = nlohmann::json;

TEST(DriverProtocolRequests, WellFormedRequestsOfEachKind) {
  auto invoke = parseDriverRequest(
      R"({"id":1,"op":"invoke","channel":"launch_at_startup","method":"launchAtStartupSetEnabled","arguments":{"isEnabled":true}})");
  ASSERT_TRUE(std::holds_alternative<DriverRequest>(invoke));
  const auto& request = std::get<DriverRequest>(invoke);
  EXPECT_EQ(request.id, Json(1));
  EXPECT_EQ(request.op, DriverRequest::Op::kInvoke);
  EXPECT_EQ(request.channel, "launch_at_startup");
  EXPECT_EQ(request.method, "launchAtStartupSetEnabled");
  EXPECT_EQ(request.arguments, EncodableValue(EncodableMap{{"isEnabled", true}}));

  auto listen = parseDriverRequest(R"({"id":"a","op":"listen","channel":"scan"})");
  EXPECT_TRUE(std::holds_alternative<DriverRequest>(
      parseDriverRequest(R"({"id":1,"op":"listen","channel":")" + std::string(kMaxDriverNameLength, 'c') + R"("})")))
      << "a name of the longest length allowed";
  ASSERT_TRUE(std::holds_alternative<DriverRequest>(listen));
  EXPECT_EQ(std::get<DriverRequest>(listen).op, DriverRequest::Op::kListen);
  EXPECT_TRUE(std::get<DriverRequest>(listen).arguments.IsNull());
  auto cancel = parseDriverRequest(R"({"id":3,"op":"cancel","channel":"scan","arguments":null})");
  ASSERT_TRUE(std::holds_alternative<DriverRequest>(cancel));
  EXPECT_EQ(std::get<DriverRequest>(cancel).op, DriverRequest::Op::kCancel);
}

TEST(DriverProtocolRequests, BadLinesAreRefusedWithTheirIdWhenTheyHaveOne) {
  struct Case {
    std::string line;
    Json id;
  };
  const Case cases[] = {
      {"{not json", nullptr},
      {"", nullptr},
      {"[1,2]", nullptr},
      {R"({"op":"invoke","channel":"c","method":"m"})", nullptr},
      {R"({"id":1.5,"op":"invoke","channel":"c","method":"m"})", nullptr},
      {R"({"id":{"x":1},"op":"invoke","channel":"c","method":"m"})", nullptr},
      {R"({"id":7,"channel":"c","method":"m"})", 7},
      {R"({"id":7,"op":"explode","channel":"c"})", 7},
      {R"({"id":7,"op":")" + std::string(kMaxDriverLineLength / 2, 'x') + R"(","channel":"c"})", 7},
      {R"({"id":7,"op":"invoke","method":"m"})", 7},
      {R"({"id":7,"op":"invoke","channel":"","method":"m"})", 7},
      {R"({"id":7,"op":"invoke","channel":"c"})", 7},
      {R"({"id":7,"op":"invoke","channel":"c","method":5})", 7},
      {R"({"id":"x","op":"invoke","channel":"c","method":"m","arguments":{"$nope":1}})", "x"},
      {std::string(R"({"id":1,"op":"listen","channel":"c","arguments":)") + std::string(100000, '[') +
           std::string(100000, ']') + "}",
       nullptr},
      {std::string(kMaxDriverLineLength + 1, ' '), nullptr},
      // The parser alone would stop at the NUL and take the request before it.
      {std::string(R"({"id":8,"op":"listen","channel":"c"})") + '\0' + "tail", nullptr},
      {R"({"id":9,"op":"listen","channel":")" + std::string(kMaxDriverNameLength + 1, 'c') + R"("})", 9},
      {R"({"id":9,"op":"invoke","channel":"c","method":")" + std::string(kMaxDriverNameLength + 1, 'm') + R"("})", 9},
  };
  for (const auto& c : cases) {
    auto parsed = parseDriverRequest(c.line);
    ASSERT_TRUE(std::holds_alternative<DriverBadRequest>(parsed)) << c.line.substr(0, 80);
    const auto& bad = std::get<DriverBadRequest>(parsed);
    EXPECT_EQ(bad.id, c.id) << c.line.substr(0, 80);
    Json answer = Json::parse(driverBadRequestLine(bad));
    EXPECT_EQ(answer["error"]["code"], "bad-request");
    EXPECT_FALSE(answer["error"]["message"].get<std::string>().empty());
    EXPECT_LE(answer["error"]["message"].get<std::string>().size(), kMaxDriverMessageLength);
    EXPECT_EQ(answer.contains("id"), !c.id.is_null());
  }
}

TEST(DriverProtocolLines, ErrorEventsEndOfStreamAndStrayBytes) {
  messaging::StreamEvent error{messaging::StreamEvent::Kind::kError, {}, flutter::FlutterError{"e", "", 3}};
  messaging::StreamEvent end{messaging::StreamEvent::Kind::kEndOfStream, {}, {}};
  EXPECT_EQ(Json::parse(driverEventLine("s", error)),
            Json::parse(R"({"event":"s","error":{"code":"e","message":"","details":3}})"));
  EXPECT_EQ(Json::parse(driverEventLine("s", end)), Json::parse(R"({"event":"s","end":true})"));
  // A stray byte from the host must not break the line or the endpoint.
  std::string line = driverReplyLine(1, EncodableValue(std::string("bad \xff byte")));
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_FALSE(Json::parse(line, nullptr, false).is_discarded());
}

}  // namespace
}  // namespace engine::driver
