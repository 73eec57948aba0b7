#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace observation {

// A subscription. Cancelling (or destroying) it stops delivery; after cancel() returns on
// the delivering thread no new call starts. Safe to outlive what it subscribed to.
class AnyCancellable {
 public:
  AnyCancellable() = default;
  explicit AnyCancellable(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
  ~AnyCancellable() { cancel(); }
  AnyCancellable(AnyCancellable&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
  AnyCancellable& operator=(AnyCancellable&& other) noexcept {
    if (this != &other) {
      cancel();
      cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
  }
  AnyCancellable(const AnyCancellable&) = delete;
  AnyCancellable& operator=(const AnyCancellable&) = delete;

  void cancel() {
    if (auto cancel = std::exchange(cancel_, nullptr)) cancel();
  }

 private:
  std::function<void()> cancel_;
};

// The observers of one notification. notify() takes a snapshot under the lock and calls the
// observers with no lock held, so an observer may subscribe, cancel or notify again from
// inside its call. Observers run synchronously on the notifying thread, in subscription order.
template <typename... Args>
class ObserverList {
 public:
  using Observer = std::function<void(Args...)>;

  ObserverList() : shared_(std::make_shared<Shared>()) {}
  ObserverList(const ObserverList&) = delete;
  ObserverList& operator=(const ObserverList&) = delete;

  [[nodiscard]] AnyCancellable add(Observer observer) {
    auto entry = std::make_shared<Entry>(std::move(observer));
    {
      std::lock_guard lock(shared_->mutex);
      shared_->entries.push_back(entry);
    }
    std::weak_ptr<Shared> weakShared = shared_;
    std::weak_ptr<Entry> weakEntry = entry;
    return AnyCancellable([weakShared, weakEntry] {
      auto entry = weakEntry.lock();
      if (!entry) return;
      entry->active = false;
      if (auto shared = weakShared.lock()) {
        std::lock_guard lock(shared->mutex);
        std::erase(shared->entries, entry);
      }
    });
  }

  void notify(Args... args) const {
    std::vector<std::shared_ptr<Entry>> snapshot;
    {
      std::lock_guard lock(shared_->mutex);
      snapshot = shared_->entries;
    }
    for (const auto& entry : snapshot) {
      if (entry->active) entry->observer(args...);
    }
  }

  size_t size() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->entries.size();
  }

 private:
  struct Entry {
    explicit Entry(Observer o) : observer(std::move(o)) {}
    Observer observer;
    std::atomic<bool> active{true};
  };
  struct Shared {
    std::mutex mutex;
    std::vector<std::shared_ptr<Entry>> entries;
  };
  std::shared_ptr<Shared> shared_;
};

}  // namespace observation
