#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/dispatch/main_queue.h"

namespace dispatch {

// Counts outstanding pieces of work; when the count returns to zero, every registered
// notification is submitted to its queue. Thread-safe. Share it (std::shared_ptr) with the
// work that leaves it: the group must outlive the last leave and its notifications.
class DispatchGroup {
 public:
  static std::shared_ptr<DispatchGroup> create() { return std::make_shared<DispatchGroup>(); }

  void enter();
  // Must balance an earlier enter() (asserted in debug builds).
  void leave();
  // Submits `block` to `queue` once the group is empty; at once if it is empty now.
  void notify(MainQueue& queue, Block block);

 private:
  struct Pending {
    MainQueue* queue;
    Block block;
  };
  std::vector<Pending> takeNotificationsLocked();

  std::mutex mutex_;
  long count_ = 0;
  std::vector<Pending> notifications_;
};

}  // namespace dispatch
