// Discovery over the real adapters inside a fakelan namespace: real getifaddrs, real ping
// children, the GLib main loop and real loopback connections. Everything here sends
// packets, so the binary refuses to run anywhere else.
#include <glib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>

#include "Runner/discovery/local_network_discovery.h"
#include "Runner/discovery/testing/sweep_collector.h"
#include "platform/dispatch/glib_main_queue.h"
#include "platform/interfaces/linux_interface_addresses.h"
#include "platform/network/socket_connection_factory.h"
#include "platform/process/clone_launcher.h"
#include "platform/process/descriptor_limit.h"
#include "tests/integration/support/lab.h"
#include "tests/integration/support/main_loop.h"

namespace {

using tessra::testing::environment;

int openDescriptors() { return tessra::testing::openDescriptors(getpid()); }

bool noChildren() {
  siginfo_t info{};
  return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD;
}

// The real adapters, wired as the program wires them.
class RealDiscovery : public ::testing::Test {
 protected:
  RealDiscovery() {
    discovery = std::make_shared<discovery::LocalNetworkDiscovery>(
        discovery::DiscoveryServices{interfaces, processes, mainQueue, connections, out});
  }

  dispatch::GlibMainQueue mainQueue;
  interfaces::LinuxInterfaceAddresses interfaces;
  process::CloneLauncher processes;
  network::SocketConnectionFactory connections{mainQueue};
  std::ostringstream out;
  std::shared_ptr<discovery::LocalNetworkDiscovery> discovery;
};

TEST_F(RealDiscovery, TheSubnetPrefixComesFromTheNamespacesInterfaces) {
  // Usually the /24 of en0; runs with other layouts set the expectation themselves, "none"
  // where no interface is a local network.
  const std::string expected =
      environment("EXPECTED_PREFIX").empty() ? environment("FAKELAN_PREFIX") : environment("EXPECTED_PREFIX");
  if (expected != "none") {
    EXPECT_EQ(discovery->getLocalSubnetPrefix(), expected);
    return;
  }
  EXPECT_EQ(discovery->getLocalSubnetPrefix(), std::nullopt);
  // Then a listen pings nothing, says so, and ends with the completion alone.
  discovery::testing::SweepCollector sweep;
  discovery->onListenWithArguments(flutter::EncodableValue(), sweep.sink());
  EXPECT_TRUE(tessra::testing::pumpUntil([&] { return sweep.completed(); })) << "the listen never ended";
  EXPECT_EQ(sweep.results(), 0u);
  EXPECT_EQ(sweep.completions(), 1u);
  EXPECT_EQ(out.str(), "❌ Failed to detect local subnet prefix\n");
}

TEST_F(RealDiscovery, ASweepFindsExactlyTheRespondersAndItselfThenCompletesLeavingNothingBehind) {
  const int descriptorsBefore = openDescriptors();
  discovery::testing::SweepCollector sweep;
  discovery->onListenWithArguments(flutter::EncodableValue(), sweep.sink());
  EXPECT_TRUE(tessra::testing::pumpUntil([&] { return sweep.completed(); })) << "the sweep never completed";

  EXPECT_EQ(sweep.results(), 254u);
  const auto seen = sweep.addresses();
  EXPECT_EQ(seen.size(), 254u);
  EXPECT_FALSE(sweep.resultAfterCompletion());
  EXPECT_EQ(seen.count(environment("FAKELAN_PREFIX") + ".0") + seen.count(environment("FAKELAN_PREFIX") + ".255"), 0u);
  EXPECT_EQ(sweep.answered(), tessra::testing::fakelanReachable());
  EXPECT_EQ(processes.running(), 0u);
  EXPECT_TRUE(noChildren()) << "a ping child or zombie is left";
  EXPECT_EQ(openDescriptors(), descriptorsBefore) << "descriptors leaked by the sweep";
  EXPECT_EQ(out.str(), "");
}

}  // namespace

int main(int argc, char** argv) {
  // Sweeps send packets: only inside a throw-away fakelan namespace, never on a real LAN.
  if (environment("FAKELAN_NS_SCAN").empty()) {
    std::cerr << "refusing to run: this test pings a whole /24 and must run inside "
                 "../shared/lab/fakelan run -- (FAKELAN_NS_SCAN is not set)\n";
    return 1;
  }
  process::raiseDescriptorLimit();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
