#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "Runner/discovery/local_network_discovery.h"
#include "platform/dispatch/testing/fake_main_queue.h"
#include "platform/interfaces/testing/fake_interface_addresses.h"
#include "platform/network/testing/fake_connection_factory.h"
#include "platform/process/testing/fake_process_launcher.h"

namespace discovery::testing {

// The fakes discovery works over, with en0 at 198.51.100.10 unless a test sets other
// interfaces, and the window's discovery side over them.
class DiscoveryFixture : public ::testing::Test {
 protected:
  DiscoveryFixture() {
    interfaces.entries = {interfaces::testing::FakeInterfaceAddresses::ipv4("lo", "127.0.0.1"),
                          interfaces::testing::FakeInterfaceAddresses::ipv4("en0", "198.51.100.10")};
    discovery =
        std::make_shared<LocalNetworkDiscovery>(DiscoveryServices{interfaces, processes, mainQueue, connections, out});
  }

  interfaces::testing::FakeInterfaceAddresses interfaces;
  process::testing::FakeProcessLauncher processes;
  dispatch::testing::FakeMainQueue mainQueue;
  network::testing::FakeConnectionFactory connections;
  std::ostringstream out;
  std::shared_ptr<LocalNetworkDiscovery> discovery;
};

}  // namespace discovery::testing
