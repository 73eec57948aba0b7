// The built-in interface's behaviour behind its widgets, against the host's side of real
// channels over the in-process messenger.
#include <gtest/gtest.h>

#include "BuiltInInterface/built_in_interface.h"
#include "Runner/embedding/event_channel.h"
#include "Runner/embedding/method_channel.h"
#include "engine/stand_in_engine.h"
#include "platform/dispatch/testing/fake_main_queue.h"

namespace built_in {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::FlutterError;

class SweepHost : public flutter::FlutterStreamHandler {
 public:
  std::optional<FlutterError> onListenWithArguments(const EncodableValue&, flutter::FlutterEventSink sink) override {
    ++listens;
    this->sink = std::move(sink);
    return refuse;
  }
  std::optional<FlutterError> onCancelWithArguments(const EncodableValue&) override {
    ++cancels;
    return std::nullopt;
  }
  void report(int host, bool success) {
    sink(EncodableMap{{"ip", "192.0.2." + std::to_string(host)}, {"success", success}});
  }
  flutter::FlutterEventSink sink;
  std::optional<FlutterError> refuse;
  int listens = 0;
  int cancels = 0;
};

class BuiltInInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standIn = std::make_unique<engine::StandInEngine>(
        queue, engine::StandInEngineOptions{std::nullopt, {}, {channels::kScan.name}});
    flutter::FlutterEventChannel::eventChannelWithName(channels::kScan.name, host()).setStreamHandler(sweep);
  }
  flutter::FlutterBinaryMessenger& host() { return standIn->binaryMessenger(); }
  engine::messaging::InterfaceSide& ui() { return standIn->interfaceSide(); }
  void settle() { queue.runUntilIdle(); }

  dispatch::testing::FakeMainQueue queue;
  int quits = 0;
  std::unique_ptr<engine::StandInEngine> standIn;
  std::shared_ptr<SweepHost> sweep = std::make_shared<SweepHost>();
};

TEST_F(BuiltInInterfaceTest, AScanShowsEachAddressOnceAndEndsAtTheNullThatCompletesIt) {
  ScanSession scan(ui());
  // The two lists as drawn: each address inserted where the session says.
  std::vector<std::string> reachable, silent;
  scan.setObserver({{},
                    [&](const ScanResult& result) {
                      auto& list = result.reachable ? reachable : silent;
                      ASSERT_LE(result.position, static_cast<int>(list.size()));
                      list.insert(list.begin() + result.position, result.ip);
                    },
                    {}});
  settle();
  EXPECT_EQ(sweep->listens, 0) << "the interface never scans by itself";

  scan.start();
  settle();
  ASSERT_EQ(sweep->listens, 1);
  sweep->report(7, true);
  sweep->report(7, true);                          // the same address again
  sweep->sink(EncodableMap{{"ip", "192.0.2.8"}});  // not a result: shown nowhere
  settle();
  EXPECT_EQ(scan.phase(), ScanSession::Phase::kScanning);
  EXPECT_EQ(scan.resultCount(), 1);
  EXPECT_EQ(scan.reachableCount(), 1);

  // Results come in the order the pings end, shown in address order (.2 before .10).
  for (int k = 1; k <= 254; ++k) {
    const int host = k * 7 % 255;  // every host number once, scattered
    if (host != 7) sweep->report(host, host == 20);
  }
  sweep->sink(EncodableValue());
  settle();
  EXPECT_EQ(scan.phase(), ScanSession::Phase::kComplete);
  EXPECT_EQ(scan.resultCount(), 254);
  EXPECT_EQ(scan.reachableCount(), 2);
  EXPECT_EQ(reachable, (std::vector<std::string>{"192.0.2.7", "192.0.2.20"}));
  std::vector<std::string> inAddressOrder;
  for (int host = 1; host <= 254; ++host) {
    if (host != 7 && host != 20) inAddressOrder.push_back("192.0.2." + std::to_string(host));
  }
  EXPECT_EQ(silent, inAddressOrder);
  EXPECT_EQ(sweep->cancels, 1) << "a complete scan stops listening";
}

TEST_F(BuiltInInterfaceTest, OneSweepAtATimeAndAStoppedSweepsNullIsNotTakenForNoNetwork) {
  ScanSession scan(ui());
  int resets = 0;
  scan.setObserver({[&] { ++resets; }, {}, {}});
  scan.start();
  settle();
  sweep->report(1, true);
  settle();
  EXPECT_FALSE(scan.canStart());
  scan.start();  // held down Alt+S
  settle();
  EXPECT_EQ(sweep->listens, 1) << "no second sweep while one runs";

  scan.stop();
  sweep->report(2, false);
  settle();
  EXPECT_EQ(scan.phase(), ScanSession::Phase::kStopped);
  EXPECT_EQ(scan.resultCount(), 1) << "stopping keeps what was shown";
  EXPECT_FALSE(scan.canStart()) << "the stopped sweep still runs in the host";
  EXPECT_EQ(sweep->cancels, 0) << "the host hears the cancel after the sweep's null, which it would drop";

  sweep->sink(EncodableValue());  // the stopped sweep's end, on its way while Scan is wanted
  settle();
  EXPECT_EQ(sweep->cancels, 1);
  EXPECT_EQ(scan.phase(), ScanSession::Phase::kStopped) << "not \"no local network\"";
  ASSERT_TRUE(scan.canStart());
  scan.start();
  settle();
  EXPECT_EQ(sweep->listens, 2);
  EXPECT_EQ(resets, 2);
  EXPECT_EQ(scan.phase(), ScanSession::Phase::kScanning);
  EXPECT_EQ(scan.resultCount(), 0) << "a second scan starts afresh";
}

TEST_F(BuiltInInterfaceTest, WhileADriverHasTakenOverNoScanStartsAndItsListenEndsOurs) {
  ScanSession scan(ui());
  scan.start();
  settle();
  ui().setCallInterceptor([](const std::string&, const flutter::FlutterMethodCall&, flutter::FlutterResult result) {
    result(EncodableValue());
  });
  std::vector<engine::messaging::StreamEvent> driverEvents;
  ui().listen(channels::kScan.name, {},
              [&](const engine::messaging::StreamEvent& event) { driverEvents.push_back(event); }, {});
  settle();
  EXPECT_EQ(scan.phase(), ScanSession::Phase::kStopped) << "told that its stream ended, not left scanning";
  sweep->sink(EncodableValue());
  sweep->sink(EncodableValue());
  settle();
  EXPECT_FALSE(scan.canStart());
  EXPECT_EQ(driverEvents.size(), 2u) << "the driver's stream goes on, with no end";

  ui().setCallInterceptor({});
  ui().cancel(channels::kScan.name, {}, {});
  EXPECT_TRUE(scan.canStart());
}

TEST_F(BuiltInInterfaceTest, AScanEndedBeforeAnyResultFoundNoLocalNetwork) {
  ScanSession scan(ui());
  scan.start();
  settle();
  sweep->sink(EncodableValue());  // the host's whole answer when it has no network to sweep
  settle();
  EXPECT_EQ(scan.phase(), ScanSession::Phase::kNoNetwork);
  EXPECT_FALSE(scan.listening());
  EXPECT_EQ(sweep->cancels, 1);
}

TEST_F(BuiltInInterfaceTest, ARefusedScanSaysWhy) {
  sweep->refuse = FlutterError{"busy", "try later", EncodableValue()};
  ScanSession scan(ui());
  scan.start();
  settle();
  EXPECT_EQ(scan.phase(), ScanSession::Phase::kFailed);
  EXPECT_EQ(scan.problem(), "busy: try later");
  EXPECT_FALSE(scan.listening());
}

TEST_F(BuiltInInterfaceTest, PermissionChecksShowPendingCallsAndKeepTheLastAnswer) {
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

TEST_F(BuiltInInterfaceTest, TheLaunchAtLoginSwitchWritesThenShowsWhatARereadSays) {
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

TEST_F(BuiltInInterfaceTest, AQuitAttemptEndsTheApplicationOnlyWhenThePersonSaysSo) {
  BuiltInInterface built_in(ui(), [this] { ++quits; });
  std::vector<std::function<void(bool)>> questions;
  built_in.setQuitQuestion([&](std::function<void(bool)> answer) { questions.push_back(std::move(answer)); });
  auto lifecycle = flutter::FlutterMethodChannel::methodChannelWithName(channels::kLifecycle.name, host());

  lifecycle.invokeMethod("onQuitAttempt", EncodableValue());
  settle();
  ASSERT_EQ(questions.size(), 1u);
  questions[0](false);
  EXPECT_EQ(quits, 0);

  lifecycle.invokeMethod("onQuitAttempt", EncodableValue());
  settle();
  ASSERT_EQ(questions.size(), 2u);
  questions[1](true);
  EXPECT_EQ(quits, 1);

  ui().setCallInterceptor([](const std::string&, const flutter::FlutterMethodCall&, flutter::FlutterResult result) {
    result(EncodableValue());
  });
  lifecycle.invokeMethod("onQuitAttempt", EncodableValue());
  settle();
  EXPECT_EQ(questions.size(), 2u) << "a driver has the calls";
}

TEST_F(BuiltInInterfaceTest, RunByTheEngineItEndsTheApplicationOnAQuitAttemptUnlessADriverHasTheCalls) {
  standIn = std::make_unique<engine::StandInEngine>(
      queue, engine::StandInEngineOptions{std::nullopt,
                                          [this](engine::messaging::InterfaceSide& side) {
                                            return std::make_unique<BuiltInInterface>(side, [this] { ++quits; });
                                          },
                                          {channels::kScan.name}});
  std::vector<flutter::FlutterReply> replies;
  auto lifecycle = flutter::FlutterMethodChannel::methodChannelWithName(channels::kLifecycle.name, host());
  lifecycle.invokeMethod("somethingElse", {}, [&](const flutter::FlutterReply& reply) { replies.push_back(reply); });
  settle();
  EXPECT_EQ(quits, 0);
  EXPECT_EQ(replies, (std::vector<flutter::FlutterReply>{flutter::FlutterMethodNotImplemented}));

  lifecycle.invokeMethod("onQuitAttempt", {});
  settle();
  EXPECT_EQ(quits, 1) << "shown nowhere, there is nobody to ask";

  ui().setCallInterceptor([](const std::string&, const flutter::FlutterMethodCall&, flutter::FlutterResult result) {
    result(EncodableValue());
  });
  lifecycle.invokeMethod("onQuitAttempt", {});
  settle();
  EXPECT_EQ(quits, 1);
}

}  // namespace
}  // namespace built_in
