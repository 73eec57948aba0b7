#include "Runner/embedding/method_channel.h"

#include <gtest/gtest.h>

#include "Runner/embedding/standard_codec.h"
#include "Runner/embedding/testing/log_capture.h"
#include "Runner/embedding/testing/recording_messenger.h"

namespace flutter {
namespace {

using testing::EmbeddingLogCapture;
using testing::RecordingMessenger;

Bytes call(const std::string& method, EncodableValue arguments = {}) {
  return StandardMethodCodec::encodeMethodCall(FlutterMethodCall(method, std::move(arguments)));
}

FlutterReply replyOf(const RecordingMessenger::Answer& answer) {
  auto decoded = StandardMethodCodec::decodeReply(answer.bytes);
  EXPECT_TRUE(decoded.ok()) << decoded.error();
  return decoded.ok() ? decoded.value() : FlutterReply(FlutterMethodNotImplemented);
}

TEST(FlutterMethodChannelHandler, OutlivesTheChannelObjectAndAnswersThroughTheCodec) {
  RecordingMessenger messenger;
  std::vector<std::string> seen;
  {
    auto channel = FlutterMethodChannel::methodChannelWithName("launch_at_startup", messenger);
    channel.setMethodCallHandler([&](const FlutterMethodCall& call, FlutterResult result) {
      seen.push_back(call.method());
      if (call.method() == "launchAtStartupIsEnabled") {
        result(EncodableValue(Find(std::get<EncodableMap>(call.arguments()), "probe") != nullptr));
      } else {
        result(FlutterMethodNotImplemented);
      }
    });
  }
  auto known = messenger.deliver("launch_at_startup", call("launchAtStartupIsEnabled", EncodableMap{{"probe", 1}}));
  auto unknown = messenger.deliver("launch_at_startup", call("noSuchMethod", EncodableMap{}));
  EXPECT_EQ(seen, (std::vector<std::string>{"launchAtStartupIsEnabled", "noSuchMethod"}));
  ASSERT_EQ(known->count, 1);
  EXPECT_EQ(replyOf(*known), FlutterReply(EncodableValue(true)));
  ASSERT_EQ(unknown->count, 1);
  EXPECT_TRUE(unknown->bytes.empty()) << "not implemented crosses as an empty reply";
}

TEST(FlutterMethodChannelHandler, AnAnswerGivenLaterStillArrives) {
  RecordingMessenger messenger;
  std::optional<FlutterResult> pending;
  FlutterMethodChannel::methodChannelWithName("c", messenger)
      .setMethodCallHandler([&](const FlutterMethodCall&, FlutterResult result) { pending = result; });
  auto answer = messenger.deliver("c", call("requestPermissions"));
  EXPECT_EQ(answer->count, 0);
  (*pending)(EncodableValue(false));
  ASSERT_EQ(answer->count, 1);
  EXPECT_EQ(replyOf(*answer), FlutterReply(EncodableValue(false)));
}

TEST(FlutterMethodChannelHandler, UndecodableCallIsLoggedAnsweredEmptyAndNeverReachesTheHandler) {
  EmbeddingLogCapture log;
  RecordingMessenger messenger;
  int calls = 0;
  FlutterMethodChannel::methodChannelWithName("com.brovak.tessra/localNetworkPermission", messenger)
      .setMethodCallHandler([&](const FlutterMethodCall&, FlutterResult result) {
        ++calls;
        result(EncodableValue());
      });
  for (const Bytes& garbage : {Bytes{0xff}, Bytes{0x03, 1, 0, 0, 0, 0x00}, Bytes{}}) {
    auto answer = messenger.deliver("com.brovak.tessra/localNetworkPermission", garbage);
    EXPECT_EQ(answer->count, 1);
    EXPECT_TRUE(answer->bytes.empty());
  }
  EXPECT_EQ(calls, 0);
  ASSERT_EQ(log.lines.size(), 3u);
  EXPECT_TRUE(log.contains("channel \"com.brovak.tessra/localNetworkPermission\": undecodable method call"));
}

TEST(FlutterMethodChannelInvoke, SendsTheEncodedCallWithoutWaiting) {
  RecordingMessenger messenger;
  FlutterMethodChannel::methodChannelWithName("app.lifecycle.channel", messenger)
      .invokeMethod("onQuitAttempt", EncodableValue());
  ASSERT_EQ(messenger.sent.size(), 1u);
  EXPECT_EQ(messenger.sent[0].channel, "app.lifecycle.channel");
  EXPECT_FALSE(messenger.sent[0].reply) << "no answer asked for";
  auto decoded = StandardMethodCodec::decodeMethodCall(messenger.sent[0].message);
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded.value().method(), "onQuitAttempt");
  EXPECT_TRUE(decoded.value().arguments().IsNull());
}

TEST(FlutterMethodChannelInvoke, HandsTheDecodedAnswerOver) {
  RecordingMessenger messenger;
  auto channel = FlutterMethodChannel::methodChannelWithName("c", messenger);
  std::vector<FlutterReply> replies;
  for (int i = 0; i < 4; ++i) {
    channel.invokeMethod("m", EncodableValue(), [&](FlutterReply reply) { replies.push_back(std::move(reply)); });
  }
  EmbeddingLogCapture log;
  messenger.sent[0].reply(StandardMethodCodec::encodeSuccessEnvelope("ok"));
  messenger.sent[1].reply({});
  messenger.sent[2].reply(StandardMethodCodec::encodeErrorEnvelope(FlutterError{"e", "m", EncodableValue()}));
  messenger.sent[3].reply({7, 7});
  ASSERT_EQ(replies.size(), 4u);
  EXPECT_EQ(replies[0], FlutterReply(EncodableValue("ok")));
  EXPECT_EQ(replies[1], FlutterReply(FlutterMethodNotImplemented));
  EXPECT_EQ(std::get<FlutterError>(replies[2]).code, "e");
  EXPECT_EQ(std::get<FlutterError>(replies[3]).code, "undecodable-reply");
  EXPECT_TRUE(log.contains("undecodable reply to \"m\""));
}

}  // namespace
}  // namespace flutter
