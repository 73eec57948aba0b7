#pragma once

#include <chrono>
#include <functional>

namespace dispatch {

using Block = std::function<void()>;

// Port: the main queue. async() and asyncAfter() may be called from any thread; blocks run
// on the main thread, one at a time, in the order they were submitted (a delayed block
// counts as submitted when its delay has passed). The GLib adapter drains it from the
// default main context; FakeMainQueue runs blocks when a test says so.
class MainQueue {
 public:
  virtual ~MainQueue() = default;
  MainQueue() = default;
  MainQueue(const MainQueue&) = delete;
  MainQueue& operator=(const MainQueue&) = delete;

  virtual void async(Block block) = 0;
  // Submits `block` once `delay` has passed. There is no way to withdraw it: a block that
  // may have become pointless checks for itself (hold a weak_ptr, not a strong one, so a
  // pending timer keeps nothing alive). Blocks still waiting when the queue is destroyed
  // never run.
  virtual void asyncAfter(std::chrono::milliseconds delay, Block block) = 0;
  // True on the thread that runs the queue's blocks (for debug assertions).
  virtual bool isMainThread() const = 0;
};

}  // namespace dispatch
