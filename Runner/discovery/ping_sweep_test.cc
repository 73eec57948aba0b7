#include <gtest/gtest.h>

#include <algorithm>

#include "Runner/discovery/testing/discovery_fixture.h"

namespace {

using discovery_testing::DiscoveryFixture;
using discovery_testing::SeenEvent;
using process::Termination;

constexpr size_t kAddresses = 254;

class PingSweepTest : public DiscoveryFixture {
 protected:
  void listen(std::vector<SeenEvent>& events) {
    EXPECT_EQ(discovery->onListenWithArguments(flutter::EncodableValue(), recordingSink(events)), std::nullopt);
  }
  void cancel() { EXPECT_EQ(discovery->onCancelWithArguments(flutter::EncodableValue()), std::nullopt); }
  // Ends children [first, last) of the launch order with exit status 1.
  void finishSilently(size_t first, size_t last) {
    for (size_t i = first; i < last; ++i) processes.exit(i, 1);
  }
  static size_t completions(const std::vector<SeenEvent>& events) {
    return std::count_if(events.begin(), events.end(), [](const SeenEvent& e) { return e.completion; });
  }
};

TEST_F(PingSweepTest, LaunchesOnePingPerHostAddressBeforeListenReturns) {
  std::vector<SeenEvent> events;
  listen(events);
  ASSERT_EQ(processes.launchCount(), kAddresses);
  for (size_t i = 0; i < kAddresses; ++i) {
    const auto launch = processes.launchAt(i);
    EXPECT_EQ(launch.path, "/usr/bin/ping");
    const std::vector<std::string> expected = {"-c", "1", "-W", "1", "198.51.100." + std::to_string(i + 1)};
    EXPECT_EQ(launch.arguments, expected);
  }
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(mainQueue.pending(), 0u);
  EXPECT_EQ(out.str(), "");
}

TEST_F(PingSweepTest, ResultsArriveInFinishOrderAndTheCompletionComesLast) {
  std::vector<SeenEvent> events;
  listen(events);
  // Children end in reverse order, on threads of their own, with every kind of ending.
  for (size_t i = kAddresses; i-- > 1;) {
    const Termination termination = i == 19   ? Termination{false, 0}
                                    : i == 36 ? Termination{true, 9}  // killed
                                    : i == 99 ? Termination{false, 2}
                                              : Termination{false, 1};
    processes.finishOnOtherThread(i, termination);
  }
  mainQueue.runUntilIdle();
  ASSERT_EQ(events.size(), kAddresses - 1);
  EXPECT_EQ(completions(events), 0u) << "completion before the last result";
  for (size_t k = 0; k < events.size(); ++k) {
    EXPECT_EQ(events[k].ip, "198.51.100." + std::to_string(kAddresses - k));
    EXPECT_EQ(events[k].success, events[k].ip == "198.51.100.20") << events[k].ip;
  }

  processes.finish(0, Termination{false, 0});
  mainQueue.runUntilIdle();
  ASSERT_EQ(events.size(), kAddresses + 1);
  EXPECT_EQ(events[kAddresses - 1].ip, "198.51.100.1");
  EXPECT_TRUE(events[kAddresses - 1].success);
  EXPECT_TRUE(events.back().completion);
}

TEST_F(PingSweepTest, CancellingDropsTheRestOfTheSweepButNotItsPings) {
  std::vector<SeenEvent> events;
  listen(events);
  finishSilently(0, 10);
  mainQueue.runUntilIdle();
  ASSERT_EQ(events.size(), 10u);

  cancel();
  finishSilently(10, kAddresses);
  mainQueue.runUntilIdle();
  EXPECT_EQ(events.size(), 10u);
}

TEST_F(PingSweepTest, AListenerThatCancelsFromInsideItsSinkGetsNothingMore) {
  std::vector<SeenEvent> events;
  auto record = recordingSink(events);
  discovery->onListenWithArguments(flutter::EncodableValue(), [&](const flutter::EncodableValue& value) {
    record(value);
    discovery->onCancelWithArguments(flutter::EncodableValue());
  });
  finishSilently(0, kAddresses);
  mainQueue.runUntilIdle();
  EXPECT_EQ(events.size(), 1u);
}

TEST_F(PingSweepTest, ListeningAgainStartsASecondSweepAndTheNewestSinkGetsBoth) {
  std::vector<SeenEvent> first, second;
  listen(first);
  finishSilently(0, 5);
  mainQueue.runUntilIdle();
  listen(second);
  ASSERT_EQ(processes.launchCount(), 2 * kAddresses);

  finishSilently(5, kAddresses);
  mainQueue.runUntilIdle();
  // The rest of the first sweep, then its own completion.
  ASSERT_EQ(second.size(), kAddresses - 5 + 1);
  EXPECT_TRUE(second.back().completion);

  finishSilently(kAddresses, 2 * kAddresses);
  mainQueue.runUntilIdle();
  EXPECT_EQ(first.size(), 5u);
  ASSERT_EQ(second.size(), kAddresses - 5 + 1 + kAddresses + 1);
  EXPECT_EQ(completions(second), 2u);
  EXPECT_TRUE(second.back().completion);
}

TEST_F(PingSweepTest, ANewListenerAfterACancelReceivesTheRestOfTheEarlierSweep) {
  std::vector<SeenEvent> first, second;
  listen(first);
  cancel();
  finishSilently(0, 100);
  mainQueue.runUntilIdle();

  // Listening again starts a sweep of its own; the old one now reports here too.
  listen(second);
  finishSilently(100, kAddresses);
  mainQueue.runUntilIdle();
  EXPECT_TRUE(first.empty());
  ASSERT_EQ(second.size(), kAddresses - 100 + 1);
  EXPECT_TRUE(second.back().completion);
}

TEST_F(PingSweepTest, RefusedLaunchesAreReportedBeforeListenReturnsAndTheCompletionFollows) {
  processes.failAll = true;
  std::vector<SeenEvent> events;
  listen(events);
  ASSERT_EQ(events.size(), kAddresses);
  for (size_t i = 0; i < kAddresses; ++i) {
    EXPECT_EQ(events[i].ip, "198.51.100." + std::to_string(i + 1));
    EXPECT_FALSE(events[i].success);
  }
  mainQueue.runUntilIdle();
  ASSERT_EQ(events.size(), kAddresses + 1);
  EXPECT_TRUE(events.back().completion);
}

TEST_F(PingSweepTest, WithoutAPrefixListeningPrintsOneLineThenCompletesThroughTheMainQueue) {
  interfaces.entries = {netif::testing::FakeInterfaceAddresses::ipv4("eth7", "198.51.100.10")};
  std::vector<SeenEvent> events;
  listen(events);
  EXPECT_EQ(out.str(), "❌ Failed to detect local subnet prefix\n");
  EXPECT_EQ(processes.launchCount(), 0u);
  EXPECT_TRUE(events.empty()) << "the end comes later, as a sweep's does";
  mainQueue.runUntilIdle();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0].completion);

  // Like a sweep's end, it goes to whoever listens when it is delivered.
  std::vector<SeenEvent> cancelled;
  listen(cancelled);
  cancel();
  mainQueue.runUntilIdle();
  EXPECT_TRUE(cancelled.empty());
}

TEST_F(PingSweepTest, ASweepOutlivesTheLastOutsideReferenceToTheWindow) {
  std::vector<SeenEvent> events;
  listen(events);
  std::weak_ptr<LocalNetworkDiscovery> window = discovery;
  discovery.reset();
  EXPECT_FALSE(window.expired());
  finishSilently(0, kAddresses);
  mainQueue.runUntilIdle();
  EXPECT_EQ(events.size(), kAddresses + 1);
  EXPECT_TRUE(window.expired()) << "the finished sweep still holds the window";
}

}  // namespace
