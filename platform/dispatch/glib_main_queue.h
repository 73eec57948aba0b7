#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/dispatch/main_queue.h"

namespace dispatch {

// The main queue on Linux: blocks run from GLib's default main context, so they take
// their turn with GTK's own events. One GSource drains a mutex-protected FIFO; async()
// from any thread appends and wakes the context. The queue must be created, and
// destroyed, on the thread that iterates the default main context (the main thread), and
// it must outlive everything that may still post into it.
class GlibMainQueue : public MainQueue {
 public:
  GlibMainQueue();
  ~GlibMainQueue() override;

  void async(Block block) override;
  TimerId asyncAfter(std::chrono::milliseconds delay, Block block) override;
  void cancelAsyncAfter(TimerId timer) override;
  bool isMainThread() const override;

 private:
  struct QueueSource;
  struct Timer;
  friend struct QueueSource;

  bool hasPending() const;
  // Runs the oldest block; false when none is queued.
  bool runOne();
  void timerFired(TimerId timer);
  // Takes the timer out of the table, or null when it fired or was withdrawn already.
  // Called with mutex_ held.
  std::unique_ptr<Timer> takeTimerLocked(TimerId timer);

  mutable std::mutex mutex_;
  std::deque<Block> blocks_;
  // Keyed by id: a fast driver's permission checks start and withdraw timers by the
  // thousand, so neither may walk the others.
  std::unordered_map<TimerId, std::unique_ptr<Timer>> timers_;
  TimerId lastTimerId_ = 0;
  QueueSource* source_ = nullptr;
  std::thread::id mainThread_;
};

}  // namespace dispatch
