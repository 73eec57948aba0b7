#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "platform/observation/observer_list.h"

namespace observation {

template <typename T>
class CurrentValueSubject;

// A read-only view of a subject: subscribers get the current value at once, then every
// value sent. It keeps the subject alive; nobody can send through it.
template <typename T>
class AnyPublisher {
 public:
  explicit AnyPublisher(std::shared_ptr<CurrentValueSubject<T>> subject) : subject_(std::move(subject)) {}

  [[nodiscard]] AnyCancellable sink(std::function<void(const T&)> receive) const {
    return subject_->sink(std::move(receive));
  }

 private:
  std::shared_ptr<CurrentValueSubject<T>> subject_;
};

// Holds a current value and sends every new value to its subscribers, synchronously on the
// sending thread. Equal values are sent like any other. Thread-safe; no lock held while
// subscribers run. Create it with std::make_shared so that publishers can share it.
template <typename T>
class CurrentValueSubject : public std::enable_shared_from_this<CurrentValueSubject<T>> {
 public:
  explicit CurrentValueSubject(T value) : value_(std::move(value)) {}
  CurrentValueSubject(const CurrentValueSubject&) = delete;
  CurrentValueSubject& operator=(const CurrentValueSubject&) = delete;

  T value() const {
    std::lock_guard lock(mutex_);
    return value_;
  }

  void send(T value) {
    {
      std::lock_guard lock(mutex_);
      value_ = value;
    }
    subscribers_.notify(value);
  }

  // The subscriber hears the value current at the moment of subscribing, then every send.
  [[nodiscard]] AnyCancellable sink(std::function<void(const T&)> receive) {
    AnyCancellable subscription = subscribers_.add(receive);
    receive(value());
    return subscription;
  }

  AnyPublisher<T> eraseToAnyPublisher() { return AnyPublisher<T>(this->shared_from_this()); }

 private:
  mutable std::mutex mutex_;
  T value_;
  ObserverList<const T&> subscribers_;
};

}  // namespace observation
