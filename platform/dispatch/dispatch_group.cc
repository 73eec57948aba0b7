#include "platform/dispatch/dispatch_group.h"

#include <cassert>

namespace dispatch {

void DispatchGroup::enter() {
  std::lock_guard lock(mutex_);
  ++count_;
}

void DispatchGroup::leave() {
  std::vector<Pending> ready;
  {
    std::lock_guard lock(mutex_);
    assert(count_ > 0 && "DispatchGroup::leave without a matching enter");
    if (count_ == 0) return;
    if (--count_ == 0) ready = takeNotificationsLocked();
  }
  // Submitted outside the lock: a queue may run the block at once.
  for (auto& pending : ready) pending.queue->async(std::move(pending.block));
}

void DispatchGroup::notify(MainQueue& queue, Block block) {
  {
    std::lock_guard lock(mutex_);
    if (count_ > 0) {
      notifications_.push_back({&queue, std::move(block)});
      return;
    }
  }
  queue.async(std::move(block));
}

std::vector<DispatchGroup::Pending> DispatchGroup::takeNotificationsLocked() {
  std::vector<Pending> ready;
  ready.swap(notifications_);
  return ready;
}

}  // namespace dispatch
