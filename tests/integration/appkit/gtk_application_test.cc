// The real GTK application kit, driven from outside the way a desktop does: second launches,
// `gapplication action ... quit`, the window manager's close request, no session bus.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "tests/integration/support/app_process.h"
#include "tests/integration/support/x11_windows.h"

namespace tessra::testing {
namespace {

using namespace std::chrono_literals;

class GtkApplicationKit : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (tests/run-tests starts Xvfb)";
    if (!getenv("DBUS_SESSION_BUS_ADDRESS")) GTEST_SKIP() << "needs a private session bus (dbus-run-session)";
    // NO_AT_BRIDGE: the accessibility bus adds nothing here but noise on standard error.
    env_ = {{"HOME", dir_.path()}, {"XDG_CONFIG_HOME", dir_.path() + "/config"}, {"NO_AT_BRIDGE", "1"}};
  }

  std::unique_ptr<ChildProcess> launch(const std::string& quitMode = "cancel",
                                       std::map<std::string, std::string> extraEnv = {}) {
    auto env = env_;
    env.insert(extraEnv.begin(), extraEnv.end());
    return std::make_unique<ChildProcess>(std::vector<std::string>{APPKIT_PROBE, quitMode}, env, dir_.path());
  }

  static bool said(ChildProcess& probe, const std::string& line) {
    return probe.standardOutput().find(line + "\n") != std::string::npos;
  }
  static int timesSaid(ChildProcess& probe, const std::string& line) {
    const std::string out = probe.standardOutput();
    int count = 0;
    for (size_t at = out.find(line + "\n"); at != std::string::npos; at = out.find(line + "\n", at + 1)) ++count;
    return count;
  }

  bool windowMapped(ChildProcess& probe) {
    auto window = x11_.find("appkit-probe", probe.pid());
    return window && window->mapped;
  }

  int quitFromOutside() { return runCommand({"gapplication", "action", TESSRA_APPLICATION_ID, "quit"}, env_); }

  TempDir dir_;
  std::map<std::string, std::string> env_;
  X11Windows x11_;
};

TEST_F(GtkApplicationKit, LaunchLoadsTheDescriptionBeforeFinishingAndShowsItsWindow) {
  auto probe = launch();
  ASSERT_TRUE(eventually([&] { return windowMapped(*probe); })) << probe->standardError();
  EXPECT_EQ(probe->standardOutput(), "instantiate\ndidFinishLaunching\n")
      << "the launch's own activation is not a reopen";
  auto window = x11_.find("appkit-probe", probe->pid());
  EXPECT_EQ(window->width, 640);
  EXPECT_EQ(window->height, 480);
}

TEST_F(GtkApplicationKit, QuitFromOutsideIsAskedEachTimeAndCancelKeepsRunning) {
  auto probe = launch("cancel");
  ASSERT_TRUE(eventually([&] { return windowMapped(*probe); }));
  ASSERT_EQ(quitFromOutside(), 0);
  ASSERT_EQ(quitFromOutside(), 0);
  ASSERT_TRUE(eventually([&] { return timesSaid(*probe, "quitRequest") == 2; })) << probe->standardOutput();
  EXPECT_TRUE(probe->running());
  EXPECT_TRUE(windowMapped(*probe));
}

TEST_F(GtkApplicationKit, TerminateNowEndsTheLoopWithStatusZero) {
  auto probe = launch("now");
  ASSERT_TRUE(eventually([&] { return windowMapped(*probe); }));
  ASSERT_EQ(quitFromOutside(), 0);
  EXPECT_EQ(probe->waitForExit(10s), 0) << probe->standardError();
  EXPECT_TRUE(said(*probe, "exit 0"));
}

TEST_F(GtkApplicationKit, NSApplicationMainReturnsTheStatusGivenToStop) {
  auto probe = launch("stop:7");
  ASSERT_TRUE(eventually([&] { return windowMapped(*probe); }));
  ASSERT_EQ(quitFromOutside(), 0);
  EXPECT_EQ(probe->waitForExit(10s), 7) << probe->standardError();
}

TEST_F(GtkApplicationKit, TheCloseButtonHidesAndASecondLaunchReopensInTheFirst) {
  auto probe = launch();
  ASSERT_TRUE(eventually([&] { return windowMapped(*probe); }));

  x11_.requestClose(x11_.find("appkit-probe", probe->pid())->id);
  ASSERT_TRUE(eventually([&] { return !windowMapped(*probe); }));
  ASSERT_TRUE(eventually([&] { return said(*probe, "lastWindowClosed"); }));
  EXPECT_TRUE(probe->running()) << "closing the last window never ends the application";

  auto second = launch();
  EXPECT_EQ(second->waitForExit(10s), 0) << second->standardError();
  EXPECT_EQ(second->standardOutput(), "exit 0\n") << "the second launch loads nothing of its own";
  ASSERT_TRUE(eventually([&] { return said(*probe, "reopen visible=0"); })) << probe->standardOutput();
  EXPECT_TRUE(eventually([&] { return windowMapped(*probe); }));

  auto third = launch();
  EXPECT_EQ(third->waitForExit(10s), 0);
  EXPECT_TRUE(eventually([&] { return said(*probe, "reopen visible=1"); })) << probe->standardOutput();
}

TEST_F(GtkApplicationKit, WithoutASessionBusEachLaunchRunsAsItsOwnInstance) {
  const std::map<std::string, std::string> noBus = {
      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir_.path() + "/no-such-bus"}};
  auto first = launch("cancel", noBus);
  auto second = launch("cancel", noBus);
  EXPECT_TRUE(eventually([&] { return windowMapped(*first) && windowMapped(*second); }))
      << first->standardError() << second->standardError();
  EXPECT_TRUE(first->running());
  EXPECT_TRUE(second->running());
  EXPECT_FALSE(said(*first, "reopen visible=1"));
}

}  // namespace
}  // namespace tessra::testing
