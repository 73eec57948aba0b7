// Change observation around writes, and the toggle view over a headless host.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LaunchAtLogin/launch_at_login_toggle.h"
#include "LaunchAtLogin/testing/launch_at_login_fixture.h"
#include "platform/view/testing/fake_toggle_host.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using service_management::SMAppServiceStatus;

// --- Order and payloads -----------------------------------------------------------------

TEST_F(LaunchAtLoginTest, AWriteTellsTheThreeObserverKindsAroundTheSystemChange) {
  observeEverything();
  events.clear();
  LaunchAtLogin::setIsEnabled(true);
  EXPECT_THAT(events, ElementsAre("observable willChange",                          //
                                  "system mainAppService", "system main.status",    // the observer's read
                                  "kvo will (reads false)",                         //
                                  "system mainAppService", "system main.register",  // the write itself
                                  "system mainAppService", "system main.status",    // the observer's read
                                  "kvo did (reads true)",                           //
                                  "publisher true"));
}

TEST_F(LaunchAtLoginTest, ARefusedEnableIsDeliveredAsAskedWhileReadsTellTheTruth) {
  services.main.registerError = "denied";
  observeEverything();
  events.clear();
  LaunchAtLogin::setIsEnabled(true);
  EXPECT_THAT(notifications(), ElementsAre("observable willChange", "kvo will (reads false)", "kvo did (reads false)",
                                           "publisher true"));
}

TEST_F(LaunchAtLoginTest, WritingTheSameValueTwiceNotifiesTwice) {
  observeEverything();
  events.clear();
  LaunchAtLogin::setIsEnabled(true);
  LaunchAtLogin::setIsEnabled(true);
  const auto seen = notifications();
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "observable willChange"), 2);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "kvo will (reads true)"), 1);  // the second write's
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "kvo did (reads true)"), 2);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "publisher true"), 2);
  EXPECT_EQ(services.count("main.register"), 2);
}

TEST_F(LaunchAtLoginTest, WritesThroughTheSharedObjectsAreFullWrites) {
  observeEverything();
  events.clear();
  LaunchAtLogin::observable()->setIsEnabled(true);
  const auto throughObservable = notifications();
  events.clear();
  EXPECT_TRUE(LaunchAtLogin::kvo()->setValueForKey(false, "isEnabled"));
  const auto throughKvo = notifications();

  EXPECT_THAT(throughObservable,
              ElementsAre("observable willChange", "kvo will (reads false)", "kvo did (reads true)", "publisher true"));
  EXPECT_THAT(throughKvo, ElementsAre("observable willChange", "kvo will (reads true)", "kvo did (reads false)",
                                      "publisher false"));
  events.clear();
  EXPECT_FALSE(LaunchAtLogin::kvo()->setValueForKey(true, "somethingElse"));
  EXPECT_EQ(LaunchAtLogin::kvo()->valueForKey("somethingElse"), std::nullopt);
  EXPECT_THAT(events, IsEmpty());
}

TEST_F(LaunchAtLoginTest, ReadsNotifyNobody) {
  observeEverything();
  events.clear();
  (void)LaunchAtLogin::isEnabled();
  (void)LaunchAtLogin::observable()->isEnabled();
  (void)LaunchAtLogin::kvo()->valueForKey("isEnabled");
  EXPECT_THAT(notifications(), IsEmpty());
}

// --- The publisher's first value --------------------------------------------------------

TEST_F(LaunchAtLoginTest, AnEarlySubscriberGetsTheStateAtCreationOnce) {
  services.main.status = SMAppServiceStatus::Enabled;
  std::vector<bool> received;
  auto subscription = LaunchAtLogin::publisher().sink([&](const bool& value) { received.push_back(value); });
  services.main.status = SMAppServiceStatus::NotRegistered;  // the subject keeps what it read
  auto late = LaunchAtLogin::publisher().sink([&](const bool& value) { received.push_back(value); });
  EXPECT_THAT(received, ElementsAre(true, true));
}

TEST_F(LaunchAtLoginTest, APublisherFirstNeededByAWriteStartsFromTheStateAfterIt) {
  services.main.registerError = "denied";
  // A did-change observer that reads nothing marks the write's fourth step in the log.
  subscriptions.push_back(LaunchAtLogin::kvo()->addObserver(
      "isEnabled", [this](const std::string&, observation::KeyValueChangePhase phase) {
        if (phase == observation::KeyValueChangePhase::DidChange) events.push_back("kvo did");
      }));
  events.clear();
  LaunchAtLogin::setIsEnabled(true);  // creates the subject with a read (false), then sends true
  // Created at the fifth step, not before: its read follows the change and the did-change.
  EXPECT_THAT(events, ElementsAre("system mainAppService", "system main.register", "kvo did", "system mainAppService",
                                  "system main.status"));
  std::vector<bool> received;
  auto subscription = LaunchAtLogin::publisher().sink([&](const bool& value) { received.push_back(value); });
  EXPECT_THAT(received, ElementsAre(true));
  EXPECT_FALSE(LaunchAtLogin::isEnabled());
}

TEST_F(LaunchAtLoginTest, ACancelledSubscriptionHearsNothingMore) {
  int heard = 0;
  auto subscription = LaunchAtLogin::observable()->objectWillChange().sink([&] { ++heard; });
  LaunchAtLogin::setIsEnabled(true);
  subscription.cancel();
  LaunchAtLogin::setIsEnabled(false);
  EXPECT_EQ(heard, 1);
}

// --- Toggle -----------------------------------------------------------------------------

TEST_F(LaunchAtLoginTest, ToggleLabels) {
  EXPECT_EQ(LaunchAtLogin::Toggle<>().body().label.content(), "Launch at login");
  EXPECT_FALSE(LaunchAtLogin::Toggle<>().body().label.isLocalized());
  EXPECT_EQ(LaunchAtLogin::Toggle<>(std::string("Start with the session")).body().label.content(),
            "Start with the session");
  const view::Text localized = LaunchAtLogin::Toggle<>(view::LocalizedStringKey{"launch.key"}).body().label;
  EXPECT_TRUE(localized.isLocalized());
  EXPECT_EQ(localized.content(), "launch.key");

  struct Badge {
    int stars;
  };
  int built = 0;
  LaunchAtLogin::Toggle<Badge> custom([&] {
    ++built;
    return Badge{3};
  });
  (void)custom.body();
  (void)custom.body();
  EXPECT_EQ(custom.body().label.stars, 3);
  EXPECT_EQ(built, 1);
}

TEST_F(LaunchAtLoginTest, ToggleShowsFreshReadsAndRedrawsOnEveryWriter) {
  view::testing::FakeToggleHost host(LaunchAtLogin::Toggle<>().body());
  EXPECT_FALSE(host.shown);

  host.flip();  // the user switches it on: one full write
  EXPECT_EQ(services.count("main.register"), 1);
  EXPECT_TRUE(host.runPendingRedraw());
  EXPECT_TRUE(host.shown);

  LaunchAtLogin::setIsEnabled(false);  // another writer
  EXPECT_TRUE(host.dirty);
  EXPECT_TRUE(host.runPendingRedraw());
  EXPECT_FALSE(host.shown);
}

TEST_F(LaunchAtLoginTest, ARefusedFlipSpringsBackOnTheNextRedraw) {
  services.main.registerError = "denied";
  view::testing::FakeToggleHost host(LaunchAtLogin::Toggle<>().body());
  host.flip();
  EXPECT_TRUE(host.runPendingRedraw());
  EXPECT_FALSE(host.shown);
  EXPECT_EQ(log.entries.size(), 1u);
}
