#include <gtest/gtest.h>

#include <cerrno>

#include "Runner/discovery/testing/discovery_fixture.h"

namespace {

using discovery_testing::DiscoveryFixture;
using network::ConnectionState;

// What one method call got back.
struct Answer {
  int count = 0;
  std::optional<flutter::FlutterReply> reply;
};

class NetworkPermissionTest : public DiscoveryFixture {
 protected:
  void call(const std::string& method, Answer& answer) {
    handleLocalNetworkPermissionCall(*discovery, flutter::FlutterMethodCall(method, flutter::EncodableValue()),
                                     flutter::FlutterResult(method, [&answer](flutter::FlutterReply reply) {
                                       ++answer.count;
                                       answer.reply = std::move(reply);
                                     }));
  }
  static std::optional<bool> boolean(const Answer& answer) {
    if (!answer.reply) return std::nullopt;
    const auto* value = std::get_if<flutter::EncodableValue>(&*answer.reply);
    if (!value || !std::holds_alternative<bool>(*value)) return std::nullopt;
    return std::get<bool>(*value);
  }
  std::shared_ptr<network::testing::FakeConnection> connection(size_t index) { return connections.connection(index); }
};

TEST_F(NetworkPermissionTest, BothMethodsProbeTheLoopbackPortAndAnswerTrueWhenItBecomesReady) {
  for (const std::string method : {"checkPermissions", "requestPermissions"}) {
    SCOPED_TRACE(method);
    out.str("");
    const size_t index = connections.made.size();
    Answer answer;
    call(method, answer);
    auto probe = connection(index);
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->host, "127.0.0.1");
    EXPECT_EQ(probe->port, 80);
    EXPECT_EQ(probe->startCalls, 1);

    probe->deliver(ConnectionState::kPreparing);
    EXPECT_EQ(answer.count, 0);
    probe->deliver(ConnectionState::kReady);
    EXPECT_EQ(answer.count, 1);
    EXPECT_EQ(boolean(answer), true);
    EXPECT_EQ(out.str(), "🔹 Network permission granted\n");
    EXPECT_EQ(probe->cancelCalls, 1);
    EXPECT_EQ(mainQueue.delayedPending(), 0u) << "the answered probe left its timer behind";

    // The cancelled state that follows is no second answer, and the probe lets go.
    probe->deliverCancelled();
    EXPECT_EQ(answer.count, 1);
    EXPECT_FALSE(probe->hasHandler());
    probe.reset();
    EXPECT_TRUE(connections.made[index].expired());
  }
}

TEST_F(NetworkPermissionTest, AFailedConnectionAnswersFalseWithTheErrorsDescription) {
  Answer answer;
  call("checkPermissions", answer);
  auto probe = connection(0);
  probe->deliver(ConnectionState::kWaiting);
  EXPECT_EQ(answer.count, 0);
  probe->fail(ECONNREFUSED, "Connection refused");
  EXPECT_EQ(boolean(answer), false);
  EXPECT_EQ(out.str(), "Network permission request failed: Connection refused\n");
  EXPECT_EQ(probe->cancelCalls, 1);
  EXPECT_EQ(mainQueue.delayedPending(), 0u) << "the answered probe left its timer behind";
}

TEST_F(NetworkPermissionTest, AProbeThatNeverSettlesIsAnsweredFalseWhenItsTimeRunsOut) {
  Answer answer;
  call("requestPermissions", answer);
  auto probe = connection(0);
  probe->deliver(ConnectionState::kPreparing);
  probe->deliver(ConnectionState::kWaiting);
  EXPECT_EQ(mainQueue.nextDelay(), kPermissionProbeTimeout);

  mainQueue.advance(kPermissionProbeTimeout - std::chrono::milliseconds(1));
  mainQueue.runUntilIdle();
  EXPECT_EQ(answer.count, 0);

  mainQueue.advance(std::chrono::milliseconds(1));
  mainQueue.runUntilIdle();
  EXPECT_EQ(answer.count, 1);
  EXPECT_EQ(boolean(answer), false);
  EXPECT_EQ(out.str(), "Network permission request failed: Connection attempt timed out after 5 seconds\n");
  EXPECT_EQ(probe->cancelCalls, 1);
  probe.reset();
  EXPECT_TRUE(connections.made[0].expired());
}

TEST_F(NetworkPermissionTest, EachCallIsAnsweredOnceWhenTheTimerAndAStateChangeRace) {
  // A state already on its way when the timer fires.
  Answer first;
  call("checkPermissions", first);
  auto late = connection(0);
  mainQueue.advance(kPermissionProbeTimeout);
  mainQueue.runUntilIdle();
  late->deliver(ConnectionState::kReady, std::nullopt, /*evenIfCancelled=*/true);
  EXPECT_EQ(first.count, 1);
  EXPECT_EQ(boolean(first), false);

  // The timer coming due after the probe has answered.
  out.str("");
  Answer second;
  call("checkPermissions", second);
  auto settled = connection(1);
  settled->deliver(ConnectionState::kReady);
  settled->deliverCancelled();
  mainQueue.advance(kPermissionProbeTimeout);
  mainQueue.runUntilIdle();
  EXPECT_EQ(second.count, 1);
  EXPECT_EQ(boolean(second), true);
  EXPECT_EQ(out.str(), "🔹 Network permission granted\n");

  // Failed, then ready racing in, then the timer.
  Answer third;
  call("checkPermissions", third);
  auto probe = connection(2);
  probe->fail(ECONNREFUSED, "Connection refused");
  probe->deliver(ConnectionState::kReady, std::nullopt, /*evenIfCancelled=*/true);
  mainQueue.advance(kPermissionProbeTimeout);
  mainQueue.runUntilIdle();
  EXPECT_EQ(third.count, 1);
  EXPECT_EQ(boolean(third), false);
}

TEST_F(NetworkPermissionTest, ConcurrentCallsEachGetTheirOwnProbesAnswer) {
  Answer first, second;
  call("checkPermissions", first);
  call("requestPermissions", second);
  ASSERT_EQ(connections.made.size(), 2u);
  connection(1)->deliver(ConnectionState::kReady);
  EXPECT_EQ(first.count, 0);
  EXPECT_EQ(boolean(second), true);
  connection(0)->fail(ECONNREFUSED, "Connection refused");
  EXPECT_EQ(boolean(first), false);
  EXPECT_EQ(second.count, 1);
}

TEST_F(NetworkPermissionTest, OtherMethodNamesAreNotImplementedAndProbeNothing) {
  // The name is printed as the caller chose it, but it can neither end the line nor forge
  // another.
  const std::string longName(300, 'm');
  const struct {
    std::string method;
    std::string printed;
  } rows[] = {
      {"CheckPermissions", "CheckPermissions"},
      {"checkpermissions", "checkpermissions"},
      {"requestPermission", "requestPermission"},
      {"", ""},
      {"listen", "listen"},
      {"a \\x0a b\"'%s", "a \\x0a b\"'%s"},
      {"x\n🔹 Network permission granted", "x\\x0a🔹 Network permission granted"},
      {"x\r\t\x1b[2K\x7f", "x\\x0d\\x09\\x1b[2K\\x7f"},
      {std::string("nul\0byte", 8), "nul\\x00byte"},
      {"bad\xff\xc3(\xe2\x82", "bad\\xff\\xc3(\\xe2\\x82"},
      {"ok: Prüfung", "ok: Prüfung"},
      {"line\u2028sep\u202eright\xc2\x85", "line\\u{2028}sep\\u{202e}right\\u{0085}"},
      {longName, std::string(256, 'm') + "... (300 bytes)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.printed);
    out.str("");
    Answer answer;
    call(row.method, answer);
    EXPECT_EQ(answer.count, 1);
    ASSERT_TRUE(answer.reply);
    EXPECT_TRUE(std::holds_alternative<flutter::FlutterMethodNotImplementedMarker>(*answer.reply));
    EXPECT_EQ(out.str(), "Unsupported method: " + row.printed + "\n");
  }
  EXPECT_TRUE(connections.made.empty());
}

TEST_F(NetworkPermissionTest, NoConnectionAtAllIsAFailureNotASilence) {
  connections.refuse = true;
  Answer answer;
  call("checkPermissions", answer);
  EXPECT_EQ(answer.count, 0) << "answered before the call returned, not later on the main queue";
  mainQueue.runUntilIdle();
  EXPECT_EQ(boolean(answer), false);
  EXPECT_EQ(out.str(), "Network permission request failed: Could not create a connection\n");
}

}  // namespace
