// The real tessra binary under Xvfb, on a private session bus, driven through the engine's
// driver socket as the interface would be, and poked from outside as a desktop would.
#include <signal.h>

#include <chrono>
#include <gtest/gtest.h>

#include "tests/integration/support/app_process.h"
#include "tests/integration/support/driver_client.h"
#include "tests/integration/support/x11_windows.h"

namespace tessra::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kApplicationId = "com.brovak.tessra";
constexpr int kDefaultWidth = 1000;
constexpr int kDefaultHeight = 700;

class Application : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (tests/run-tests starts Xvfb)";
    if (!getenv("DBUS_SESSION_BUS_ADDRESS")) GTEST_SKIP() << "needs a private session bus (dbus-run-session)";
    env_ = {{"TESSRA_DRIVER_SOCKET", dir_.path() + "/driver.sock"},
            {"XDG_CONFIG_HOME", dir_.path() + "/config"},
            {"HOME", dir_.path()}};
  }

  ChildProcess& start(bool withDriver = true) {
    auto env = env_;
    if (!withDriver) env.erase("TESSRA_DRIVER_SOCKET");
    app_ = std::make_unique<ChildProcess>(std::vector<std::string>{TESSRA_BINARY}, env, dir_.path());
    if (withDriver) {
      driver_ = DriverClient::connect(env_["TESSRA_DRIVER_SOCKET"]);
      EXPECT_TRUE(driver_) << "driver socket never appeared; stderr: " << app_->standardError();
    }
    return *app_;
  }

  std::optional<X11Windows::Window> mainWindow() { return x11_.find("tessra", app_->pid()); }

  bool mainWindowMapped() {
    auto window = mainWindow();
    return window && window->mapped;
  }

  int sendQuitFromOutside() { return runCommand({"gapplication", "action", kApplicationId, "quit"}); }

  // Host-to-interface calls seen within a quiet period.
  int quitAttemptsSeen() {
    int count = 0;
    for (const auto& message : driver_->drainUnsolicited(700ms)) {
      if (message.value("call", "") != "app.lifecycle.channel") continue;
      EXPECT_EQ(message.value("method", ""), "onQuitAttempt");
      EXPECT_TRUE(message["arguments"].is_null());
      ++count;
    }
    return count;
  }

  TempDir dir_;
  std::map<std::string, std::string> env_;
  std::unique_ptr<ChildProcess> app_;
  std::optional<DriverClient> driver_;
  X11Windows x11_;
};

TEST_F(Application, StartsWithOneMappedMainWindowOfTheDefaultSize) {
  start();
  ASSERT_TRUE(eventually([&] { return mainWindowMapped(); })) << app_->standardError();
  auto window = mainWindow();
  // The window system draws the title bar; what GTK draws (the application menu and the
  // content) is the frame, exactly.
  EXPECT_EQ(window->width - window->frameLeft - window->frameRight, kDefaultWidth);
  EXPECT_EQ(window->height - window->frameTop - window->frameBottom, kDefaultHeight);
  // The host's own channels are wired by the time the window is up.
  auto reply = driver_->invoke("com.brovak.tessra/localNetworkPermission", "noSuchMethod");
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)["notImplemented"], true);
  EXPECT_EQ(app_->standardOutput(), "Unsupported method: noSuchMethod\n");
}

TEST_F(Application, EachQuitRequestBecomesOneQuitAttemptAndIsCancelled) {
  start();
  ASSERT_TRUE(eventually([&] { return mainWindowMapped(); }));

  ASSERT_EQ(sendQuitFromOutside(), 0);
  EXPECT_EQ(quitAttemptsSeen(), 1);
  EXPECT_TRUE(app_->running());

  ASSERT_EQ(sendQuitFromOutside(), 0);
  ASSERT_EQ(sendQuitFromOutside(), 0);
  EXPECT_EQ(quitAttemptsSeen(), 2);
  EXPECT_TRUE(app_->running());
  EXPECT_TRUE(mainWindowMapped());
}

TEST_F(Application, CtrlQInTheWindowIsAQuitRequestToo) {
  start();
  ASSERT_TRUE(eventually([&] { return mainWindowMapped(); }));
  const std::string window = std::to_string(mainWindow()->id);
  ASSERT_EQ(runCommand({"xdotool", "windowfocus", "--sync", window}), 0);
  ASSERT_EQ(runCommand({"xdotool", "key", "--clearmodifiers", "ctrl+q"}), 0);
  EXPECT_EQ(quitAttemptsSeen(), 1);
  EXPECT_TRUE(app_->running());
}

TEST_F(Application, ClosingTheWindowKeepsRunningAndASecondLaunchBringsItBack) {
  start();
  ASSERT_TRUE(eventually([&] { return mainWindowMapped(); }));

  x11_.requestClose(mainWindow()->id);
  ASSERT_TRUE(eventually([&] { return !mainWindowMapped(); }));
  EXPECT_TRUE(app_->running());
  EXPECT_EQ(quitAttemptsSeen(), 0) << "closing a window is not a quit request";

  ChildProcess second({TESSRA_BINARY}, env_, dir_.path());
  EXPECT_EQ(second.waitForExit(10s), 0) << "a second launch hands over to the running one and exits";
  EXPECT_TRUE(eventually([&] { return mainWindowMapped(); }));
  EXPECT_TRUE(app_->running());
}

TEST_F(Application, TheBuiltInInterfaceAsksBeforeEndingTheApplication) {
  start(/*withDriver=*/false);
  ASSERT_TRUE(eventually([&] { return mainWindowMapped(); }));
  ASSERT_EQ(sendQuitFromOutside(), 0);
  // Its answers are tried in tests/integration/built_in_interface.
  EXPECT_TRUE(eventually([&] {
    auto question = x11_.find("Quit tessra?", app_->pid());
    return question && question->mapped;
  }));
  EXPECT_TRUE(app_->running());
}

TEST_F(Application, TermSignalKeepsItsUsualMeaning) {
  start();
  ASSERT_TRUE(eventually([&] { return mainWindowMapped(); }));
  kill(app_->pid(), SIGTERM);
  EXPECT_FALSE(eventually([&] { return quitAttemptsSeen() > 0; }, 1s));
  EXPECT_FALSE(app_->running());
}

TEST_F(Application, MalformedDriverLinesAreAnsweredAndTheConnectionStaysUp) {
  start();
  driver_->sendLine("{not json");
  auto answer = driver_->nextUnsolicited(5s);
  ASSERT_TRUE(answer);
  EXPECT_EQ((*answer)["error"]["code"], "bad-request");
  auto reply = driver_->invoke("launch_at_startup", "noSuchMethod");
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)["notImplemented"], true);
}

}  // namespace
}  // namespace tessra::testing
