#pragma once

#include <functional>

#include "platform/observation/observer_list.h"

namespace observation {

// The will-change notifier of an observable object: it carries no value; observers read
// the object themselves when they want to know what changed.
class ObservableObjectPublisher {
 public:
  ObservableObjectPublisher() = default;
  ObservableObjectPublisher(const ObservableObjectPublisher&) = delete;
  ObservableObjectPublisher& operator=(const ObservableObjectPublisher&) = delete;

  [[nodiscard]] AnyCancellable sink(std::function<void()> receive) { return observers_.add(std::move(receive)); }
  void send() { observers_.notify(); }

 private:
  ObserverList<> observers_;
};

// An object that announces coming changes through objectWillChange(). Views watch it and
// re-read the object before they next draw.
class ObservableObject {
 public:
  virtual ~ObservableObject() = default;
  ObservableObject() = default;
  ObservableObject(const ObservableObject&) = delete;
  ObservableObject& operator=(const ObservableObject&) = delete;

  ObservableObjectPublisher& objectWillChange() { return objectWillChange_; }

 private:
  ObservableObjectPublisher objectWillChange_;
};

}  // namespace observation
