#include "Runner/embedding/event_channel.h"

#include <gtest/gtest.h>

#include "Runner/embedding/standard_codec.h"
#include "Runner/embedding/testing/log_capture.h"
#include "Runner/embedding/testing/recording_messenger.h"
#include "Runner/embedding/testing/recording_stream_handler.h"

namespace flutter {
namespace {

using testing::EmbeddingLogCapture;
using testing::RecordingMessenger;
using testing::RecordingStreamHandler;

constexpr const char* kChannel = "com.brovak.tessra/scanForPingableDevices";

class EventChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The channel object is gone at once; the handler stays on the messenger.
    FlutterEventChannel::eventChannelWithName(kChannel, *messenger).setStreamHandler(handler);
  }

  std::shared_ptr<RecordingMessenger::Answer> send(const std::string& method, EncodableValue arguments = {}) {
    return messenger->deliver(kChannel, StandardMethodCodec::encodeMethodCall(FlutterMethodCall(method, arguments)));
  }

  // Events the host sent, decoded.
  std::vector<FlutterReply> events() const {
    std::vector<FlutterReply> decoded;
    for (const auto& sent : messenger->sent) {
      EXPECT_EQ(sent.channel, kChannel);
      auto event = StandardMethodCodec::decodeReply(sent.message);
      EXPECT_TRUE(event.ok()) << event.error();
      if (event.ok()) decoded.push_back(event.value());
    }
    return decoded;
  }

  std::unique_ptr<RecordingMessenger> messenger = std::make_unique<RecordingMessenger>();
  std::shared_ptr<RecordingStreamHandler> handler = std::make_shared<RecordingStreamHandler>();
};

const Bytes kSuccessNull{0x00, 0x00};

TEST_F(EventChannelTest, ListenEventsAndCancel) {
  auto listened = send("listen", EncodableMap{{"from", "test"}});
  EXPECT_EQ(listened->bytes, kSuccessNull);
  ASSERT_EQ(handler->sinks.size(), 1u);
  EXPECT_EQ(handler->listenArguments[0], EncodableValue(EncodableMap{{"from", "test"}}));

  EncodableMap result{{"ip", "192.168.1.1"}, {"success", true}};
  handler->sinks[0](result);
  handler->sinks[0](EncodableValue());  // a null event is an ordinary event
  EXPECT_EQ(events(), (std::vector<FlutterReply>{EncodableValue(result), EncodableValue()}));

  auto cancelled = send("cancel");
  EXPECT_EQ(cancelled->bytes, kSuccessNull);
  handler->sinks[0](result);
  EXPECT_EQ(messenger->sent.size(), 2u) << "the sink of a cancelled listen drops events";
  EXPECT_EQ(handler->calls, (std::vector<std::string>{"listen", "cancel"}));
}

TEST_F(EventChannelTest, ASecondListenEndsTheFirstAndOnlyTheNewSinkWorks) {
  send("listen");
  auto again = send("listen");
  EXPECT_EQ(again->bytes, kSuccessNull);
  EXPECT_EQ(handler->calls, (std::vector<std::string>{"listen", "cancel", "listen"}));
  handler->sinks[0]("old");
  handler->sinks[1]("new");
  EXPECT_EQ(events(), (std::vector<FlutterReply>{EncodableValue("new")}));
}

TEST_F(EventChannelTest, CancelWithoutListenIsAnErrorAndDoesNotReachTheHandler) {
  auto answer = send("cancel");
  auto reply = StandardMethodCodec::decodeReply(answer->bytes);
  ASSERT_TRUE(reply.ok());
  ASSERT_TRUE(std::holds_alternative<FlutterError>(reply.value()));
  EXPECT_EQ(std::get<FlutterError>(reply.value()).code, "error");
  EXPECT_TRUE(handler->calls.empty());
}

TEST_F(EventChannelTest, ARefusedListenAnswersTheErrorAndLeavesNoStream) {
  handler->listenError = FlutterError{"denied", "no", EncodableValue()};
  auto answer = send("listen");
  auto reply = StandardMethodCodec::decodeReply(answer->bytes);
  ASSERT_TRUE(reply.ok());
  EXPECT_EQ(reply.value(), FlutterReply(FlutterError{"denied", "no", EncodableValue()}));
  handler->sinks[0]("late");
  EXPECT_TRUE(messenger->sent.empty());
  // Nothing is listening, so a cancel is refused too.
  auto cancel = StandardMethodCodec::decodeReply(send("cancel")->bytes);
  EXPECT_TRUE(std::holds_alternative<FlutterError>(cancel.value()));
}

TEST_F(EventChannelTest, UndecodableAndUnknownCallsAreAnsweredEmpty) {
  EmbeddingLogCapture log;
  auto garbage = messenger->deliver(kChannel, {0x07, 0x09, 'l'});
  EXPECT_EQ(garbage->count, 1);
  EXPECT_TRUE(garbage->bytes.empty());
  EXPECT_TRUE(log.contains(kChannel));
  auto unknown = send("pause");
  EXPECT_EQ(unknown->count, 1);
  EXPECT_TRUE(unknown->bytes.empty());
  EXPECT_TRUE(handler->calls.empty());
}

TEST_F(EventChannelTest, SinksKeptByTheHostAreHarmlessOnceTheHandlerOrMessengerIsGone) {
  send("listen");
  FlutterEventChannel::eventChannelWithName(kChannel, *messenger).setStreamHandler(nullptr);
  EXPECT_FALSE(messenger->hasHandler(kChannel));
  handler->sinks[0]("after removal");
  EXPECT_TRUE(messenger->sent.empty());

  FlutterEventChannel::eventChannelWithName(kChannel, *messenger).setStreamHandler(handler);
  send("listen");
  messenger.reset();
  handler->sinks[1]("after the engine went away");  // must not touch the dead messenger
}

}  // namespace
}  // namespace flutter
