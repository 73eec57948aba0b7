#include "Runner/discovery/permission_probe.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

#include "Runner/discovery/testing/discovery_fixture.h"

namespace discovery {
namespace {

using ::testing::ElementsAre;
using network::ConnectionState;

// Standard output as an entry of the call log: each line, once ended and flushed
// (std::endl), is entered as "line <text>".
class LineLog : public std::stringbuf {
 public:
  explicit LineLog(std::vector<std::string>& calls) : calls_(calls) {}

 protected:
  int sync() override {
    const std::string text = str();
    for (size_t end; (end = text.find('\n', logged_)) != std::string::npos; logged_ = end + 1) {
      calls_.push_back("line " + text.substr(logged_, end - logged_));
    }
    return 0;
  }

 private:
  std::vector<std::string>& calls_;
  size_t logged_ = 0;
};

// What one request got back.
struct Answer {
  int count = 0;
  std::optional<bool> granted;
};

// One call log shared by the connections, the output and the completions, so that a test
// sees the order in which the probe used them.
class PermissionProbeTest : public testing::DiscoveryFixture {
 protected:
  PermissionProbeTest() {
    connections.onCall = [this](const std::string& what) { calls.push_back(what); };
  }

  void request(Answer& answer) {
    probe.request([this, &answer](bool granted) {
      ++answer.count;
      answer.granted = granted;
      calls.push_back(granted ? "reply true" : "reply false");
    });
  }
  std::shared_ptr<network::testing::FakeConnection> connection(size_t index) { return connections.connection(index); }

  std::vector<std::string> calls;
  LineLog lines{calls};
  std::ostream output{&lines};
  PermissionProbe probe{connections, mainQueue, output};
};

TEST_F(PermissionProbeTest, ProbesTheLoopbackPortAndAnswersTrueWhenItBecomesReady) {
  Answer answer;
  request(answer);
  auto attempt = connection(0);
  ASSERT_TRUE(attempt);
  EXPECT_EQ(attempt->host, "127.0.0.1");
  EXPECT_EQ(attempt->port, 80);

  attempt->deliver(ConnectionState::kPreparing);
  EXPECT_EQ(answer.count, 0);
  attempt->deliver(ConnectionState::kReady);
  EXPECT_EQ(answer.granted, true);
  // The line, then the reply, then the cancellation.
  EXPECT_THAT(calls, ElementsAre("start", "line 🔹 Network permission granted", "reply true", "cancel"));
  EXPECT_EQ(mainQueue.delayedPending(), 0u) << "the answered probe left its timer behind";

  // The cancelled state that follows is no second answer, and the probe lets go.
  attempt->deliverCancelled();
  EXPECT_EQ(answer.count, 1);
  EXPECT_FALSE(attempt->hasHandler());
  attempt.reset();
  EXPECT_TRUE(connections.made[0].expired());
}

TEST_F(PermissionProbeTest, AFailedConnectionAnswersFalseWithTheErrorsDescription) {
  Answer answer;
  request(answer);
  auto attempt = connection(0);
  attempt->deliver(ConnectionState::kWaiting);
  EXPECT_EQ(answer.count, 0);
  attempt->fail(ECONNREFUSED, "Connection refused");
  EXPECT_EQ(answer.granted, false);
  EXPECT_THAT(calls, ElementsAre("start", "line Network permission request failed: Connection refused", "reply false",
                                 "cancel"));
  EXPECT_EQ(mainQueue.delayedPending(), 0u) << "the answered probe left its timer behind";
}

TEST_F(PermissionProbeTest, AProbeThatNeverSettlesIsAnsweredFalseWhenItsTimeRunsOut) {
  Answer answer;
  request(answer);
  auto attempt = connection(0);
  attempt->deliver(ConnectionState::kPreparing);
  attempt->deliver(ConnectionState::kWaiting);
  EXPECT_EQ(mainQueue.nextDelay(), kPermissionProbeTimeout);

  mainQueue.advance(kPermissionProbeTimeout - std::chrono::milliseconds(1));
  mainQueue.runUntilIdle();
  EXPECT_EQ(answer.count, 0);

  mainQueue.advance(std::chrono::milliseconds(1));
  mainQueue.runUntilIdle();
  EXPECT_EQ(answer.count, 1);
  EXPECT_EQ(answer.granted, false);
  EXPECT_THAT(calls, ElementsAre("start",
                                 "line Network permission request failed: Connection attempt timed out after 5 seconds",
                                 "reply false", "cancel"));
  attempt.reset();
  EXPECT_TRUE(connections.made[0].expired());
}

TEST_F(PermissionProbeTest, EachRequestIsAnsweredOnceWhenTheTimerAndAStateChangeRace) {
  // A state already on its way when the timer fires.
  Answer first;
  request(first);
  auto late = connection(0);
  mainQueue.advance(kPermissionProbeTimeout);
  mainQueue.runUntilIdle();
  late->deliver(ConnectionState::kReady, std::nullopt, /*evenIfCancelled=*/true);
  EXPECT_EQ(first.count, 1);
  EXPECT_EQ(first.granted, false);

  // The timer coming due after the probe has answered.
  calls.clear();
  Answer second;
  request(second);
  auto settled = connection(1);
  settled->deliver(ConnectionState::kReady);
  settled->deliverCancelled();
  mainQueue.advance(kPermissionProbeTimeout);
  mainQueue.runUntilIdle();
  EXPECT_EQ(second.count, 1);
  EXPECT_EQ(second.granted, true);
  EXPECT_THAT(calls, ElementsAre("start", "line 🔹 Network permission granted", "reply true", "cancel"));

  // Failed, then ready racing in, then the timer.
  Answer third;
  request(third);
  auto attempt = connection(2);
  attempt->fail(ECONNREFUSED, "Connection refused");
  attempt->deliver(ConnectionState::kReady, std::nullopt, /*evenIfCancelled=*/true);
  mainQueue.advance(kPermissionProbeTimeout);
  mainQueue.runUntilIdle();
  EXPECT_EQ(third.count, 1);
  EXPECT_EQ(third.granted, false);
}

TEST_F(PermissionProbeTest, ConcurrentRequestsEachGetTheirOwnAttemptsAnswer) {
  Answer first, second;
  request(first);
  request(second);
  ASSERT_EQ(connections.made.size(), 2u);
  connection(1)->deliver(ConnectionState::kReady);
  EXPECT_EQ(first.count, 0);
  EXPECT_EQ(second.granted, true);
  connection(0)->fail(ECONNREFUSED, "Connection refused");
  EXPECT_EQ(first.granted, false);
  EXPECT_EQ(second.count, 1);
}

TEST_F(PermissionProbeTest, NoConnectionAtAllIsAFailureNotASilence) {
  connections.refuse = true;
  Answer answer;
  request(answer);
  EXPECT_EQ(answer.count, 0) << "answered before the call returned, not later on the main queue";
  mainQueue.runUntilIdle();
  EXPECT_EQ(answer.granted, false);
  EXPECT_THAT(calls,
              ElementsAre("line Network permission request failed: Could not create a connection", "reply false"));
}

}  // namespace
}  // namespace discovery
