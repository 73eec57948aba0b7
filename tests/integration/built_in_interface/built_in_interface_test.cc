// The built-in interface of the real program, used as a person would: the launch-at-login
// switch and the quit confirmation. What it shows is read from the accessibility bus; the
// mouse and keyboard are the X display's (xdotool).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "tests/integration/built_in_interface/running_app.h"
#include "tests/integration/support/driver_client.h"

namespace tessra::testing {
namespace {

using namespace std::chrono_literals;

class BuiltInInterface : public ::testing::Test {
 protected:
  void SetUp() override {
    if (auto missing = RunningApp::missingEnvironment()) GTEST_SKIP() << *missing;
    std::string why;
    ASSERT_TRUE(app_.start(TESSRA_BINARY, why)) << why;
  }

  std::string autostartEntry() const { return app_.configHome() + "/autostart/com.brovak.tessra.desktop"; }

  AccessibleUi::Element launchAtLoginSwitch() {
    auto found = app_.ui().waitFor(app_.root(), "toggle button", "Launch at login");
    EXPECT_TRUE(found) << "no launch-at-login switch";
    return *found;
  }

  bool askingToQuit() { return !AccessibleUi::labelsStartingWith(app_.root(), "Quit tessra?").empty(); }

  int requestQuitFromOutside() { return runCommand({"gapplication", "action", "com.brovak.tessra", "quit"}); }

  RunningApp app_;
};

TEST_F(BuiltInInterface, TheSwitchShowsAndChangesTheAutostartEntryAndARefusalSpringsBack) {
  auto toggle = launchAtLoginSwitch();
  ASSERT_TRUE(eventually([&] { return toggle.sensitive(); })) << "the setting was never read";
  EXPECT_FALSE(toggle.checked());

  ASSERT_TRUE(AccessibleUi::click(toggle));
  ASSERT_TRUE(eventually([&] { return std::filesystem::exists(autostartEntry()); }));
  EXPECT_TRUE(eventually([&] { return toggle.checked(); }));
  EXPECT_NE(readFile(autostartEntry()).find("Exec=" TESSRA_BINARY), std::string::npos)
      << "the entry starts this very program:\n"
      << readFile(autostartEntry());

  // By keyboard: the label's mnemonic flips the switch of the window under the pointer.
  ASSERT_TRUE(AccessibleUi::pointAt(toggle));
  ASSERT_TRUE(AccessibleUi::pressKeys("alt+l"));
  ASSERT_TRUE(eventually([&] { return !std::filesystem::exists(autostartEntry()); }));
  EXPECT_TRUE(eventually([&] { return !toggle.checked(); }));

  // The system refuses: the autostart folder cannot be made.
  std::filesystem::remove_all(app_.configHome() + "/autostart");
  std::ofstream(app_.configHome() + "/autostart") << "in the way";
  ASSERT_TRUE(AccessibleUi::click(toggle));
  EXPECT_TRUE(app_.ui().waitForLabel(app_.root(), "The system did not accept the change"))
      << ::testing::PrintToString(app_.root().labelTexts()) << "\n"
      << app_.process().standardError();
  EXPECT_FALSE(toggle.checked()) << "the switch shows the real state";
}

TEST_F(BuiltInInterface, AQuitRequestAsksAndEachAnswerDoesWhatItSays) {
  ASSERT_EQ(requestQuitFromOutside(), 0);
  auto question = app_.ui().waitForLabel(app_.root(), "Quit tessra?");
  ASSERT_TRUE(question) << "no confirmation shown";
  auto keep = app_.ui().waitFor(app_.root(), "push button", "Keep Running");
  ASSERT_TRUE(keep);
  ASSERT_TRUE(AccessibleUi::click(*keep));
  EXPECT_TRUE(eventually([&] { return !askingToQuit(); }));
  EXPECT_TRUE(app_.process().running()) << "keep running means keep running";

  // Twice in a row: one question, answered by keyboard (Escape keeps running).
  ASSERT_EQ(requestQuitFromOutside(), 0);
  ASSERT_EQ(requestQuitFromOutside(), 0);
  question = app_.ui().waitForLabel(app_.root(), "Quit tessra?");
  ASSERT_TRUE(question);
  EXPECT_EQ(AccessibleUi::labelsStartingWith(app_.root(), "Quit tessra?").size(), 1u) << "asked once";
  ASSERT_TRUE(AccessibleUi::pointAt(*question));
  ASSERT_TRUE(AccessibleUi::pressKeys("Escape"));
  EXPECT_TRUE(eventually([&] { return !askingToQuit(); }));
  EXPECT_TRUE(app_.process().running());

  // Quit is the default answer: Enter quits. This time the request comes from the
  // application menu, by mouse.
  auto menu = app_.ui().waitFor(app_.root(), "menu", "tessra");
  ASSERT_TRUE(menu) << "no application menu named after the application";
  ASSERT_TRUE(AccessibleUi::click(*menu));
  auto quitItem = app_.ui().waitFor(app_.root(), "menu item", "Quit");
  ASSERT_TRUE(quitItem);
  ASSERT_TRUE(AccessibleUi::click(*quitItem));
  question = app_.ui().waitForLabel(app_.root(), "Quit tessra?");
  ASSERT_TRUE(question);
  ASSERT_TRUE(AccessibleUi::pointAt(*question));
  ASSERT_TRUE(std::filesystem::exists(app_.driverSocket()));
  ASSERT_TRUE(AccessibleUi::pressKeys("Return"));
  EXPECT_EQ(app_.process().waitForExit(10s), 0);
  EXPECT_FALSE(std::filesystem::exists(app_.driverSocket())) << "the socket file goes with a confirmed quit";
}

TEST_F(BuiltInInterface, WhileADriverIsAttachedItSaysSoAndItsControlsAreOff) {
  auto scan = app_.ui().waitFor(app_.root(), "push button", "Scan network");
  ASSERT_TRUE(scan);
  EXPECT_TRUE(scan->sensitive());
  {
    auto driver = DriverClient::connect(app_.driverSocket());
    ASSERT_TRUE(driver);
    ASSERT_TRUE(driver->invoke("launch_at_startup", "launchAtStartupIsEnabled")) << "attached";
    EXPECT_TRUE(app_.ui().waitForLabel(app_.root(), "A driver is attached")) << "no line says so";
    EXPECT_FALSE(scan->sensitive());
    EXPECT_FALSE(launchAtLoginSwitch().sensitive());
  }
  EXPECT_TRUE(eventually([&] { return scan->sensitive(); })) << "back once the driver has left";
}

}  // namespace
}  // namespace tessra::testing
