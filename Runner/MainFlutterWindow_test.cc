#include "Runner/MainFlutterWindow.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Runner/MainMenu.h"
#include "Runner/embedding/flutter_view_controller.h"
#include "Runner/embedding/standard_codec.h"
#include "Runner/testing/recording_engine.h"
#include "engine/plugins/window_manager_plugin.h"
#include "platform/appkit/testing/fake_application_backend.h"
#include "platform/dispatch/testing/fake_main_queue.h"
#include "platform/interfaces/testing/fake_interface_addresses.h"
#include "platform/network/testing/fake_connection_factory.h"
#include "platform/process/testing/fake_process_launcher.h"

namespace {

using appkit::testing::ScopedFakeApplication;
using appkit::testing::fakeBackendOf;
using runner::testing::ScopedRecordingEngineFactory;

const std::vector<std::string> kPluginKeys = {
    "AutoUpdaterMacosPlugin",   "ConnectivityPlusPlugin", "FileSelectorPlugin",         "OpenDirMacosPlugin",
    "FPPPackageInfoPlusPlugin", "PrintingPlugin",         "ScreenRetrieverMacosPlugin", "SharedPreferencesPlugin",
    "TrayManagerPlugin",        "UrlLauncherPlugin",      "WindowManagerPlugin"};

constexpr appkit::NSRect kContentRect{120, 80, 1000, 700};

class MainFlutterWindowTest : public ::testing::Test {
 protected:
  ~MainFlutterWindowTest() override { WindowManagerPlugin::setCallLog(nullptr); }

  discovery::DiscoveryServices services() {
    return discovery::DiscoveryServices{interfaces_, processes_, mainQueue_, connections_, out_};
  }

  std::shared_ptr<MainFlutterWindow> makeWindow() {
    auto window = std::make_shared<MainFlutterWindow>(
        kContentRect, appkit::NSWindowStyleMaskTitled | appkit::NSWindowStyleMaskResizable,
        appkit::NSBackingStoreType::NSBackingStoreBuffered, false, services());
    window_ = window.get();
    return window;
  }

  flutter::FlutterViewController& controller() {
    return dynamic_cast<flutter::FlutterViewController&>(*window_->contentViewController());
  }
  runner::testing::JournalMessenger& messenger() { return engines_.lastEngine->messenger; }

  // Plays the interface: one method call on `channel`; the reply's bytes.
  std::vector<uint8_t> call(const std::string& channel, const std::string& method) {
    auto answer = messenger().deliver(
        channel, flutter::StandardMethodCodec::encodeMethodCall(flutter::FlutterMethodCall(method, {})));
    EXPECT_EQ(answer->count, 1) << method << " on " << channel << " answered once";
    return answer->bytes;
  }

  std::vector<std::string>& journal() { return fake_.backend().journal; }

  ScopedFakeApplication fake_;
  interfaces::testing::FakeInterfaceAddresses interfaces_;
  process::testing::FakeProcessLauncher processes_;
  dispatch::testing::FakeMainQueue mainQueue_;
  network::testing::FakeConnectionFactory connections_;
  std::ostringstream out_;
  MainFlutterWindow* window_ = nullptr;
  // Handler installations and registrations land in the same journal as the window's calls,
  // each marked with whether the window's own loading had completed by then.
  ScopedRecordingEngineFactory engines_{fake_.backend().journal,
                                        [this] { return window_ && window_->hasAwokenFromNib() ? " (awoken)" : ""; }};
};

TEST_F(MainFlutterWindowTest, ANewWindowHasNoEventSinkAndIsNotYetWired) {
  auto window = makeWindow();
  EXPECT_FALSE(window->hasEventSink());
  EXPECT_EQ(window->contentViewController(), nullptr);
  EXPECT_EQ(window->frame(), kContentRect);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(MainFlutterWindowTest, LoadingWiresChannelsBeforePluginsAndCompletesTheBaseLast) {
  auto window = makeWindow();
  journal().clear();
  window->awakeFromNib();

  std::vector<std::string> expected = {
      "1:not restorable",
      "1:setContentView",
      "1:setFrame",
      "handler launch_at_startup",
      "registrar ScanForPingableDevices",
      "handler com.brovak.tessra/scanForPingableDevices",
      "registrar LocalNetworkPermission",
      "handler com.brovak.tessra/localNetworkPermission",
  };
  const std::vector<std::string> pluginChannels = {
      "auto_updater_macos", "connectivity_plus",  "file_selector_macos",    "open_dir_macos",
      "package_info_plus",  "printing",           "screen_retriever_macos", "shared_preferences_foundation",
      "tray_manager",       "url_launcher_macos", "window_manager"};
  for (size_t i = 0; i < kPluginKeys.size(); ++i) {
    expected.push_back("registrar " + kPluginKeys[i]);
    expected.push_back("handler " + pluginChannels[i]);
  }
  EXPECT_EQ(journal(), expected) << "no entry may say \"(awoken)\": the base completes after the eleventh plugin";
  EXPECT_TRUE(window->hasAwokenFromNib());

  std::vector<std::string> keys = {"ScanForPingableDevices", "LocalNetworkPermission"};
  keys.insert(keys.end(), kPluginKeys.begin(), kPluginKeys.end());
  EXPECT_EQ(controller().registrarKeys(), keys);
  EXPECT_EQ(fakeBackendOf(*window).contentView, &controller().view());
}

TEST_F(MainFlutterWindowTest, LoadingKeepsTheFrameAndLeavesNothingToRestore) {
  auto window = makeWindow();
  // A content view that makes the window grow, as a larger minimum size would.
  fakeBackendOf(*window).resizeOnContentView = appkit::NSRect{0, 0, 1400, 900};
  window->awakeFromNib();

  EXPECT_EQ(window->frame(), kContentRect);
  ASSERT_FALSE(fakeBackendOf(*window).frameCalls.empty());
  EXPECT_TRUE(fakeBackendOf(*window).frameCalls.back().display);
  EXPECT_FALSE(window->isRestorable());
  EXPECT_FALSE(fakeBackendOf(*window).restorable);
}

TEST_F(MainFlutterWindowTest, EveryOrderChangeIsFollowedByOneHiddenWindowAtLaunch) {
  auto window = makeWindow();
  const long before = WindowManagerPlugin::hiddenWindowAtLaunchCalls();
  long expected = before;
  // The plugin's calls land in the window backend's journal, so the journal shows the order.
  WindowManagerPlugin::setCallLog(&journal());
  const std::string number = std::to_string(window->windowNumber());
  auto expectOneMore = [&](const char* what) {
    EXPECT_EQ(WindowManagerPlugin::hiddenWindowAtLaunchCalls(), ++expected) << what;
    EXPECT_EQ(WindowManagerPlugin::lastWindowAskedToHideAtLaunch(), window.get()) << what;
    // The base ordering first, then the plugin.
    std::vector<std::string> ordering;
    for (const auto& call : journal()) {
      if (call.starts_with(number + ":order") || call.ends_with(":hiddenWindowAtLaunch")) ordering.push_back(call);
    }
    ASSERT_GE(ordering.size(), 2u) << what;
    EXPECT_TRUE(ordering[ordering.size() - 2].starts_with(number + ":order")) << what << ": " << ordering.end()[-2];
    EXPECT_EQ(ordering.back(), number + ":hiddenWindowAtLaunch") << what;
    journal().clear();
  };

  window->makeKeyAndOrderFront(nullptr);
  expectOneMore("makeKeyAndOrderFront");
  window->orderWindow(appkit::NSWindowOrderingMode::NSWindowBelow, 0);
  expectOneMore("ordered below");
  window->orderOut(nullptr);
  expectOneMore("orderOut");
  window->setIsVisible(true);
  expectOneMore("setIsVisible");
  fakeBackendOf(*window).pressCloseButton();
  expectOneMore("close button");
  // The base ordering happened each time.
  EXPECT_EQ(fakeBackendOf(*window).orders.size(), 5u);
  EXPECT_FALSE(window->isVisible()) << "the plugin's call changes nothing here";
}

TEST_F(MainFlutterWindowTest, TheWindowIsTheScanChannelsStreamHandler) {
  auto window = makeWindow();
  window->awakeFromNib();
  const std::string channel = "com.brovak.tessra/scanForPingableDevices";

  auto listen = call(channel, "listen");
  EXPECT_TRUE(window->hasEventSink());
  auto reply = flutter::StandardMethodCodec::decodeReply(listen);
  ASSERT_TRUE(reply) << reply.error();
  EXPECT_EQ(std::get<flutter::EncodableValue>(reply.value()), flutter::EncodableValue());

  call(channel, "cancel");
  EXPECT_FALSE(window->hasEventSink());
}

TEST_F(MainFlutterWindowTest, ThePermissionChannelReachesTheWindowsDiscovery) {
  auto window = makeWindow();
  window->awakeFromNib();
  EXPECT_TRUE(call("com.brovak.tessra/localNetworkPermission", "noSuchMethod").empty()) << "not implemented";
  EXPECT_EQ(out_.str(), "Unsupported method: noSuchMethod\n");
}

TEST_F(MainFlutterWindowTest, PluginStandInsAnswerNotImplemented) {
  auto window = makeWindow();
  window->awakeFromNib();
  for (const char* channel : {"window_manager", "tray_manager", "url_launcher_macos"}) {
    EXPECT_TRUE(call(channel, "anything").empty()) << channel;
  }
}

TEST_F(MainFlutterWindowTest, TheWiringDoesNotKeepTheWindowAlive) {
  auto window = makeWindow();
  window->awakeFromNib();
  std::weak_ptr<MainFlutterWindow> weak = window;
  window.reset();
  window_ = nullptr;
  EXPECT_TRUE(weak.expired()) << "the messenger inside the window must not own the window";
  EXPECT_TRUE(engines_.lastEngineDestroyed);
}

// The main interface description.

TEST_F(MainFlutterWindowTest, TheMainInterfaceDescriptionMakesAWiredVisibleMainWindowAndTheDelegate) {
  MainMenu menu(services());
  menu.instantiate(fake_.app());
  MainFlutterWindow* window = menu.mainFlutterWindow();
  window_ = window;
  ASSERT_NE(window, nullptr);

  EXPECT_EQ(fake_.app().delegate(), menu.appDelegate());
  EXPECT_EQ(menu.appDelegate()->mainFlutterWindow, window);
  EXPECT_EQ(fake_.app().windows(), std::vector<appkit::NSWindow*>{window});
  EXPECT_EQ(window->title(), "tessra");
  EXPECT_EQ(window->frame().width, MainMenu::kDefaultWidth);
  EXPECT_EQ(window->frame().height, MainMenu::kDefaultHeight);
  EXPECT_EQ(fakeBackendOf(*window).centerCalls, 1);
  EXPECT_EQ(window->styleMask(), appkit::NSWindowStyleMaskTitled | appkit::NSWindowStyleMaskClosable |
                                     appkit::NSWindowStyleMaskMiniaturizable | appkit::NSWindowStyleMaskResizable);
  EXPECT_TRUE(window->hasAwokenFromNib());
  EXPECT_NE(dynamic_cast<flutter::FlutterViewController*>(window->contentViewController()), nullptr);
  EXPECT_TRUE(window->isVisible());

  // With the description loaded, a quit request reaches the interface.
  EXPECT_EQ(fake_.app().handleQuitRequest(), appkit::NSTerminateCancel);
  ASSERT_EQ(messenger().sent.size(), 1u);
  EXPECT_EQ(messenger().sent[0].channel, "app.lifecycle.channel");
}

}  // namespace
