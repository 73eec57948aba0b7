#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/observation/observer_list.h"

namespace observation {

enum class KeyValueChangePhase {
  WillChange,  // sent before the value changes: a read sees the old value
  DidChange,   // sent after: a read sees the new value
};

using KeyValueObserver = std::function<void(const std::string& key, KeyValueChangePhase phase)>;

// Key-value observing for one object: observers register for a key and hear will-change and
// did-change for it, synchronously on the changing thread. The object announces its own
// changes; there is no automatic notification. Thread-safe; no lock held while observers run.
class NSObject {
 public:
  virtual ~NSObject() = default;
  NSObject() = default;
  NSObject(const NSObject&) = delete;
  NSObject& operator=(const NSObject&) = delete;

  [[nodiscard]] AnyCancellable addObserver(const std::string& key, KeyValueObserver observer) {
    return observersFor(key).add(std::move(observer));
  }

  void willChangeValueForKey(const std::string& key) { notify(key, KeyValueChangePhase::WillChange); }
  void didChangeValueForKey(const std::string& key) { notify(key, KeyValueChangePhase::DidChange); }

 private:
  using List = ObserverList<const std::string&, KeyValueChangePhase>;

  List& observersFor(const std::string& key) {
    std::lock_guard lock(mutex_);
    auto& list = byKey_[key];
    if (!list) list = std::make_unique<List>();
    return *list;
  }
  void notify(const std::string& key, KeyValueChangePhase phase) {
    List* list = nullptr;
    {
      std::lock_guard lock(mutex_);
      auto it = byKey_.find(key);
      if (it == byKey_.end()) return;
      list = it->second.get();  // lists are never removed, so the pointer stays good
    }
    list->notify(key, phase);
  }

  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<List>> byKey_;
};

}  // namespace observation
