#pragma once

#include <functional>

namespace dispatch {

using Block = std::function<void()>;

// Port: the main queue. async() may be called from any thread; blocks run on the main
// thread, one at a time, in the order they were submitted. The GLib adapter drains it from
// the default main context; FakeMainQueue runs blocks when a test says so.
class MainQueue {
 public:
  virtual ~MainQueue() = default;
  MainQueue() = default;
  MainQueue(const MainQueue&) = delete;
  MainQueue& operator=(const MainQueue&) = delete;

  virtual void async(Block block) = 0;
  // True on the thread that runs the queue's blocks (for debug assertions).
  virtual bool isMainThread() const = 0;
};

}  // namespace dispatch
