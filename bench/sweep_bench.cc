// Times one sweep over the real adapters: how long onListenWithArguments takes to launch
// its 254 children, and how long from the listen to the completion null. Run it only
// through bench/sweep_figures.sh, inside a fakelan namespace.
#include <glib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "Runner/discovery/local_network_discovery.h"
#include "platform/dispatch/glib_main_queue.h"
#include "platform/interfaces/linux_interface_addresses.h"
#include "platform/network/socket_connection_factory.h"
#include "platform/process/descriptor_limit.h"
#include "platform/process/posix_spawn_launcher.h"

int main(int argc, char** argv) {
  if (!std::getenv("FAKELAN_NS_SCAN")) {
    std::cerr << "refusing to sweep outside a fakelan namespace\n";
    return 1;
  }
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  process::raiseDescriptorLimit();
  dispatch::GlibMainQueue mainQueue;
  netif::LinuxInterfaceAddresses interfaces;
  process::PosixSpawnLauncher processes;
  network::SocketConnectionFactory connections(mainQueue);
  auto discovery = std::make_shared<LocalNetworkDiscovery>(
      DiscoveryServices{interfaces, processes, mainQueue, connections, std::cout});

  using Clock = std::chrono::steady_clock;
  for (int round = 1; round <= rounds; ++round) {
    bool completed = false;
    int answered = 0;
    const auto listenStart = Clock::now();
    discovery->onListenWithArguments(flutter::EncodableValue(), [&](const flutter::EncodableValue& event) {
      if (event.IsNull()) {
        completed = true;
      } else if (std::get<bool>(*flutter::Find(std::get<flutter::EncodableMap>(event), "success"))) {
        ++answered;
      }
    });
    const auto launched = Clock::now();
    while (!completed) g_main_context_iteration(nullptr, TRUE);
    const auto done = Clock::now();
    const auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::printf("round %d: launch 254 children %.0f ms, listen to completion %.0f ms, %d answered\n", round,
                ms(launched - listenStart), ms(done - listenStart), answered);
  }
  return 0;
}
