// The observation primitives: delivery, cancellation from anywhere, re-entrancy.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "platform/observation/current_value_subject.h"
#include "platform/observation/key_value_observing.h"
#include "platform/observation/observable_object.h"

using ::testing::ElementsAre;
using namespace observation;

TEST(Observation, CancellationIsRaiiAndSurvivesTheSource) {
  int heard = 0;
  AnyCancellable outlives;
  {
    ObservableObjectPublisher publisher;
    {
      auto scoped = publisher.sink([&] { ++heard; });
      publisher.send();
    }
    publisher.send();
    outlives = publisher.sink([&] { ++heard; });
    AnyCancellable moved = std::move(outlives);
    outlives = std::move(moved);
  }
  outlives.cancel();  // the publisher is gone: nothing to do, nothing to crash
  EXPECT_EQ(heard, 1);
}

TEST(Observation, ObserversMayCancelSubscribeAndSendFromInsideADelivery) {
  ObservableObjectPublisher publisher;
  std::vector<std::string> log;
  std::optional<AnyCancellable> second;
  std::optional<AnyCancellable> added;
  auto first = publisher.sink([&] {
    log.push_back("first");
    second.reset();  // cancels a later observer of this same delivery
    if (!added) {
      added = publisher.sink([&] { log.push_back("added"); });
      publisher.send();  // would deadlock if a lock were held around observers
    }
  });
  second = publisher.sink([&] { log.push_back("second"); });
  publisher.send();
  EXPECT_THAT(log, ElementsAre("first", "first", "added"));
}

TEST(Observation, KeyValueObserversHearOnlyTheirKeyInPhaseOrder) {
  NSObject object;
  std::vector<std::string> log;
  auto subscription = object.addObserver("isEnabled", [&](const std::string& key, KeyValueChangePhase phase) {
    log.push_back(key + (phase == KeyValueChangePhase::WillChange ? " will" : " did"));
  });
  object.willChangeValueForKey("other");
  object.willChangeValueForKey("isEnabled");
  object.didChangeValueForKey("isEnabled");
  subscription.cancel();
  object.didChangeValueForKey("isEnabled");
  EXPECT_THAT(log, ElementsAre("isEnabled will", "isEnabled did"));
}

TEST(Observation, SubjectGivesTheCurrentValueThenEverySendIncludingRepeats) {
  auto subject = std::make_shared<CurrentValueSubject<bool>>(false);
  AnyPublisher<bool> publisher = subject->eraseToAnyPublisher();
  std::vector<bool> received;
  auto subscription = publisher.sink([&](const bool& value) { received.push_back(value); });
  subject->send(true);
  subject->send(true);
  std::vector<bool> late;
  auto lateSubscription = publisher.sink([&](const bool& value) { late.push_back(value); });
  EXPECT_THAT(received, ElementsAre(false, true, true));
  EXPECT_THAT(late, ElementsAre(true));
}

TEST(Observation, DeliveryHappensOnTheSendingThread) {
  ObservableObjectPublisher publisher;
  std::thread::id deliveredOn;
  auto subscription = publisher.sink([&] { deliveredOn = std::this_thread::get_id(); });
  std::thread::id senderId;
  std::thread sender([&] {
    senderId = std::this_thread::get_id();
    publisher.send();
  });
  sender.join();
  EXPECT_EQ(deliveredOn, senderId);
}
