// The "launch_at_startup" channel handler over a LaunchAtLogin on fakes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "LaunchAtLogin/testing/launch_at_login_fixture.h"
#include "Runner/LaunchAtStartupHandler.h"

using ::testing::IsEmpty;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::FlutterReply;
using service_management::SMAppServiceStatus;

namespace {

class LaunchAtStartupHandlerTest : public LaunchAtLoginTest {
 protected:
  // Calls the handler and returns every reply it gave before returning.
  std::vector<FlutterReply> call(const std::string& method, EncodableValue arguments = {}) {
    std::vector<FlutterReply> replies;
    handleLaunchAtStartupCall(flutter::FlutterMethodCall(method, std::move(arguments)),
                              flutter::FlutterResult(method, [&](FlutterReply reply) { replies.push_back(reply); }));
    return replies;
  }

  static EncodableValue setArguments(EncodableValue value) {
    return EncodableValue(EncodableMap{{EncodableValue("setEnabledValue"), std::move(value)}});
  }

  void SetUp() override {
    LaunchAtLoginTest::SetUp();
    observeEverything();
    events.clear();
    services.calls.clear();
  }
};

const FlutterReply kNull{EncodableValue()};

TEST_F(LaunchAtStartupHandlerTest, IsEnabledAnswersAFreshReadWhateverTheArguments) {
  services.main.status = SMAppServiceStatus::Enabled;
  EXPECT_EQ(call("launchAtStartupIsEnabled"), std::vector{FlutterReply(EncodableValue(true))});
  EXPECT_EQ(call("launchAtStartupIsEnabled", EncodableValue(EncodableList{EncodableValue("x")})),
            std::vector{FlutterReply(EncodableValue(true))});
  services.main.status = SMAppServiceStatus::RequiresApproval;
  EXPECT_EQ(call("launchAtStartupIsEnabled", setArguments(EncodableValue(true))),
            std::vector{FlutterReply(EncodableValue(false))});
  EXPECT_THAT(notifications(), IsEmpty());
}

TEST_F(LaunchAtStartupHandlerTest, SetEnabledWritesFullyAndAnswersNullAfterTheObservers) {
  std::vector<FlutterReply> replies;
  handleLaunchAtStartupCall(flutter::FlutterMethodCall("launchAtStartupSetEnabled", setArguments(EncodableValue(true))),
                            flutter::FlutterResult("launchAtStartupSetEnabled", [&](FlutterReply reply) {
                              events.push_back("reply");
                              replies.push_back(reply);
                            }));
  EXPECT_EQ(replies, std::vector{kNull});
  EXPECT_THAT(notifications(), ::testing::ElementsAre("observable willChange", "kvo will (reads false)",
                                                      "kvo did (reads true)", "publisher true", "reply"));

  events.clear();
  EXPECT_EQ(call("launchAtStartupSetEnabled", setArguments(EncodableValue(true))), std::vector{kNull});
  EXPECT_EQ(notifications().size(), 4u);  // the current value is written again, in full
}

TEST_F(LaunchAtStartupHandlerTest, ARefusedEnableAnswersNullAndTheNextReadSaysFalse) {
  services.main.registerError = "denied";
  EXPECT_EQ(call("launchAtStartupSetEnabled", setArguments(EncodableValue(true))), std::vector{kNull});
  EXPECT_EQ(call("launchAtStartupIsEnabled"), std::vector{FlutterReply(EncodableValue(false))});
  EXPECT_EQ(log.entries.size(), 1u);
}

TEST_F(LaunchAtStartupHandlerTest, ArgumentsItCannotUseAnswerNullAndChangeNothing) {
  const std::vector<std::pair<const char*, EncodableValue>> cases = {
      {"none", EncodableValue()},
      {"a list", EncodableValue(EncodableList{EncodableValue(true)})},
      {"a string", EncodableValue("true")},
      {"a bare boolean", EncodableValue(true)},
      {"a map without the key", EncodableValue(EncodableMap{{EncodableValue("enabled"), EncodableValue(true)}})},
      {"a string under the key", setArguments(EncodableValue("true"))},
      {"a number under the key", setArguments(EncodableValue(int32_t{1}))},
      {"null under the key", setArguments(EncodableValue())},
      {"a map with a non-string key",
       EncodableValue(EncodableMap{{EncodableValue("setEnabledValue"), EncodableValue(true)},
                                   {EncodableValue(int32_t{1}), EncodableValue(false)}})},
  };
  for (const auto& [name, arguments] : cases) {
    EXPECT_EQ(call("launchAtStartupSetEnabled", arguments), std::vector{kNull}) << name;
  }
  EXPECT_THAT(services.calls, IsEmpty());
  EXPECT_THAT(events, IsEmpty());
}

TEST_F(LaunchAtStartupHandlerTest, OtherNamesAreNotImplementedAndTouchNothing) {
  for (const char* method : {"launchAtStartupsetEnabled", "LaunchAtStartupIsEnabled", "launchAtStartupIsEnabled ", "",
                             "launchAtStartupSetEnabledValue"}) {
    EXPECT_EQ(call(method, setArguments(EncodableValue(true))),
              std::vector{FlutterReply(flutter::FlutterMethodNotImplemented)})
        << '"' << method << '"';
  }
  EXPECT_THAT(services.calls, IsEmpty());
  EXPECT_THAT(events, IsEmpty());
}

}  // namespace
