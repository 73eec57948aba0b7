#include "engine/messaging/in_process_messenger.h"

#include <gtest/gtest.h>

#include "Runner/embedding/testing/log_capture.h"
#include "platform/dispatch/testing/fake_main_queue.h"

namespace engine::messaging {
namespace {

using Bytes = std::vector<uint8_t>;
using dispatch::testing::FakeMainQueue;

class InProcessMessengerTest : public ::testing::Test {
 protected:
  FakeMainQueue queue;
  std::unique_ptr<InProcessMessenger> messenger = std::make_unique<InProcessMessenger>(queue);
  std::vector<std::string> log;  // what each side saw, in order
};

TEST_F(InProcessMessengerTest, NothingArrivesInsideTheSendAndEverythingArrivesInSendOrder) {
  messenger->setInterfaceReceiver([&](const std::string& channel, const Bytes& message, flutter::BinaryReply reply) {
    log.push_back("interface got " + channel + " " + std::to_string(message[0]));
    reply({static_cast<uint8_t>(message[0] + 100)});
  });
  messenger->setMessageHandler("h", [&](const Bytes& message, flutter::BinaryReply reply) {
    log.push_back("host got " + std::to_string(message[0]));
    reply({static_cast<uint8_t>(message[0] + 100)});
  });
  auto recordReply = [&](const char* who) {
    return [this, who](const Bytes& reply) { log.push_back(std::string(who) + " reply " + std::to_string(reply[0])); };
  };
  messenger->send("a", {1}, recordReply("host"));
  messenger->sendToHost("h", {2}, recordReply("interface"));
  messenger->send("b", {3}, {});
  EXPECT_TRUE(log.empty()) << "deliveries go through the main queue";

  queue.runUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"interface got a 1", "host got 2", "interface got b 3", "host reply 101",
                                           "interface reply 102"}));
}

TEST_F(InProcessMessengerTest, AChannelWithoutAHandlerAnswersEmpty) {
  std::vector<Bytes> replies;
  messenger->sendToHost("nobody", {1}, [&](const Bytes& reply) { replies.push_back(reply); });
  messenger->send("nobody either", {1}, [&](const Bytes& reply) { replies.push_back(reply); });
  queue.runUntilIdle();
  EXPECT_EQ(replies, (std::vector<Bytes>{Bytes{}, Bytes{}}));

  // A removed handler is gone too.
  messenger->setMessageHandler("h", [](const Bytes&, flutter::BinaryReply reply) { reply({9}); });
  messenger->setMessageHandler("h", {});
  messenger->sendToHost("h", {1}, [&](const Bytes& reply) { replies.push_back(reply); });
  queue.runUntilIdle();
  EXPECT_TRUE(replies.back().empty());
}

TEST_F(InProcessMessengerTest, ASecondReplyIsLoggedAndDropped) {
  flutter::testing::EmbeddingLogCapture capture;
  messenger->setMessageHandler("h", [](const Bytes&, flutter::BinaryReply reply) {
    reply({1});
    reply({2});
  });
  std::vector<Bytes> replies;
  messenger->sendToHost("h", {0}, [&](const Bytes& reply) { replies.push_back(reply); });
  queue.runUntilIdle();
  EXPECT_EQ(replies, (std::vector<Bytes>{Bytes{1}}));
  EXPECT_TRUE(capture.contains("answered twice"));
}

TEST_F(InProcessMessengerTest, QueuedWorkAndLateRepliesDoNothingOnceTheMessengerIsGone) {
  flutter::BinaryReply keptReply;
  messenger->setMessageHandler("h", [&](const Bytes&, flutter::BinaryReply reply) { keptReply = reply; });
  bool replied = false;
  messenger->sendToHost("h", {0}, [&](const Bytes&) { replied = true; });
  queue.runUntilIdle();
  messenger->sendToHost("h", {1}, [&](const Bytes&) { replied = true; });
  messenger.reset();
  keptReply({7});
  queue.runUntilIdle();
  EXPECT_FALSE(replied);
}

}  // namespace
}  // namespace engine::messaging
