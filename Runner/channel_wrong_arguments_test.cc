// Every channel handler of the wired main window, fed arguments of every kind the codec can
// carry, as encoded bytes through the engine's messenger. None of them is what a handler
// expects, yet each call is answered exactly once, as the handler answers any call of that
// name, and nothing beyond what the method always does happens.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "LaunchAtLogin/testing/launch_at_login_fixture.h"
#include "Runner/MainFlutterWindow.h"
#include "Runner/embedding/standard_codec.h"
#include "Runner/testing/recording_engine.h"
#include "platform/appkit/testing/fake_application_backend.h"
#include "platform/dispatch/testing/fake_main_queue.h"
#include "platform/interfaces/testing/fake_interface_addresses.h"
#include "platform/network/testing/fake_connection_factory.h"
#include "platform/process/testing/fake_process_launcher.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr const char* kLaunchChannel = "launch_at_startup";
constexpr const char* kScanChannel = "com.brovak.tessra/scanForPingableDevices";
constexpr const char* kPermissionChannel = "com.brovak.tessra/localNetworkPermission";

EncodableValue nested(int depth) {
  EncodableValue value(EncodableList{});
  for (int i = 1; i < depth; ++i) value = EncodableValue(EncodableList{value});
  return value;
}

EncodableValue underKey(EncodableValue value) { return EncodableMap{{EncodableValue("setEnabledValue"), value}}; }

// Every kind of value, and every kind of value where a boolean belongs.
std::vector<std::pair<std::string, EncodableValue>> wrongArguments() {
  const std::vector<std::pair<std::string, EncodableValue>> scalars = {
      {"null", EncodableValue()},
      {"int32", EncodableValue(int32_t{1})},
      {"int64", EncodableValue(int64_t{1} << 40)},
      {"float64", EncodableValue(1.0)},
      {"NaN", EncodableValue(std::numeric_limits<double>::quiet_NaN())},
      {"empty string", EncodableValue("")},
      {"string", EncodableValue("true")},
      {"bytes", EncodableValue(std::vector<uint8_t>{1})},
      {"int32 list", EncodableValue(std::vector<int32_t>{1})},
      {"int64 list", EncodableValue(std::vector<int64_t>{1})},
      {"float64 list", EncodableValue(std::vector<double>{1.0})},
      {"float32 list", EncodableValue(std::vector<float>{1.0f})},
      {"list", EncodableValue(EncodableList{EncodableValue(true)})},
      {"empty map", EncodableValue(EncodableMap{})},
  };
  std::vector<std::pair<std::string, EncodableValue>> all = scalars;
  all.push_back({"true", EncodableValue(true)});
  all.push_back({"false", EncodableValue(false)});
  for (const auto& [name, value] : scalars) all.push_back({"setEnabledValue: " + name, underKey(value)});
  all.push_back({"setEnabledValue: deep list", underKey(nested(flutter::StandardMessageCodec::kMaxNestingDepth - 2))});
  all.push_back({"bool under another key", EncodableMap{{EncodableValue("setEnabled"), EncodableValue(true)}}});
  all.push_back(
      {"bool beside a key that is not a string", EncodableMap{{EncodableValue("setEnabledValue"), EncodableValue(true)},
                                                              {EncodableValue(int32_t{1}), EncodableValue(true)}}});
  all.push_back({"key that is not a string", EncodableMap{{EncodableValue(true), EncodableValue(true)}}});
  all.push_back({"deep list", nested(flutter::StandardMessageCodec::kMaxNestingDepth)});
  return all;
}

class ChannelWrongArguments : public LaunchAtLoginTest {
 protected:
  void SetUp() override {
    LaunchAtLoginTest::SetUp();
    interfaces_.entries = {interfaces::testing::FakeInterfaceAddresses::ipv4("en0", "198.51.100.10")};
    window_ = std::make_shared<MainFlutterWindow>(
        appkit::NSRect{0, 0, 800, 600}, appkit::NSWindowStyleMaskTitled,
        appkit::NSBackingStoreType::NSBackingStoreBuffered, false,
        discovery::DiscoveryServices{interfaces_, processes_, mainQueue_, connections_, out_});
    window_->awakeFromNib();
    observeEverything();
    events.clear();
    services.calls.clear();
  }

  // One call as the interface makes it; how often and with what the host answered.
  std::shared_ptr<flutter::testing::RecordingMessenger::Answer> call(const std::string& channel,
                                                                     const std::string& method,
                                                                     const EncodableValue& arguments) {
    return engines_.lastEngine->messenger.deliver(
        channel, flutter::StandardMethodCodec::encodeMethodCall(flutter::FlutterMethodCall(method, arguments)));
  }

  static flutter::FlutterReply decoded(const std::vector<uint8_t>& bytes) {
    auto reply = flutter::StandardMethodCodec::decodeReply(bytes);
    EXPECT_TRUE(reply) << reply.error();
    return reply ? reply.value() : flutter::FlutterReply(flutter::FlutterMethodNotImplemented);
  }

  appkit::testing::ScopedFakeApplication fake_;
  std::vector<std::string> journal_;
  runner::testing::ScopedRecordingEngineFactory engines_{journal_};
  interfaces::testing::FakeInterfaceAddresses interfaces_;
  process::testing::FakeProcessLauncher processes_;
  dispatch::testing::FakeMainQueue mainQueue_;
  network::testing::FakeConnectionFactory connections_;
  std::ostringstream out_;
  std::shared_ptr<MainFlutterWindow> window_;
};

TEST_F(ChannelWrongArguments, LaunchAtStartupReadsOrAnswersNullAndNeverWrites) {
  for (const auto& [name, arguments] : wrongArguments()) {
    SCOPED_TRACE(name);
    auto read = call(kLaunchChannel, "launchAtStartupIsEnabled", arguments);
    EXPECT_EQ(read->count, 1);
    EXPECT_EQ(decoded(read->bytes), flutter::FlutterReply(EncodableValue(false)));

    auto write = call(kLaunchChannel, "launchAtStartupSetEnabled", arguments);
    EXPECT_EQ(write->count, 1);
    EXPECT_EQ(decoded(write->bytes), flutter::FlutterReply(EncodableValue()));

    auto other = call(kLaunchChannel, "launchAtStartupSetEnabled ", arguments);
    EXPECT_EQ(other->count, 1);
    EXPECT_TRUE(other->bytes.empty()) << "not implemented";
  }
  // "true" and "false" alone are not the map the write needs either.
  EXPECT_EQ(services.count("register"), 0);
  EXPECT_EQ(services.count("unregister"), 0);
  EXPECT_TRUE(notifications().empty());
}

TEST_F(ChannelWrongArguments, PermissionCallsProbeAndAnswerOnceWhateverTheirArguments) {
  size_t probes = 0;
  for (const auto& [name, arguments] : wrongArguments()) {
    SCOPED_TRACE(name);
    for (const char* method : {"checkPermissions", "requestPermissions"}) {
      auto answer = call(kPermissionChannel, method, arguments);
      ASSERT_EQ(connections_.made.size(), ++probes);
      auto connection = connections_.connection(probes - 1);
      ASSERT_TRUE(connection);
      EXPECT_EQ(answer->count, 0) << "answered before the probe settled";
      connection->fail(111, "Connection refused");
      connection->deliverCancelled();
      EXPECT_EQ(answer->count, 1);
      EXPECT_EQ(decoded(answer->bytes), flutter::FlutterReply(EncodableValue(false)));
    }
    auto other = call(kPermissionChannel, "CheckPermissions", arguments);
    EXPECT_EQ(other->count, 1);
    EXPECT_TRUE(other->bytes.empty()) << "not implemented";
  }
  EXPECT_EQ(connections_.made.size(), probes) << "an unknown method probed";
}

TEST_F(ChannelWrongArguments, ScanListenAndCancelIgnoreTheirArguments) {
  size_t launches = 0;
  for (const auto& [name, arguments] : wrongArguments()) {
    SCOPED_TRACE(name);
    auto listen = call(kScanChannel, "listen", arguments);
    EXPECT_EQ(listen->count, 1);
    EXPECT_EQ(decoded(listen->bytes), flutter::FlutterReply(EncodableValue()));
    EXPECT_TRUE(window_->hasEventSink());
    launches += 254;
    EXPECT_EQ(processes_.launchCount(), launches) << "each listen sweeps the /24";

    auto cancel = call(kScanChannel, "cancel", arguments);
    EXPECT_EQ(cancel->count, 1);
    EXPECT_EQ(decoded(cancel->bytes), flutter::FlutterReply(EncodableValue()));
    EXPECT_FALSE(window_->hasEventSink());
  }
  EXPECT_EQ(out_.str(), "");
}

}  // namespace
