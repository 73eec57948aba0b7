#pragma once

#include <iosfwd>

namespace dispatch {
class MainQueue;
}
namespace interfaces {
class InterfaceAddresses;
}
namespace process {
class ProcessLauncher;
}
namespace network {
class ConnectionFactory;
}

namespace discovery {

// The platform facilities the main window's discovery operations use. Each must outlive the
// LocalNetworkDiscovery made with it, and every sweep and probe it starts.
struct DiscoveryServices {
  interfaces::InterfaceAddresses& interfaces;
  process::ProcessLauncher& processes;
  dispatch::MainQueue& mainQueue;
  network::ConnectionFactory& connections;
  std::ostream& out;  // where the diagnostic lines go (standard output in the program)
};

}  // namespace discovery
