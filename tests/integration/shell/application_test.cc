// The real tessra binary on both desktops (X11 with a window manager, Wayland), on a private
// session bus, driven through the engine's driver socket as the interface would be, and poked
// from outside as a desktop would.
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <tuple>

#include "tests/integration/shell/desktop.h"
#include "tests/integration/support/app_process.h"
#include "tests/integration/support/driver_client.h"

namespace tessra::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kApplicationId = "com.brovak.tessra";
constexpr int kDefaultWidth = 1000;
constexpr int kDefaultHeight = 700;

class ApplicationOn : public ::testing::Test {
 protected:
  explicit ApplicationOn(Backend backend) : desktop_(backend) {}

  void SetUp() override {
    if (auto missing = desktop_.missing()) GTEST_SKIP() << *missing;
    env_ = {{"TESSRA_DRIVER_SOCKET", dir_.path() + "/driver.sock"},
            {"XDG_CONFIG_HOME", dir_.path() + "/config"},
            {"HOME", dir_.path()}};
  }

  void TearDown() override {
    if (!app_) return;
    // GTK's own widget classes assert once per class on a display without a keyboard seat
    // (weston's headless backend); nothing else may.
    std::string line;
    for (std::istringstream lines(app_->standardError()); std::getline(lines, line);) {
      if (line.find("CRITICAL") == std::string::npos && line.find("WARNING") == std::string::npos) continue;
      const bool seatless =
          desktop_.backend() == Backend::kWayland &&
          line.find("gdk_seat_get_keyboard: assertion 'GDK_IS_SEAT (seat)' failed") != std::string::npos;
      EXPECT_TRUE(seatless) << line;
    }
  }

  bool x11() const { return desktop_.backend() == Backend::kX11; }

  std::unique_ptr<ChildProcess> launch(std::map<std::string, std::string> extra = {}, bool withDriver = true) {
    auto env = env_;
    if (!withDriver) env.erase("TESSRA_DRIVER_SOCKET");
    for (auto& [key, value] : extra) env[key] = value;
    return std::make_unique<ChildProcess>(desktop_.command(TESSRA_BINARY), env, dir_.path());
  }

  ChildProcess& start(bool withDriver = true) {
    app_ = launch({}, withDriver);
    if (withDriver) {
      driver_ = DriverClient::connect(env_["TESSRA_DRIVER_SOCKET"]);
      EXPECT_TRUE(driver_) << "driver socket never appeared; stderr: " << app_->standardError();
    }
    return *app_;
  }

  bool mainWindowShown() { return desktop_.windowShown("tessra", app_->pid()); }

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

  Desktop desktop_;
  TempDir dir_;
  std::map<std::string, std::string> env_;
  std::unique_ptr<ChildProcess> app_;
  std::optional<DriverClient> driver_;
};

class Application : public ApplicationOn, public ::testing::WithParamInterface<Backend> {
 protected:
  Application() : ApplicationOn(GetParam()) {}
};

TEST_P(Application, StartsWithOneShownMainWindowOfTheDefaultSize) {
  start();
  ASSERT_TRUE(eventually([&] { return mainWindowShown(); })) << app_->standardError();
  if (x11()) {
    auto window = desktop_.x11().find("tessra", app_->pid());
    // The window manager draws the title bar; what GTK draws (the application menu and the
    // content) is the frame, exactly. (Wayland tells no client about sizes on screen.)
    EXPECT_EQ(window->width - window->frameLeft - window->frameRight, kDefaultWidth);
    EXPECT_EQ(window->height - window->frameTop - window->frameBottom, kDefaultHeight);
  }
  // The host's own channels are wired by the time the window is up.
  auto reply = driver_->invoke("com.brovak.tessra/localNetworkPermission", "noSuchMethod");
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)["notImplemented"], true);
  EXPECT_EQ(app_->standardOutput(), "Unsupported method: noSuchMethod\n");
}

TEST_P(Application, EachQuitRequestBecomesOneQuitAttemptAndIsCancelled) {
  start();
  ASSERT_TRUE(eventually([&] { return mainWindowShown(); }));

  ASSERT_EQ(sendQuitFromOutside(), 0);
  EXPECT_EQ(quitAttemptsSeen(), 1);
  EXPECT_TRUE(app_->running());

  ASSERT_EQ(sendQuitFromOutside(), 0);
  ASSERT_EQ(sendQuitFromOutside(), 0);
  EXPECT_EQ(quitAttemptsSeen(), 2);
  EXPECT_TRUE(app_->running());
  EXPECT_TRUE(mainWindowShown());
}

TEST_P(Application, CtrlQInTheWindowIsAQuitRequestToo) {
  if (!x11()) GTEST_SKIP() << "no keyboard reaches a Wayland client here (weston headless has no seat)";
  start();
  ASSERT_TRUE(eventually([&] { return mainWindowShown(); }));
  const std::string window = std::to_string(desktop_.x11().find("tessra", app_->pid())->id);
  ASSERT_EQ(runCommand({"xdotool", "windowactivate", "--sync", window}), 0);
  ASSERT_EQ(runCommand({"xdotool", "key", "--clearmodifiers", "ctrl+q"}), 0);
  EXPECT_EQ(quitAttemptsSeen(), 1);
  EXPECT_TRUE(app_->running());
}

TEST_P(Application, TheBuiltInInterfaceAsksBeforeEndingTheApplication) {
  start(/*withDriver=*/false);
  ASSERT_TRUE(eventually([&] { return mainWindowShown(); }));
  ASSERT_EQ(sendQuitFromOutside(), 0);
  // Its answers are tried in tests/integration/built_in_interface.
  EXPECT_TRUE(eventually([&] { return desktop_.windowShown("Quit tessra?", app_->pid()); }));
  EXPECT_TRUE(app_->running());
}

TEST_P(Application, TermSignalKeepsItsUsualMeaning) {
  start();
  ASSERT_TRUE(eventually([&] { return mainWindowShown(); }));
  kill(app_->pid(), SIGTERM);
  EXPECT_FALSE(eventually([&] { return quitAttemptsSeen() > 0; }, 1s));
  EXPECT_FALSE(app_->running());
}

TEST_P(Application, MalformedDriverLinesAreAnsweredAndTheConnectionStaysUp) {
  start();
  driver_->sendLine("{not json");
  auto answer = driver_->nextUnsolicited(5s);
  ASSERT_TRUE(answer);
  EXPECT_EQ((*answer)["error"]["code"], "bad-request");
  auto reply = driver_->invoke("launch_at_startup", "noSuchMethod");
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)["notImplemented"], true);
}

INSTANTIATE_TEST_SUITE_P(Desktops, Application, ::testing::Values(Backend::kX11, Backend::kWayland),
                         [](const auto& info) { return backendName(info.param); });

// Where the main window was when tessra was launched again from the desktop's launcher.
enum class Away { kShown, kClosed, kMinimised, kBehindAnotherWindow, kOnAnotherWorkspace };

std::string awayName(Away away) {
  switch (away) {
    case Away::kShown:
      return "Shown";
    case Away::kClosed:
      return "Closed";
    case Away::kMinimised:
      return "Minimised";
    case Away::kBehindAnotherWindow:
      return "BehindAnotherWindow";
    case Away::kOnAnotherWorkspace:
      return "OnAnotherWorkspace";
  }
  return "";
}

class SecondLaunch : public ApplicationOn, public ::testing::WithParamInterface<std::tuple<Backend, Away>> {
 protected:
  SecondLaunch() : ApplicationOn(std::get<0>(GetParam())) {}

  // What the window manager says; X11 only.
  std::string property(unsigned long window, const std::string& name) {
    return output({"xprop", "-id", std::to_string(window), name});
  }
  std::string output(const std::vector<std::string>& argv) {
    ChildProcess command(argv, {}, dir_.path());
    command.waitForExit(10s);
    return command.standardOutput();
  }
  // No active window prints nothing, which strtoul reads as window 0.
  unsigned long activeWindow() { return std::strtoul(output({"xdotool", "getactivewindow"}).c_str(), nullptr, 10); }
  // The number in xprop's "NAME(CARDINAL) = n", or -1.
  long cardinal(const std::string& text) {
    const auto at = text.find("= ");
    return at == std::string::npos ? -1 : std::stol(text.substr(at + 2));
  }

  // Puts the main window away as a person would, and checks that the window manager did.
  void putAway(Away away, unsigned long window) {
    const std::string id = std::to_string(window);
    switch (away) {
      case Away::kShown:
        break;
      case Away::kClosed:
        desktop_.x11().requestClose(window);
        ASSERT_TRUE(eventually([&] { return !mainWindowShown(); }));
        break;
      case Away::kMinimised:
        ASSERT_EQ(runCommand({"xdotool", "windowminimize", "--sync", id}), 0);
        ASSERT_TRUE(eventually([&] { return property(window, "WM_STATE").find("Iconic") != std::string::npos; }));
        break;
      case Away::kBehindAnotherWindow:
        other_ = std::make_unique<ChildProcess>(std::vector<std::string>{"xmessage", "-title", "other", "another"},
                                                std::map<std::string, std::string>{}, dir_.path());
        ASSERT_TRUE(eventually([&] {
          return output({"xdotool", "search", "--onlyvisible", "--name", "^other$"}) != "";
        }));
        ASSERT_EQ(
            runCommand({"sh", "-c", "xdotool windowactivate --sync $(xdotool search --onlyvisible --name '^other$')"}),
            0);
        ASSERT_NE(activeWindow(), window);
        break;
      case Away::kOnAnotherWorkspace:
        ASSERT_EQ(runCommand({"xdotool", "set_desktop_for_window", id, "1"}), 0);
        ASSERT_TRUE(eventually([&] { return property(window, "_NET_WM_DESKTOP").find("= 1") != std::string::npos; }));
        break;
    }
  }

  std::unique_ptr<ChildProcess> other_;
};

TEST_P(SecondLaunch, HandsOverAndTheMainWindowComesBackShownRaisedAndFocused) {
  const Away away = std::get<1>(GetParam());
  if (!x11() && away != Away::kShown)
    GTEST_SKIP() << "nothing outside a Wayland client can put its window away here (no seat)";
  start();
  ASSERT_TRUE(eventually([&] { return mainWindowShown(); })) << app_->standardError();
  const unsigned long window = x11() ? desktop_.x11().find("tessra", app_->pid())->id : 0;
  if (x11()) {
    ASSERT_NO_FATAL_FAILURE(putAway(away, window));
  }

  // As a launcher does: with a startup notification id that carries the time of the click.
  std::map<std::string, std::string> token;
  if (x11()) token["DESKTOP_STARTUP_ID"] = "launcher-test_TIME" + std::to_string(desktop_.x11().serverTime());
  auto second = launch(token);
  EXPECT_EQ(second->waitForExit(10s), 0) << "a second launch hands over to the running one and exits";
  EXPECT_TRUE(app_->running());
  EXPECT_TRUE(eventually([&] { return mainWindowShown(); }));
  EXPECT_EQ(quitAttemptsSeen(), 0) << "neither closing a window nor launching again is a quit request";
  if (!x11()) return;

  EXPECT_TRUE(eventually([&] { return activeWindow() == window; }))
      << "active: " << activeWindow() << ", tessra: " << window;
  EXPECT_EQ(property(window, "WM_STATE").find("Iconic"), std::string::npos);
  EXPECT_EQ(property(window, "_NET_WM_STATE").find("HIDDEN"), std::string::npos);
  EXPECT_EQ(cardinal(property(window, "_NET_WM_DESKTOP")), cardinal(output({"xprop", "-root", "_NET_CURRENT_DESKTOP"})))
      << "on the workspace the user launched it from";
}

INSTANTIATE_TEST_SUITE_P(Desktops, SecondLaunch,
                         ::testing::Combine(::testing::Values(Backend::kX11, Backend::kWayland),
                                            ::testing::Values(Away::kShown, Away::kClosed, Away::kMinimised,
                                                              Away::kBehindAnotherWindow, Away::kOnAnotherWorkspace)),
                         [](const auto& info) {
                           return backendName(std::get<0>(info.param)) + "_" + awayName(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace tessra::testing
