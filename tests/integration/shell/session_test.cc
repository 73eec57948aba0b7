// The real program in real login sessions, started headless on the X display of
// tests/run-tests: gnome-session (which tessra hears through GNOME's D-Bus session API, though
// it serves XSMP too) and xfce4-session (XSMP). A logout is one quit request, whatever the
// session speaks; launch at login is the session starting tessra's autostart entry.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "tests/integration/support/app_process.h"
#include "tests/integration/support/driver_client.h"
#include "tests/integration/support/login_session.h"
#include "tests/integration/support/x11_windows.h"

namespace tessra::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kQuestion = "Quit tessra?";

class InSession : public ::testing::TestWithParam<SessionManager> {
 protected:
  InSession() : session_(GetParam()) {}

  void SetUp() override {
    if (auto missing = LoginSession::missing(GetParam())) GTEST_SKIP() << *missing;
  }

  // Over XSMP tessra cancels the logout at once and the interface decides. GNOME's API lets
  // tessra hold the logout while the interface decides; with no shell to ask the user (as
  // here), gnome-session ends a held logout by itself a few seconds later.
  bool logoutIsCancelled() const { return GetParam() == SessionManager::kXfce; }

  std::string driverSocket() const { return session_.home() + "/driver.sock"; }

  // Logs in with tessra's autostart entry in place, and waits for the session to start it.
  void loginWithTessra(bool withDriver) {
    session_.addAutostartEntry("com.brovak.tessra", TESSRA_BINARY);
    std::map<std::string, std::string> env = {{"GDK_BACKEND", "x11"}};
    if (withDriver) env["TESSRA_DRIVER_SOCKET"] = driverSocket();
    session_.login(env);
    ASSERT_TRUE(session_.running()) << session_.log();
    ASSERT_TRUE(eventually([&] { return session_.find("tessra").has_value(); }, 30s))
        << "the session did not start tessra:\n"
        << session_.log();
    pid_ = *session_.find("tessra");
    if (withDriver) {
      driver_ = DriverClient::connect(driverSocket());
      ASSERT_TRUE(driver_) << session_.log();
    }
    ASSERT_TRUE(eventually([&] { return mainWindowShown(); })) << session_.log();
  }

  bool mainWindowShown() {
    auto window = x11_.find("tessra", pid_);
    return window && window->mapped;
  }
  bool asking() {
    auto window = x11_.find(kQuestion, pid_);
    return window && window->mapped;
  }
  bool tessraRunning() { return session_.find("tessra") == pid_; }

  int quitAttemptsSeen() {
    int count = 0;
    for (const auto& message : driver_->drainUnsolicited(2s))
      if (message.value("call", "") == "app.lifecycle.channel" && message.value("method", "") == "onQuitAttempt")
        ++count;
    return count;
  }

  // Answers the open question with a key of its buttons (Escape: Keep Running; Return: Quit).
  void answer(const std::string& key) {
    const std::string question = std::to_string(x11_.find(kQuestion, pid_)->id);
    ASSERT_EQ(runCommand({"xdotool", "windowactivate", "--sync", question}), 0);
    ASSERT_EQ(runCommand({"xdotool", "key", "--clearmodifiers", key}), 0);
  }

  LoginSession session_;
  X11Windows x11_;
  pid_t pid_ = -1;
  std::optional<DriverClient> driver_;
};

TEST_P(InSession, EachLogoutIsOneQuitRequest) {
  // The driver plays the interface: it sees each quit request, and nothing answers it.
  ASSERT_NO_FATAL_FAILURE(loginWithTessra(/*withDriver=*/true));
  ASSERT_TRUE(session_.logout());
  EXPECT_EQ(quitAttemptsSeen(), 1) << session_.log();
  if (!logoutIsCancelled()) {
    // Nobody can be asked, so nothing holds the logout.
    EXPECT_TRUE(session_.endsWithin(10s)) << session_.log();
    return;
  }
  EXPECT_TRUE(session_.running());
  EXPECT_TRUE(tessraRunning());
  ASSERT_TRUE(session_.logout());
  EXPECT_EQ(quitAttemptsSeen(), 1) << session_.log();
  EXPECT_TRUE(session_.running());
  EXPECT_TRUE(tessraRunning());
  // Only one protocol speaks for tessra: GTK's own D-Bus registration stays silent.
  EXPECT_EQ(session_.log().find("Inhibit"), std::string::npos) << session_.log();
}

TEST_P(InSession, KeepRunningLeavesTessraAndTheSessionRunning) {
  if (!logoutIsCancelled()) GTEST_SKIP() << "gnome-session with no shell ends a held logout by itself";
  ASSERT_NO_FATAL_FAILURE(loginWithTessra(/*withDriver=*/false));
  ASSERT_TRUE(session_.logout());
  ASSERT_TRUE(eventually([&] { return asking(); })) << session_.log();
  ASSERT_NO_FATAL_FAILURE(answer("Escape"));
  EXPECT_TRUE(eventually([&] { return !asking(); }));
  EXPECT_TRUE(tessraRunning());
  EXPECT_TRUE(session_.running());
}

TEST_P(InSession, QuitEndsTessraAndNothingOfItHoldsTheLogout) {
  ASSERT_NO_FATAL_FAILURE(loginWithTessra(/*withDriver=*/false));
  ASSERT_TRUE(session_.logout());
  ASSERT_TRUE(eventually([&] { return asking(); })) << session_.log();
  ASSERT_NO_FATAL_FAILURE(answer("Return"));
  EXPECT_TRUE(eventually([&] { return !tessraRunning(); })) << session_.log();
  // Where the logout was cancelled, the next one goes through at once.
  if (logoutIsCancelled()) {
    EXPECT_TRUE(session_.logout());
  }
  EXPECT_TRUE(session_.endsWithin(10s)) << session_.log();
}

TEST_P(InSession, ACheckpointAsksNothing) {
  if (GetParam() != SessionManager::kXfce) GTEST_SKIP() << "gnome-session saves no sessions on request";
  ASSERT_NO_FATAL_FAILURE(loginWithTessra(/*withDriver=*/true));
  ASSERT_TRUE(session_.checkpoint());
  EXPECT_EQ(quitAttemptsSeen(), 0);
  EXPECT_TRUE(tessraRunning());
  EXPECT_TRUE(session_.running());
}

TEST_P(InSession, TheNextSessionStartsTessraOnlyWhileLaunchAtLoginIsOn) {
  // A marker entry tells when the session has started its autostart entries.
  const std::string marker = session_.home() + "/logged-in";
  session_.addAutostartEntry("marker", "touch " + marker);
  TempDir scratch;
  {
    // Switched on from a tessra outside any session, as the user's own configuration. A bus of
    // its own: without one, GLib would start a lasting one for the display.
    ChildProcess app({"dbus-run-session", "--", TESSRA_BINARY},
                     {{"HOME", session_.home()},
                      {"XDG_CONFIG_HOME", session_.home() + "/.config"},
                      {"TESSRA_DRIVER_SOCKET", scratch.path() + "/driver.sock"},
                      {"GDK_BACKEND", "x11"}},
                     scratch.path(), /*ownProcessGroup=*/true);
    auto driver = DriverClient::connect(scratch.path() + "/driver.sock");
    ASSERT_TRUE(driver) << app.standardError();
    driver->invoke("launch_at_startup", "launchAtStartupSetEnabled", {{"setEnabledValue", true}});
  }

  session_.login({{"TESSRA_DRIVER_SOCKET", driverSocket()}, {"GDK_BACKEND", "x11"}});
  ASSERT_TRUE(eventually([&] { return session_.find("tessra").has_value(); }, 30s))
      << "the session did not start tessra's entry:\n"
      << session_.log();
  driver_ = DriverClient::connect(driverSocket());
  ASSERT_TRUE(driver_) << session_.log();
  EXPECT_EQ((*driver_->invoke("launch_at_startup", "launchAtStartupIsEnabled"))["reply"], true);
  driver_->invoke("launch_at_startup", "launchAtStartupSetEnabled", {{"setEnabledValue", false}});
  driver_.reset();

  std::filesystem::remove(marker);
  session_.login({{"TESSRA_DRIVER_SOCKET", driverSocket()}, {"GDK_BACKEND", "x11"}});
  ASSERT_TRUE(eventually([&] { return std::filesystem::exists(marker); }, 30s)) << session_.log();
  EXPECT_FALSE(eventually([&] { return session_.find("tessra").has_value(); }, 3s))
      << "switched off, yet the next session started tessra";
}

INSTANTIATE_TEST_SUITE_P(SessionManagers, InSession, ::testing::Values(SessionManager::kGnome, SessionManager::kXfce),
                         [](const auto& info) { return sessionManagerName(info.param); });

}  // namespace
}  // namespace tessra::testing
