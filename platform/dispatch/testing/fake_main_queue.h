#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/dispatch/main_queue.h"

namespace dispatch::testing {

// A main queue that runs nothing until the test says so. async() is thread-safe, so worker
// threads can post into it; the test thread counts as the main thread. Delayed blocks wait
// on a virtual clock that only advance() moves.
class FakeMainQueue : public MainQueue {
 public:
  void async(Block block) override {
    std::lock_guard lock(mutex_);
    blocks_.push_back(std::move(block));
  }
  TimerId asyncAfter(std::chrono::milliseconds delay, Block block) override {
    std::lock_guard lock(mutex_);
    const TimerId id = ++lastTimerId_;
    delayed_.emplace(Due{now_ + delay, id}, std::move(block));
    return id;
  }
  void cancelAsyncAfter(TimerId timer) override {
    Block withdrawn;
    std::lock_guard lock(mutex_);
    for (auto it = delayed_.begin(); it != delayed_.end(); ++it) {
      if (it->first.second != timer) continue;
      withdrawn = std::move(it->second);
      delayed_.erase(it);
      break;
    }
  }
  bool isMainThread() const override { return std::this_thread::get_id() == mainThread_; }

  // Runs one block; false when none was queued.
  bool runOne() {
    Block block;
    {
      std::lock_guard lock(mutex_);
      if (blocks_.empty()) return false;
      block = std::move(blocks_.front());
      blocks_.pop_front();
    }
    block();
    return true;
  }
  // Runs blocks, including those queued meanwhile, until none is left. Returns how many ran.
  int runUntilIdle() {
    int ran = 0;
    while (runOne()) ++ran;
    return ran;
  }
  size_t pending() const {
    std::lock_guard lock(mutex_);
    return blocks_.size();
  }

  // Moves the virtual clock on and queues (without running) every delayed block that has
  // come due, earliest first.
  void advance(std::chrono::milliseconds by) {
    std::lock_guard lock(mutex_);
    now_ += by;
    auto due = delayed_.lower_bound(Due{now_ + std::chrono::milliseconds(1), 0});
    for (auto it = delayed_.begin(); it != due; ++it) blocks_.push_back(std::move(it->second));
    delayed_.erase(delayed_.begin(), due);
  }
  size_t delayedPending() const {
    std::lock_guard lock(mutex_);
    return delayed_.size();
  }
  // Delay of the earliest waiting block, counted from now.
  std::chrono::milliseconds nextDelay() const {
    std::lock_guard lock(mutex_);
    return delayed_.empty() ? std::chrono::milliseconds::max() : delayed_.begin()->first.first - now_;
  }

 private:
  mutable std::mutex mutex_;
  std::deque<Block> blocks_;
  // By due time, then by submission.
  using Due = std::pair<std::chrono::milliseconds, TimerId>;
  std::map<Due, Block> delayed_;
  TimerId lastTimerId_ = 0;
  std::chrono::milliseconds now_{0};
  std::thread::id mainThread_ = std::this_thread::get_id();
};

}  // namespace dispatch::testing
