// The GLib main queue on a real default main context.
#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch/glib_main_queue.h"
#include "tests/integration/support/main_loop.h"

namespace {

using namespace std::chrono_literals;
using tessra::testing::pumpUntil;

TEST(GlibMainQueueTest, BlocksFromManyThreadsRunOnTheMainThreadInSubmissionOrder) {
  dispatch::GlibMainQueue queue;
  constexpr int kThreads = 4;
  constexpr int kPerThread = 500;
  std::mutex submitting;
  int nextTicket = 0;
  std::vector<int> ran;
  bool offMainThread = false;
  bool done = false;

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kPerThread; ++i) {
        // The ticket is drawn and the block submitted under one lock, so ticket order is
        // submission order.
        std::lock_guard lock(submitting);
        const int ticket = nextTicket++;
        queue.async([&, ticket] {
          offMainThread |= !queue.isMainThread();
          ran.push_back(ticket);
          if (ran.size() == size_t(kThreads * kPerThread)) done = true;
        });
      }
    });
  }
  EXPECT_TRUE(pumpUntil([&] { return done; }));
  for (auto& thread : threads) thread.join();

  EXPECT_FALSE(offMainThread);
  ASSERT_EQ(ran.size(), size_t(kThreads * kPerThread));
  for (size_t i = 0; i < ran.size(); ++i) ASSERT_EQ(ran[i], int(i)) << "out of order at " << i;
}

TEST(GlibMainQueueTest, ADelayedBlockTakesItsTurnAfterBlocksAlreadyQueued) {
  dispatch::GlibMainQueue queue;
  std::vector<std::string> ran;
  bool done = false;
  queue.asyncAfter(0ms, [&] {
    ran.push_back("delayed");
    done = true;
  });
  queue.async([&] { ran.push_back("first"); });
  ASSERT_TRUE(pumpUntil([&] { return done; }));
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "delayed"}));
}

// A sweep's children often end together: their results must not wait a turn of the loop
// each, yet a long drain must not keep the loop's other sources out.
TEST(GlibMainQueueTest, ABurstRunsInOneTurnButALongDrainLetsOtherSourcesIn) {
  dispatch::GlibMainQueue queue;
  int quick = 0;
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) queue.async([&] { ++quick; });
  });
  poster.join();
  int turns = 0;
  for (; quick < 100; ++turns) g_main_context_iteration(nullptr, TRUE);
  EXPECT_LT(turns, 10) << "a turn of the loop per block";

  int slow = 0;
  for (int i = 0; i < 20; ++i) {
    queue.async([&] {
      std::this_thread::sleep_for(1ms);
      ++slow;
    });
  }
  struct Seen {
    const int* slow;
    int slowBefore = -1;
  } seen{&slow};
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        auto* seen = static_cast<Seen*>(data);
        seen->slowBefore = *seen->slow;
        return G_SOURCE_REMOVE;
      },
      &seen, nullptr);
  while (slow < 20 || seen.slowBefore < 0) g_main_context_iteration(nullptr, TRUE);
  EXPECT_LT(seen.slowBefore, 20) << "the drain kept the other source out until the end";
}

TEST(GlibMainQueueTest, BlocksStillWaitingWhenTheQueueGoesAwayNeverRun) {
  std::atomic<int> ran = 0;
  {
    dispatch::GlibMainQueue queue;
    queue.async([&] { ++ran; });
    queue.asyncAfter(20ms, [&] { ++ran; });
  }
  // Iterate past the timer's due time; nothing of the dead queue may run.
  bool passed = false;
  g_timeout_add(
      60,
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &passed);
  ASSERT_TRUE(pumpUntil([&] { return passed; }));
  EXPECT_EQ(ran, 0);
}

// A permission probe that has answered withdraws its time limit: it must not run, nor keep
// what it holds alive until it would have come due.
TEST(GlibMainQueueTest, AWithdrawnBlockNeverRunsAndLetsGoAtOnce) {
  dispatch::GlibMainQueue queue;
  int ran = 0;
  auto held = std::make_shared<int>(0);
  const std::weak_ptr<int> watch = held;
  const dispatch::TimerId withdrawn = queue.asyncAfter(20ms, [&ran, held] { ++ran; });
  bool kept = false;
  queue.asyncAfter(40ms, [&] { kept = true; });
  held.reset();
  queue.cancelAsyncAfter(withdrawn);
  EXPECT_TRUE(watch.expired());
  queue.cancelAsyncAfter(withdrawn);  // spent: nothing happens
  ASSERT_TRUE(pumpUntil([&] { return kept; }));
  EXPECT_EQ(ran, 0);
}

}  // namespace
