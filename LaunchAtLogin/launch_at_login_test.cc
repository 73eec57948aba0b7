// Login item state: reads, writes, the legacy job list, failure logging and the migration.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LaunchAtLogin/testing/launch_at_login_fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using service_management::JobDictionaries;
using service_management::JobDictionary;
using service_management::SMAppServiceStatus;

namespace {

// A job; nothing stands for a key that is absent or holds another kind of value.
JobDictionary job(std::optional<std::string> label, std::optional<bool> onDemand) { return {label, onDemand}; }

}  // namespace

// --- Modern mechanism -------------------------------------------------------------------

TEST_F(LaunchAtLoginTest, OnlyAnEnabledStatusReadsAsEnabledAndEveryReadAsksTheSystem) {
  for (auto [status, expected] : {std::pair{SMAppServiceStatus::NotRegistered, false},
                                  {SMAppServiceStatus::Enabled, true},
                                  {SMAppServiceStatus::RequiresApproval, false},
                                  {SMAppServiceStatus::NotFound, false}}) {
    services.main.status = status;
    EXPECT_EQ(LaunchAtLogin::isEnabled(), expected) << static_cast<long>(status);
  }
  EXPECT_EQ(services.count("main.status"), 4);
  EXPECT_EQ(version.queries, 4);
  EXPECT_EQ(services.count("SMCopyAllJobDictionaries"), 0);
}

TEST_F(LaunchAtLoginTest, EnablingWhatIsAlreadyEnabledReplacesTheRegistrationInOneStep) {
  services.main.status = SMAppServiceStatus::Enabled;
  createSharedObjects();
  LaunchAtLogin::setIsEnabled(true);
  // Never unregistered first: a working registration is not removed before its successor exists.
  EXPECT_THAT(services.calls, ElementsAre("mainAppService", "main.register"));
  EXPECT_THAT(log.entries, IsEmpty());

  // A failed re-registration leaves the working one as it was, with one line in the log.
  services.main.registerError = "The location of this program is unknown";
  LaunchAtLogin::setIsEnabled(true);
  EXPECT_TRUE(LaunchAtLogin::isEnabled());
  EXPECT_EQ(services.count("main.unregister"), 0);
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0].message, "Failed to enable launch at login: The location of this program is unknown");
}

TEST_F(LaunchAtLoginTest, DisablingUnregistersAndTheModernPathNeverFormsTheLegacyId) {
  services.main.status = SMAppServiceStatus::Enabled;
  bundle.identifier = std::nullopt;  // the modern path must not need it
  createSharedObjects();
  LaunchAtLogin::setIsEnabled(false);
  EXPECT_THAT(services.calls, ElementsAre("mainAppService", "main.unregister"));
  EXPECT_FALSE(LaunchAtLogin::isEnabled());
}

TEST_F(LaunchAtLoginTest, RefusedChangesAreLoggedOnceWithTheirReason) {
  services.main.registerError = "Permission denied";
  LaunchAtLogin::setIsEnabled(true);
  services.main.status = SMAppServiceStatus::Enabled;
  services.main.unregisterError = "Read-only file system %s";
  LaunchAtLogin::setIsEnabled(false);

  ASSERT_EQ(log.entries.size(), 2u);
  EXPECT_EQ(log.entries[0].subsystem, "com.marwelquiste.LaunchAtLogin");
  EXPECT_EQ(log.entries[0].category, "main");
  EXPECT_EQ(log.entries[0].message, "Failed to enable launch at login: Permission denied");
  EXPECT_EQ(log.entries[1].message, "Failed to disable launch at login: Read-only file system %s");
  EXPECT_EQ(log.loggersMade, 1);
  EXPECT_TRUE(LaunchAtLogin::isEnabled());  // the disable did not take
}

TEST_F(LaunchAtLoginTest, NothingIsLoggedWhenTheErrorLevelIsOff) {
  log.errorEnabled = false;
  services.main.registerError = "Permission denied";
  LaunchAtLogin::setIsEnabled(true);
  EXPECT_THAT(log.entries, IsEmpty());
}

TEST_F(LaunchAtLoginTest, ModifyReadsOnceThenWritesTheChangedValue) {
  services.main.status = SMAppServiceStatus::Enabled;
  createSharedObjects();
  LaunchAtLogin::modifyIsEnabled([](bool& value) { value = !value; });
  EXPECT_THAT(services.calls, ElementsAre("mainAppService", "main.status", "mainAppService", "main.unregister"));
  LaunchAtLogin::observable()->modifyIsEnabled([](bool& value) { value = !value; });
  EXPECT_TRUE(LaunchAtLogin::isEnabled());
}

// --- Legacy mechanism -------------------------------------------------------------------

TEST_F(LaunchAtLoginTest, LegacyWriteSwitchesTheHelperAndIgnoresItsOutcome) {
  useLegacySystem();
  services.legacySwitchSucceeds = false;
  createSharedObjects();
  LaunchAtLogin::setIsEnabled(true);
  EXPECT_THAT(services.calls, ElementsAre(std::string("SMLoginItemSetEnabled ") + kLegacyId + " true"));
  EXPECT_THAT(log.entries, IsEmpty());
}

TEST_F(LaunchAtLoginTest, LegacyReadFollowsTheFirstJobWithTheHelpersLabel) {
  useLegacySystem();
  struct Case {
    const char* name;
    std::optional<JobDictionaries> jobs;
    bool expected;
  };
  // A list that is not one, or that holds an element that is not a dictionary with string
  // keys, reaches the component as no list at all (the port's contract): the first row.
  const std::vector<Case> cases = {
      {"no job list", std::nullopt, false},
      {"empty list", JobDictionaries{}, false},
      {"no job of ours", JobDictionaries{job("other", true)}, false},
      {"ours, on demand", JobDictionaries{job("other", false), job(kLegacyId, true)}, true},
      {"ours, not on demand", JobDictionaries{job(kLegacyId, false)}, false},
      {"first of two decides (false)", JobDictionaries{job(kLegacyId, false), job(kLegacyId, true)}, false},
      {"first of two decides (absent)", JobDictionaries{job(kLegacyId, std::nullopt), job(kLegacyId, true)}, false},
      {"OnDemand absent or not a boolean", JobDictionaries{job(kLegacyId, std::nullopt)}, false},
      {"a label that is absent or not a string is skipped",
       JobDictionaries{job(std::nullopt, false), job(kLegacyId, true)}, true},
  };
  for (const auto& c : cases) {
    services.jobDictionaries = c.jobs;
    EXPECT_EQ(LaunchAtLogin::isEnabled(), c.expected) << c.name;
  }
  EXPECT_EQ(services.count("mainAppService"), 0);
}

TEST_F(LaunchAtLoginTest, WithoutABundleIdentifierTheLegacyPathsDoNothing) {
  useLegacySystem();
  bundle.identifier = std::nullopt;
  services.jobDictionaries = JobDictionaries{job("-LaunchAtLoginHelper", true)};
  EXPECT_FALSE(LaunchAtLogin::isEnabled());
  LaunchAtLogin::setIsEnabled(true);
  EXPECT_THAT(services.calls, IsEmpty());
}

// --- Migration --------------------------------------------------------------------------

TEST_F(LaunchAtLoginTest, MigrationOnALegacySystemTouchesNothing) {
  useLegacySystem();
  LaunchAtLogin::migrateIfNeeded();
  EXPECT_THAT(defaults.calls, IsEmpty());
  EXPECT_THAT(services.calls, IsEmpty());
}

TEST_F(LaunchAtLoginTest, MigrationMovesAnEnabledHelperOnceAndSilently) {
  services.jobDictionaries = JobDictionaries{job(kLegacyId, true)};
  services.main.registerError = "denied";  // the flag is written anyway, and first
  observeEverything();
  events.clear();
  services.calls.clear();

  LaunchAtLogin::migrateIfNeeded();
  // One log for the defaults and the services: the flag is written before any other step.
  EXPECT_THAT(events, ElementsAre("system defaults read LaunchAtLogin__hasMigrated",
                                  "system defaults write LaunchAtLogin__hasMigrated true",
                                  "system SMCopyAllJobDictionaries", "system mainAppService", "system main.register",
                                  std::string("system SMLoginItemSetEnabled ") + kLegacyId + " false",
                                  std::string("system loginItemServiceWithIdentifier ") + kLegacyId,
                                  std::string("system ") + kLegacyId + ".unregister"));
  EXPECT_THAT(notifications(), IsEmpty());
  EXPECT_EQ(log.entries.size(), 1u);  // the modern write logs its own failure as always

  services.calls.clear();
  defaults.calls.clear();
  LaunchAtLogin::migrateIfNeeded();
  EXPECT_THAT(defaults.calls, ElementsAre("read LaunchAtLogin__hasMigrated"));
  EXPECT_THAT(services.calls, IsEmpty());
}

TEST_F(LaunchAtLoginTest, MigrationOfADisabledHelperOnlyRemovesIt) {
  services.jobDictionaries = JobDictionaries{job(kLegacyId, false)};
  LaunchAtLogin::migrateIfNeeded();
  EXPECT_TRUE(defaults.values["LaunchAtLogin__hasMigrated"]);
  EXPECT_EQ(services.count("mainAppService"), 0);
  EXPECT_EQ(services.count("SMLoginItemSetEnabled"), 1);
  EXPECT_EQ(services.count(std::string(kLegacyId) + ".unregister"), 1);
}
