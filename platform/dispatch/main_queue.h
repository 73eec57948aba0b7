#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace dispatch {

using Block = std::function<void()>;
// Names one delayed block, so that it can be withdrawn. Never 0.
using TimerId = std::uint64_t;

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
  // Submits `block` once `delay` has passed. Blocks still waiting when the queue is
  // destroyed never run.
  virtual TimerId asyncAfter(std::chrono::milliseconds delay, Block block) = 0;
  // Main thread only. Withdraws a delayed block that has not come due, and drops it (and
  // what it holds) at once; a block that has come due is already queued and still runs, so
  // it checks for itself whether it has become pointless. An unknown or spent id does
  // nothing. Whoever waits for something that usually comes first withdraws its timer when
  // it comes: a timer left behind costs the main loop a little at every turn until it fires.
  virtual void cancelAsyncAfter(TimerId timer) = 0;
  // True on the thread that runs the queue's blocks (for debug assertions).
  virtual bool isMainThread() const = 0;
};

}  // namespace dispatch
