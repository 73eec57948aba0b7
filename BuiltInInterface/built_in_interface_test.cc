// The built-in interface as a whole: what a quit attempt means, with the person asked or
// not, and with or without a driver; against the host's side of a real lifecycle channel.
#include "BuiltInInterface/built_in_interface.h"

#include <gtest/gtest.h>

#include "BuiltInInterface/testing/interface_side_fixture.h"
#include "Runner/embedding/method_channel.h"

namespace built_in_interface {
namespace {

using flutter::EncodableValue;

class BuiltInInterfaceTest : public testing::InterfaceSideFixture {
 protected:
  int quits = 0;
};

TEST_F(BuiltInInterfaceTest, AQuitAttemptEndsTheApplicationOnlyWhenThePersonSaysSo) {
  BuiltInInterface builtIn(ui(), [this] { ++quits; });
  std::vector<std::function<void(bool)>> questions;
  builtIn.setQuitQuestion([&](std::function<void(bool)> answer) { questions.push_back(std::move(answer)); });
  auto lifecycle = flutter::FlutterMethodChannel::methodChannelWithName(channels::kLifecycle.name, host());

  lifecycle.invokeMethod("onQuitAttempt", EncodableValue());
  settle();
  ASSERT_EQ(questions.size(), 1u);
  questions[0](false);
  EXPECT_EQ(quits, 0);

  lifecycle.invokeMethod("onQuitAttempt", EncodableValue());
  settle();
  ASSERT_EQ(questions.size(), 2u);
  questions[1](true);
  EXPECT_EQ(quits, 1);

  ui().setCallInterceptor([](const std::string&, const flutter::FlutterMethodCall&, flutter::FlutterResult result) {
    result(EncodableValue());
  });
  lifecycle.invokeMethod("onQuitAttempt", EncodableValue());
  settle();
  EXPECT_EQ(questions.size(), 2u) << "a driver has the calls";
}

TEST_F(BuiltInInterfaceTest, RunByTheEngineItEndsTheApplicationOnAQuitAttemptUnlessADriverHasTheCalls) {
  standIn = std::make_unique<engine::StandInEngine>(
      queue, engine::StandInEngineOptions{std::nullopt,
                                          [this](engine::messaging::InterfaceSide& side) {
                                            return std::make_unique<BuiltInInterface>(side, [this] { ++quits; });
                                          },
                                          {channels::kScan.name}});
  std::vector<flutter::FlutterReply> replies;
  auto lifecycle = flutter::FlutterMethodChannel::methodChannelWithName(channels::kLifecycle.name, host());
  lifecycle.invokeMethod("somethingElse", {}, [&](const flutter::FlutterReply& reply) { replies.push_back(reply); });
  settle();
  EXPECT_EQ(quits, 0);
  EXPECT_EQ(replies, (std::vector<flutter::FlutterReply>{flutter::FlutterMethodNotImplemented}));

  lifecycle.invokeMethod("onQuitAttempt", {});
  settle();
  EXPECT_EQ(quits, 1) << "shown nowhere, there is nobody to ask";

  ui().setCallInterceptor([](const std::string&, const flutter::FlutterMethodCall&, flutter::FlutterResult result) {
    result(EncodableValue());
  });
  lifecycle.invokeMethod("onQuitAttempt", {});
  settle();
  EXPECT_EQ(quits, 1);
}

}  // namespace
}  // namespace built_in_interface
