#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LaunchAtLogin/launch_at_login.h"
#include "LaunchAtLogin/launch_at_login_kvo.h"
#include "LaunchAtLogin/launch_at_login_observable.h"
#include "platform/bundle/testing/fake_bundle.h"
#include "platform/service_management/testing/fake_service_management.h"
#include "platform/system_log/testing/fake_system_log.h"
#include "platform/system_version/testing/fake_system_version.h"
#include "platform/user_defaults/testing/fake_user_defaults.h"

// LaunchAtLogin over fakes, with a fresh component for every test. `events` interleaves
// what the system was asked (the service management and the defaults) with what observers saw.
class LaunchAtLoginTest : public ::testing::Test {
 protected:
  static constexpr const char* kLegacyId = "com.example.app-LaunchAtLoginHelper";

  void SetUp() override {
    LaunchAtLogin::resetForTesting();
    LaunchAtLogin::installPlatform({services, version, bundle, defaults, log});
    services.onCall = [this](const std::string& call) { events.push_back("system " + call); };
    defaults.onCall = [this](const std::string& call) { events.push_back("system defaults " + call); };
  }
  void TearDown() override { LaunchAtLogin::resetForTesting(); }

  void useLegacySystem() { version.version = {12, 6, 0}; }

  // Creates the shared objects now (the publisher's first read is a system call of its own)
  // and forgets the calls that took.
  void createSharedObjects() {
    (void)LaunchAtLogin::publisher();
    services.calls.clear();
    events.clear();
  }

  // Every observer kind, recording into `events`; kept until the test ends.
  void observeEverything() {
    subscriptions.push_back(
        LaunchAtLogin::observable()->objectWillChange().sink([this] { events.push_back("observable willChange"); }));
    subscriptions.push_back(LaunchAtLogin::kvo()->addObserver(
        "isEnabled", [this](const std::string&, observation::KeyValueChangePhase phase) {
          bool now = LaunchAtLogin::kvo()->isEnabled();
          events.push_back(std::string(phase == observation::KeyValueChangePhase::WillChange ? "kvo will" : "kvo did") +
                           (now ? " (reads true)" : " (reads false)"));
        }));
    subscriptions.push_back(LaunchAtLogin::publisher().sink(
        [this](const bool& value) { events.push_back(value ? "publisher true" : "publisher false"); }));
  }

  // Events that are not system calls.
  std::vector<std::string> notifications() const {
    std::vector<std::string> out;
    for (const auto& event : events) {
      if (event.rfind("system ", 0) != 0) out.push_back(event);
    }
    return out;
  }

  service_management::testing::FakeServiceManagement services;
  system_version::testing::FakeSystemVersion version;
  bundle::testing::FakeBundle bundle;
  user_defaults::testing::FakeUserDefaults defaults;
  system_log::testing::FakeSystemLog log;
  std::vector<std::string> events;
  std::vector<observation::AnyCancellable> subscriptions;
};
