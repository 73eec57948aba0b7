#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Runner/discovery/local_network_discovery.h"
#include "platform/dispatch/testing/fake_main_queue.h"
#include "platform/interfaces/testing/fake_interface_addresses.h"
#include "platform/network/testing/fake_connection_factory.h"
#include "platform/process/testing/fake_process_launcher.h"

namespace discovery_testing {

// One event as a listener saw it: a scan result or the completion null.
struct SeenEvent {
  std::string ip;  // empty for the completion
  bool success = false;
  bool completion = false;
};

// The discovery side of the window over fakes, with en0 at 198.51.100.10 unless a test
// sets other interfaces.
class DiscoveryFixture : public ::testing::Test {
 protected:
  DiscoveryFixture() {
    interfaces.entries = {netif::testing::FakeInterfaceAddresses::ipv4("lo", "127.0.0.1"),
                          netif::testing::FakeInterfaceAddresses::ipv4("en0", "198.51.100.10")};
    discovery =
        std::make_shared<LocalNetworkDiscovery>(DiscoveryServices{interfaces, processes, mainQueue, connections, out});
  }

  // A sink that appends to `events`.
  flutter::FlutterEventSink recordingSink(std::vector<SeenEvent>& events) {
    return [&events](const flutter::EncodableValue& value) {
      if (value.IsNull()) {
        events.push_back({"", false, true});
        return;
      }
      const auto& map = std::get<flutter::EncodableMap>(value);
      ASSERT_EQ(map.size(), 2u);
      const auto* ip = flutter::Find(map, "ip");
      const auto* success = flutter::Find(map, "success");
      ASSERT_TRUE(ip && success);
      events.push_back({std::get<std::string>(*ip), std::get<bool>(*success), false});
    };
  }

  netif::testing::FakeInterfaceAddresses interfaces;
  process::testing::FakeProcessLauncher processes;
  dispatch::testing::FakeMainQueue mainQueue;
  network::testing::FakeConnectionFactory connections;
  std::ostringstream out;
  std::shared_ptr<LocalNetworkDiscovery> discovery;
};

}  // namespace discovery_testing
