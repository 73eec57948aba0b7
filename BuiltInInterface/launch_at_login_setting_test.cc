// The launch-at-login setting behind its switch, against the host's side of a real method
// channel.
#include "BuiltInInterface/launch_at_login_setting.h"

#include <gtest/gtest.h>

#include "BuiltInInterface/testing/interface_side_fixture.h"
#include "Runner/embedding/method_channel.h"

namespace built_in_interface {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

using LaunchAtLoginSettingTest = testing::InterfaceSideFixture;

TEST_F(LaunchAtLoginSettingTest, TheLaunchAtLoginSwitchWritesThenShowsWhatARereadSays) {
  bool registered = false;
  bool refuse = false;
  std::vector<std::string> methods;
  flutter::FlutterMethodChannel::methodChannelWithName(channels::kLaunchAtStartup.name, host())
      .setMethodCallHandler([&](const flutter::FlutterMethodCall& call, flutter::FlutterResult result) {
        methods.push_back(call.method());
        if (call.method() == "launchAtStartupIsEnabled") return result(EncodableValue(registered));
        const auto& arguments = std::get<EncodableMap>(call.arguments());
        if (!refuse) registered = std::get<bool>(*flutter::Find(arguments, "setEnabledValue"));
        result(EncodableValue());
      });
  LaunchAtLoginSetting setting(ui());
  EXPECT_FALSE(setting.enabled().has_value());
  setting.refresh();
  settle();
  EXPECT_EQ(setting.enabled(), false);

  setting.request(true);
  EXPECT_TRUE(setting.busy());
  settle();
  EXPECT_EQ(methods, (std::vector<std::string>{"launchAtStartupIsEnabled", "launchAtStartupSetEnabled",
                                               "launchAtStartupIsEnabled"}));
  EXPECT_EQ(setting.enabled(), true);
  EXPECT_FALSE(setting.refused());
  EXPECT_FALSE(setting.busy());

  refuse = true;
  setting.request(false);
  settle();
  EXPECT_EQ(setting.enabled(), true) << "the real state, not the one asked for";
  EXPECT_TRUE(setting.refused());
}

}  // namespace
}  // namespace built_in_interface
