#include "platform/dispatch/dispatch_group.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/dispatch/testing/fake_main_queue.h"

namespace dispatch {
namespace {

TEST(DispatchGroupTest, NotifiesOnceTheLastLeaveHasHappenedAndNotBefore) {
  testing::FakeMainQueue queue;
  auto group = DispatchGroup::create();
  int notified = 0;
  group->enter();
  group->enter();
  group->notify(queue, [&] { ++notified; });
  group->leave();
  EXPECT_EQ(queue.runUntilIdle(), 0);
  group->leave();
  EXPECT_EQ(queue.runUntilIdle(), 1);
  EXPECT_EQ(notified, 1);
}

TEST(DispatchGroupTest, NotifyingAnEmptyGroupQueuesTheBlockAtOnceButDoesNotRunItInline) {
  testing::FakeMainQueue queue;
  auto group = DispatchGroup::create();
  bool ran = false;
  group->notify(queue, [&] { ran = true; });
  EXPECT_FALSE(ran);
  queue.runUntilIdle();
  EXPECT_TRUE(ran);
}

TEST(DispatchGroupTest, LeavesFromManyThreadsNotifyExactlyOnce) {
  testing::FakeMainQueue queue;
  auto group = DispatchGroup::create();
  constexpr int kWorkers = 64;
  for (int i = 0; i < kWorkers; ++i) group->enter();
  int notified = 0;
  group->notify(queue, [&] { ++notified; });
  std::vector<std::thread> workers;
  for (int i = 0; i < kWorkers; ++i) workers.emplace_back([&] { group->leave(); });
  for (auto& worker : workers) worker.join();
  queue.runUntilIdle();
  EXPECT_EQ(notified, 1);
}

}  // namespace
}  // namespace dispatch
