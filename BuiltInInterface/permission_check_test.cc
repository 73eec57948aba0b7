// The permission check behind the permission panel, against the host's side of a real
// method channel.
#include "BuiltInInterface/permission_check.h"

#include <gtest/gtest.h>

#include "BuiltInInterface/testing/interface_side_fixture.h"
#include "Runner/embedding/method_channel.h"

namespace built_in_interface {
namespace {

using flutter::EncodableValue;

using PermissionCheckTest = testing::InterfaceSideFixture;

TEST_F(PermissionCheckTest, PermissionChecksShowPendingCallsAndKeepTheLastAnswer) {
  std::vector<flutter::FlutterResult> calls;
  flutter::FlutterMethodChannel::methodChannelWithName(channels::kPermission.name, host())
      .setMethodCallHandler([&](const flutter::FlutterMethodCall& call, flutter::FlutterResult result) {
        EXPECT_EQ(call.method(), "checkPermissions");
        calls.push_back(std::move(result));
      });
  PermissionCheck check(ui());
  check.check();
  check.check();
  settle();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(check.pending(), 2);
  EXPECT_EQ(check.answer(), PermissionCheck::Answer::kNone);

  calls[0](EncodableValue(true));
  settle();
  EXPECT_EQ(check.pending(), 1);
  EXPECT_EQ(check.answer(), PermissionCheck::Answer::kGranted) << "shown while the other call is pending";
  calls[1](EncodableValue(false));
  settle();
  EXPECT_EQ(check.pending(), 0);
  EXPECT_EQ(check.answer(), PermissionCheck::Answer::kDenied);

  check.check();
  settle();
  ASSERT_EQ(calls.size(), 3u);
  calls[2](flutter::FlutterMethodNotImplemented);
  settle();
  EXPECT_EQ(check.answer(), PermissionCheck::Answer::kNoAnswer);
  EXPECT_EQ(check.problem(), "not implemented");
}

}  // namespace
}  // namespace built_in_interface
