#include "Runner/discovery/ping_sweep.h"

#include <gtest/gtest.h>

#include "Runner/discovery/testing/discovery_fixture.h"
#include "Runner/discovery/testing/sweep_collector.h"

namespace discovery {
namespace {

using process::Termination;
using testing::SweepCollector;

constexpr size_t kAddresses = 254;

class PingSweepTest : public testing::DiscoveryFixture {
 protected:
  void run(SweepCollector& collector) { sweep.run("198.51.100.", 1, static_cast<int>(kAddresses), collector.sink()); }

  PingSweep sweep{processes, mainQueue};
};

TEST_F(PingSweepTest, LaunchesOnePingPerAddressBeforeRunReturns) {
  SweepCollector collector;
  run(collector);
  ASSERT_EQ(processes.launchCount(), kAddresses);
  for (size_t i = 0; i < kAddresses; ++i) {
    const auto launch = processes.launchAt(i);
    EXPECT_EQ(launch.path, "/usr/bin/ping");
    const std::vector<std::string> expected = {"-c", "1", "-W", "1", "198.51.100." + std::to_string(i + 1)};
    EXPECT_EQ(launch.arguments, expected);
  }
  EXPECT_TRUE(collector.events.empty());
  EXPECT_EQ(mainQueue.pending(), 0u);
}

TEST_F(PingSweepTest, ResultsArriveInFinishOrderAndTheCompletionComesLast) {
  SweepCollector collector;
  run(collector);
  const auto& events = collector.events;
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
  EXPECT_EQ(collector.completions(), 0u) << "completion before the last result";
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

TEST_F(PingSweepTest, RefusedLaunchesAreReportedBeforeRunReturnsAndTheCompletionFollows) {
  processes.failAll = true;
  SweepCollector collector;
  run(collector);
  const auto& events = collector.events;
  ASSERT_EQ(events.size(), kAddresses);
  for (size_t i = 0; i < kAddresses; ++i) {
    EXPECT_EQ(events[i].ip, "198.51.100." + std::to_string(i + 1));
    EXPECT_FALSE(events[i].success);
  }
  mainQueue.runUntilIdle();
  ASSERT_EQ(events.size(), kAddresses + 1);
  EXPECT_TRUE(events.back().completion);
}

}  // namespace
}  // namespace discovery
