// Discovery over the real adapters, in-process, inside a fakelan namespace (its own
// loopback, so port 80 is ours): a thousand permission probes with and without a listener,
// and a sweep with the ping utility missing (run by CTest in a private mount namespace
// where it is; anywhere else that test skips).
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "Runner/discovery/local_network_discovery.h"
#include "Runner/discovery/testing/sweep_collector.h"
#include "platform/dispatch/glib_main_queue.h"
#include "platform/interfaces/linux_interface_addresses.h"
#include "platform/network/socket_connection_factory.h"
#include "platform/process/clone_launcher.h"
#include "platform/process/descriptor_limit.h"
#include "tests/integration/support/lab.h"
#include "tests/integration/support/loopback_listener.h"
#include "tests/integration/support/main_loop.h"

namespace {

using tessra::testing::environment;
using tessra::testing::LoopbackListener;
using tessra::testing::pumpUntil;

int openDescriptors() { return tessra::testing::openDescriptors(getpid()); }

class DiscoverySoak : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(environment("FAKELAN_NS_SCAN").empty()) << "refusing to run outside a fakelan namespace";
    process::raiseDescriptorLimit();
    discovery_ = std::make_shared<discovery::LocalNetworkDiscovery>(
        discovery::DiscoveryServices{interfaces_, processes_, mainQueue_, connections_, out_});
  }

  dispatch::GlibMainQueue mainQueue_;
  interfaces::LinuxInterfaceAddresses interfaces_;
  process::CloneLauncher processes_;
  network::SocketConnectionFactory connections_{mainQueue_};
  std::ostringstream out_;
  std::shared_ptr<discovery::LocalNetworkDiscovery> discovery_;
};

TEST_F(DiscoverySoak, AThousandProbesWithAndWithoutAListenerAreEachAnsweredOnceAndTruly) {
  constexpr int kPhases = 4;
  constexpr int kPerPhase = 250;
  const int descriptorsBefore = openDescriptors();
  std::vector<int> answers(kPhases * kPerPhase, 0);
  std::vector<std::optional<bool>> granted(answers.size());
  int outstanding = 0;

  for (int phase = 0; phase < kPhases; ++phase) {
    SCOPED_TRACE("phase " + std::to_string(phase));
    const bool listening = phase % 2 == 0;
    // Accepts on 127.0.0.1:80 and hangs up at once, as a server that closes straight away.
    std::optional<LoopbackListener> listener;
    if (listening) {
      listener.emplace(80, 1024);
      ASSERT_TRUE(listener->ok()) << "could not listen on 127.0.0.1:80 in the namespace";
      listener->hangUpOnEveryConnection();
    }
    outstanding = kPerPhase;
    for (int i = 0; i < kPerPhase; ++i) {
      const size_t call = static_cast<size_t>(phase * kPerPhase + i);
      const char* method = i % 2 ? "requestPermissions" : "checkPermissions";
      discovery_->handleLocalNetworkPermissionCall(
          flutter::FlutterMethodCall(method, flutter::EncodableValue()),
          flutter::FlutterResult(method, [&, call](flutter::FlutterReply reply) {
            if (++answers[call] == 1) --outstanding;
            granted[call] = std::get<bool>(std::get<flutter::EncodableValue>(reply));
          }));
    }
    ASSERT_TRUE(pumpUntil([&] { return outstanding == 0; })) << outstanding << " calls unanswered";
    for (int i = 0; i < kPerPhase; ++i) {
      EXPECT_EQ(granted[static_cast<size_t>(phase * kPerPhase + i)], listening) << "call " << i;
    }
  }
  // Answered probes still see their cancellations through; a second answer would land now.
  EXPECT_TRUE(pumpUntil([&] { return openDescriptors() <= descriptorsBefore; }))
      << openDescriptors() << " descriptors open, " << descriptorsBefore << " before";
  for (size_t call = 0; call < answers.size(); ++call) EXPECT_EQ(answers[call], 1) << "call " << call;

  std::stringstream lines(out_.str());
  int granted_lines = 0, failed_lines = 0;
  for (std::string line; std::getline(lines, line);) {
    granted_lines += line == "🔹 Network permission granted";
    failed_lines += line.rfind("Network permission request failed: ", 0) == 0;
  }
  EXPECT_EQ(granted_lines, kPhases / 2 * kPerPhase);
  EXPECT_EQ(failed_lines, kPhases / 2 * kPerPhase);
}

TEST_F(DiscoverySoak, WithoutPingEveryAddressIsReportedFailedBeforeListenReturnsThenCompleted) {
  using discovery::kPingPath;
  if (access(kPingPath, F_OK) == 0) GTEST_SKIP() << kPingPath << " exists; CTest runs this where it does not";
  const int descriptorsBefore = openDescriptors();
  discovery::testing::SweepCollector sweep;
  discovery_->onListenWithArguments(flutter::EncodableValue(), sweep.sink());
  EXPECT_EQ(sweep.results(), 254u) << "all before listen returned";
  EXPECT_EQ(sweep.addresses().size(), 254u);
  EXPECT_TRUE(sweep.answered().empty());
  EXPECT_FALSE(sweep.completed()) << "the completion comes through the main queue";
  EXPECT_TRUE(pumpUntil([&] { return sweep.completed(); }));
  EXPECT_EQ(sweep.completions(), 1u);
  EXPECT_EQ(processes_.running(), 0u);
  EXPECT_EQ(openDescriptors(), descriptorsBefore);
  EXPECT_EQ(out_.str(), "");
}

}  // namespace
