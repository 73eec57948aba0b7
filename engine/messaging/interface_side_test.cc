#include "platform/flutter_engine/interface_side.h"

#include <gtest/gtest.h>

#include "Runner/embedding/event_channel.h"
#include "Runner/embedding/method_channel.h"
#include "Runner/embedding/standard_codec.h"
#include "Runner/embedding/testing/log_capture.h"
#include "platform/dispatch/testing/fake_main_queue.h"
#include "platform/flutter_engine/stand_in_engine.h"

namespace engine {
namespace {

using dispatch::testing::FakeMainQueue;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::FlutterError;
using flutter::FlutterReply;

// The host's side of a scan-like stream: keeps the sink it is given.
class KeepingStreamHandler : public flutter::FlutterStreamHandler {
 public:
  std::optional<FlutterError> onListenWithArguments(const EncodableValue&, flutter::FlutterEventSink sink) override {
    this->sink = std::move(sink);
    return refuse;
  }
  std::optional<FlutterError> onCancelWithArguments(const EncodableValue&) override {
    ++cancels;
    return std::nullopt;
  }
  flutter::FlutterEventSink sink;
  std::optional<FlutterError> refuse;
  int cancels = 0;
};

class InterfaceSideTest : public ::testing::Test {
 protected:
  void SetUp() override { engine = std::make_unique<StandInEngine>(queue, StandInEngineOptions{}); }
  flutter::FlutterBinaryMessenger& host() { return engine->binaryMessenger(); }
  InterfaceSide& ui() { return engine->interfaceSide(); }

  std::vector<FlutterReply> replies;
  InterfaceSide::ReplyCallback keepReply() {
    return [this](const FlutterReply& reply) { replies.push_back(reply); };
  }
  std::vector<StreamEvent> events;
  InterfaceSide::EventCallback keepEvent() {
    return [this](const StreamEvent& event) { events.push_back(event); };
  }

  FakeMainQueue queue;
  std::unique_ptr<StandInEngine> engine;
};

TEST_F(InterfaceSideTest, ListenReceivesValuesErrorsAndTheEndOfTheStream) {
  auto handler = std::make_shared<KeepingStreamHandler>();
  flutter::FlutterEventChannel::eventChannelWithName("scan", host()).setStreamHandler(handler);
  ui().listen("scan", {}, keepEvent(), keepReply());
  queue.runUntilIdle();
  ASSERT_EQ(replies, (std::vector<FlutterReply>{EncodableValue()}));
  ASSERT_TRUE(handler->sink);

  handler->sink(EncodableMap{{"ip", "10.0.0.1"}, {"success", false}});
  handler->sink(EncodableValue());
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
  auto handler = std::make_shared<KeepingStreamHandler>();
  handler->refuse = FlutterError{"denied", "", EncodableValue()};
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
      .setStreamHandler(std::make_shared<KeepingStreamHandler>());
  ui().listen("scan", {}, keepEvent(), keepReply());
  queue.runUntilIdle();
  host().send("scan", {9, 9}, {});
  queue.runUntilIdle();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].error.code, "undecodable-event");
  EXPECT_TRUE(log.contains("\"scan\": undecodable event"));
}

}  // namespace
}  // namespace engine
