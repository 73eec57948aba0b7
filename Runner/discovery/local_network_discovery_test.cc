// The window's discovery side: the scan stream's subscription around the sweeps, and the
// permission channel's methods. What the sweep, the subnet detection and the probe do on
// their own is tested beside each of them.
#include "Runner/discovery/local_network_discovery.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "Runner/discovery/testing/discovery_fixture.h"
#include "Runner/discovery/testing/sweep_collector.h"

namespace discovery {
namespace {

using network::ConnectionState;
using testing::SweepCollector;

constexpr size_t kAddresses = 254;

class LocalNetworkDiscoveryTest : public testing::DiscoveryFixture {
 protected:
  void listen(SweepCollector& collector) {
    EXPECT_EQ(discovery->onListenWithArguments(flutter::EncodableValue(), collector.sink()), std::nullopt);
  }
  void cancel() { EXPECT_EQ(discovery->onCancelWithArguments(flutter::EncodableValue()), std::nullopt); }
  // Ends children [first, last) of the launch order with exit status 1.
  void finishSilently(size_t first, size_t last) {
    for (size_t i = first; i < last; ++i) processes.exit(i, 1);
  }

  // What one permission call got back.
  struct Answer {
    int count = 0;
    std::optional<flutter::FlutterReply> reply;
  };
  void call(const std::string& method, Answer& answer) {
    discovery->handleLocalNetworkPermissionCall(flutter::FlutterMethodCall(method, flutter::EncodableValue()),
                                                flutter::FlutterResult(method, [&answer](flutter::FlutterReply reply) {
                                                  ++answer.count;
                                                  answer.reply = std::move(reply);
                                                }));
  }
};

// --- The scan stream ---------------------------------------------------------------------

TEST_F(LocalNetworkDiscoveryTest, AListenSweepsHostsOneTo254OfTheLocalSubnet) {
  SweepCollector collector;
  listen(collector);
  ASSERT_EQ(processes.launchCount(), kAddresses);
  EXPECT_EQ(processes.launchAt(0).arguments.back(), "198.51.100.1");
  EXPECT_EQ(processes.launchAt(kAddresses - 1).arguments.back(), "198.51.100.254");
  EXPECT_EQ(out.str(), "");
}

TEST_F(LocalNetworkDiscoveryTest, CancellingDropsTheRestOfTheSweepButNotItsPings) {
  SweepCollector collector;
  listen(collector);
  finishSilently(0, 10);
  mainQueue.runUntilIdle();
  ASSERT_EQ(collector.events.size(), 10u);

  cancel();
  finishSilently(10, kAddresses);
  mainQueue.runUntilIdle();
  EXPECT_EQ(collector.events.size(), 10u);
}

TEST_F(LocalNetworkDiscoveryTest, AListenerThatCancelsFromInsideItsSinkGetsNothingMore) {
  SweepCollector collector;
  auto record = collector.sink();
  discovery->onListenWithArguments(flutter::EncodableValue(), [&](const flutter::EncodableValue& value) {
    record(value);
    discovery->onCancelWithArguments(flutter::EncodableValue());
  });
  finishSilently(0, kAddresses);
  mainQueue.runUntilIdle();
  EXPECT_EQ(collector.events.size(), 1u);
}

TEST_F(LocalNetworkDiscoveryTest, ListeningAgainStartsASecondSweepAndTheNewestSinkGetsBoth) {
  SweepCollector first, second;
  listen(first);
  finishSilently(0, 5);
  mainQueue.runUntilIdle();
  listen(second);
  ASSERT_EQ(processes.launchCount(), 2 * kAddresses);

  finishSilently(5, kAddresses);
  mainQueue.runUntilIdle();
  // The rest of the first sweep, then its own completion.
  ASSERT_EQ(second.events.size(), kAddresses - 5 + 1);
  EXPECT_TRUE(second.events.back().completion);

  finishSilently(kAddresses, 2 * kAddresses);
  mainQueue.runUntilIdle();
  EXPECT_EQ(first.events.size(), 5u);
  ASSERT_EQ(second.events.size(), kAddresses - 5 + 1 + kAddresses + 1);
  EXPECT_EQ(second.completions(), 2u);
  EXPECT_TRUE(second.events.back().completion);
}

TEST_F(LocalNetworkDiscoveryTest, ANewListenerAfterACancelReceivesTheRestOfTheEarlierSweep) {
  SweepCollector first, second;
  listen(first);
  cancel();
  finishSilently(0, 100);
  mainQueue.runUntilIdle();

  // Listening again starts a sweep of its own; the old one now reports here too.
  listen(second);
  finishSilently(100, kAddresses);
  mainQueue.runUntilIdle();
  EXPECT_TRUE(first.events.empty());
  ASSERT_EQ(second.events.size(), kAddresses - 100 + 1);
  EXPECT_TRUE(second.events.back().completion);
}

TEST_F(LocalNetworkDiscoveryTest, WithoutAPrefixListeningPrintsOneLineThenCompletesThroughTheMainQueue) {
  interfaces.entries = {interfaces::testing::FakeInterfaceAddresses::ipv4("eth7", "198.51.100.10")};
  SweepCollector collector;
  listen(collector);
  EXPECT_EQ(out.str(), "❌ Failed to detect local subnet prefix\n");
  EXPECT_EQ(processes.launchCount(), 0u);
  EXPECT_TRUE(collector.events.empty()) << "the end comes later, as a sweep's does";
  mainQueue.runUntilIdle();
  ASSERT_EQ(collector.events.size(), 1u);
  EXPECT_TRUE(collector.events[0].completion);

  // Like a sweep's end, it goes to whoever listens when it is delivered.
  SweepCollector cancelled;
  listen(cancelled);
  cancel();
  mainQueue.runUntilIdle();
  EXPECT_TRUE(cancelled.events.empty());
}

TEST_F(LocalNetworkDiscoveryTest, ASweepOutlivesTheLastOutsideReferenceToTheWindow) {
  SweepCollector collector;
  listen(collector);
  std::weak_ptr<LocalNetworkDiscovery> window = discovery;
  discovery.reset();
  EXPECT_FALSE(window.expired());
  finishSilently(0, kAddresses);
  mainQueue.runUntilIdle();
  EXPECT_EQ(collector.events.size(), kAddresses + 1);
  EXPECT_TRUE(window.expired()) << "the finished sweep still holds the window";
}

// --- The permission channel --------------------------------------------------------------

TEST_F(LocalNetworkDiscoveryTest, BothPermissionMethodsAnswerWithTheirOwnProbesAnswer) {
  Answer check, request;
  call("checkPermissions", check);
  call("requestPermissions", request);
  ASSERT_EQ(connections.made.size(), 2u);
  EXPECT_EQ(connections.connection(0)->port, 80);
  connections.connection(1)->deliver(ConnectionState::kReady);
  connections.connection(0)->fail(ECONNREFUSED, "Connection refused");
  EXPECT_EQ(check.count, 1);
  EXPECT_EQ(check.reply, flutter::FlutterReply(flutter::EncodableValue(false)));
  EXPECT_EQ(request.count, 1);
  EXPECT_EQ(request.reply, flutter::FlutterReply(flutter::EncodableValue(true)));
  EXPECT_EQ(out.str(), "🔹 Network permission granted\nNetwork permission request failed: Connection refused\n");
}

TEST_F(LocalNetworkDiscoveryTest, OtherPermissionMethodNamesAreNotImplementedAndProbeNothing) {
  // The name is printed as the caller chose it, but it can neither end the line nor forge
  // another.
  const std::string longName(300, 'm');
  const struct {
    std::string method;
    std::string printed;
  } rows[] = {
      {"CheckPermissions", "CheckPermissions"},
      {"checkpermissions", "checkpermissions"},
      {"requestPermission", "requestPermission"},
      {"", ""},
      {"listen", "listen"},
      {"a \\x0a b\"'%s", "a \\x0a b\"'%s"},
      {"x\n🔹 Network permission granted", "x\\x0a🔹 Network permission granted"},
      {"x\r\t\x1b[2K\x7f", "x\\x0d\\x09\\x1b[2K\\x7f"},
      {std::string("nul\0byte", 8), "nul\\x00byte"},
      {"bad\xff\xc3(\xe2\x82", "bad\\xff\\xc3(\\xe2\\x82"},
      {"ok: Prüfung", "ok: Prüfung"},
      {"line\u2028sep\u202eright\xc2\x85", "line\\u{2028}sep\\u{202e}right\\u{0085}"},
      {longName, std::string(256, 'm') + "... (300 bytes)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.printed);
    out.str("");
    Answer answer;
    call(row.method, answer);
    EXPECT_EQ(answer.count, 1);
    ASSERT_TRUE(answer.reply);
    EXPECT_TRUE(std::holds_alternative<flutter::FlutterMethodNotImplementedMarker>(*answer.reply));
    EXPECT_EQ(out.str(), "Unsupported method: " + row.printed + "\n");
  }
  EXPECT_TRUE(connections.made.empty());
}

}  // namespace
}  // namespace discovery
