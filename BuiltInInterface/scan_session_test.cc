// The scan session behind the scan panel, against the host's side of a real scan channel.
#include "BuiltInInterface/scan_session.h"

#include <gtest/gtest.h>

#include "BuiltInInterface/testing/interface_side_fixture.h"
#include "Runner/embedding/event_channel.h"

namespace built_in_interface {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::FlutterError;

// The host's end of the scan channel, played by the test.
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

class ScanSessionTest : public testing::InterfaceSideFixture {
 protected:
  void SetUp() override {
    InterfaceSideFixture::SetUp();
    flutter::FlutterEventChannel::eventChannelWithName(channels::kScan.name, host()).setStreamHandler(sweep);
  }

  std::shared_ptr<SweepHost> sweep = std::make_shared<SweepHost>();
};

TEST_F(ScanSessionTest, AScanShowsEachAddressOnceAndEndsAtTheNullThatCompletesIt) {
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

TEST_F(ScanSessionTest, OneSweepAtATimeAndAStoppedSweepsNullIsNotTakenForNoNetwork) {
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

TEST_F(ScanSessionTest, WhileADriverHasTakenOverNoScanStartsAndItsListenEndsOurs) {
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

TEST_F(ScanSessionTest, AScanEndedBeforeAnyResultFoundNoLocalNetwork) {
  ScanSession scan(ui());
  scan.start();
  settle();
  sweep->sink(EncodableValue());  // the host's whole answer when it has no network to sweep
  settle();
  EXPECT_EQ(scan.phase(), ScanSession::Phase::kNoNetwork);
  EXPECT_FALSE(scan.listening());
  EXPECT_EQ(sweep->cancels, 1);
}

TEST_F(ScanSessionTest, ARefusedScanSaysWhy) {
  sweep->refuse = FlutterError{"busy", "try later", EncodableValue()};
  ScanSession scan(ui());
  scan.start();
  settle();
  EXPECT_EQ(scan.phase(), ScanSession::Phase::kFailed);
  EXPECT_EQ(scan.problem(), "busy: try later");
  EXPECT_FALSE(scan.listening());
}

}  // namespace
}  // namespace built_in_interface
