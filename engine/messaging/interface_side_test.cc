#include "engine/messaging/interface_side.h"

#include <gtest/gtest.h>

#include "Runner/embedding/event_channel.h"
#include "Runner/embedding/method_channel.h"
#include "Runner/embedding/standard_codec.h"
#include "Runner/embedding/testing/log_capture.h"
#include "Runner/embedding/testing/recording_stream_handler.h"
#include "platform/dispatch/testing/fake_main_queue.h"

namespace engine::messaging {
namespace {

using dispatch::testing::FakeMainQueue;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::FlutterError;
using flutter::FlutterReply;
using flutter::testing::RecordingStreamHandler;

class InterfaceSideTest : public ::testing::Test {
 protected:
  flutter::FlutterBinaryMessenger& host() { return messenger; }
  InterfaceSide& ui() { return side; }

  std::vector<FlutterReply> replies;
  InterfaceSide::ReplyCallback keepReply() {
    return [this](const FlutterReply& reply) { replies.push_back(reply); };
  }
  std::vector<StreamEvent> events;
  InterfaceSide::EventCallback keepEvent() {
    return [this](const StreamEvent& event) { events.push_back(event); };
  }

  FakeMainQueue queue;
  InProcessMessenger messenger{queue};
  InterfaceSide side{messenger};
};

TEST_F(InterfaceSideTest, ListenReceivesValuesErrorsAndTheEndOfTheStream) {
  auto handler = std::make_shared<RecordingStreamHandler>();
  flutter::FlutterEventChannel::eventChannelWithName("scan", host()).setStreamHandler(handler);
  ui().listen("scan", {}, keepEvent(), keepReply());
  queue.runUntilIdle();
  ASSERT_EQ(replies, (std::vector<FlutterReply>{EncodableValue()}));
  ASSERT_EQ(handler->sinks.size(), 1u);

  handler->sinks[0](EncodableMap{{"ip", "10.0.0.1"}, {"success", false}});
  handler->sinks[0](EncodableValue());
  host().send("scan", flutter::StandardMethodCodec::encodeErrorEnvelope(FlutterError{"e", "m", 1}), {});
  host().send("scan", {}, {});
  host().send("scan", flutter::StandardMethodCodec::encodeSuccessEnvelope("after the end"), {});
  queue.runUntilIdle();

  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].value, EncodableValue(EncodableMap{{"ip", "10.0.0.1"}, {"success", false}}));
  EXPECT_EQ(events[1].kind, StreamEvent::Kind::kValue);
  EXPECT_TRUE(events[1].value.IsNull()) << "null is an ordinary event";
  EXPECT_EQ(events[2].kind, StreamEvent::Kind::kError);
  EXPECT_EQ(events[2].error, (FlutterError{"e", "m", 1}));
  EXPECT_EQ(events[3].kind, StreamEvent::Kind::kEndOfStream);
  EXPECT_FALSE(ui().isListening("scan"));
}

TEST_F(InterfaceSideTest, ARefusedOrUnknownListenLeavesNothingListening) {
  auto handler = std::make_shared<RecordingStreamHandler>();
  handler->listenError = FlutterError{"denied", "", EncodableValue()};
  flutter::FlutterEventChannel::eventChannelWithName("scan", host()).setStreamHandler(handler);
  ui().listen("scan", {}, keepEvent(), keepReply());
  ui().listen("nothing-here", {}, keepEvent(), keepReply());
  // Back to back, as within one read of a driver: both refused, neither leaves its name.
  ui().listen("nothing-here", {}, keepEvent(), keepReply());
  queue.runUntilIdle();
  EXPECT_EQ(replies,
            (std::vector<FlutterReply>{FlutterError{"denied", "", EncodableValue()},
                                       flutter::FlutterMethodNotImplemented, flutter::FlutterMethodNotImplemented}));
  EXPECT_FALSE(ui().isListening("scan"));
  EXPECT_FALSE(ui().isListening("nothing-here"));

  // Nor are their names kept (a driver could grow them without end): a stray message on
  // such a channel is no late event of a stream but a broken call, as on any channel.
  flutter::testing::EmbeddingLogCapture log;
  host().send("scan", {9, 9}, {});
  host().send("nothing-here", {9, 9}, {});
  queue.runUntilIdle();
  EXPECT_TRUE(log.contains("\"scan\": undecodable call"));
  EXPECT_TRUE(log.contains("\"nothing-here\": undecodable call"));
}

TEST_F(InterfaceSideTest, UndecodableEventsArriveAsErrorEvents) {
  flutter::testing::EmbeddingLogCapture log;
  flutter::FlutterEventChannel::eventChannelWithName("scan", host())
      .setStreamHandler(std::make_shared<RecordingStreamHandler>());
  ui().listen("scan", {}, keepEvent(), keepReply());
  queue.runUntilIdle();
  host().send("scan", {9, 9}, {});
  queue.runUntilIdle();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].error.code, "undecodable-event");
  EXPECT_TRUE(log.contains("\"scan\": undecodable event"));
}

}  // namespace
}  // namespace engine::messaging
