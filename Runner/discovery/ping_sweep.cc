#include <cassert>

#include "Runner/discovery/local_network_discovery.h"
#include "platform/dispatch/dispatch_group.h"
#include "platform/dispatch/main_queue.h"
#include "platform/process/process_launcher.h"

void LocalNetworkDiscovery::pingRange(const std::string& baseIp, int start, int end) {
  assert(services_.mainQueue.isMainThread());
  // Children and their deliveries keep the window alive until the sweep has reported.
  std::shared_ptr<LocalNetworkDiscovery> self = weak_from_this().lock();
  assert(self && "LocalNetworkDiscovery must be owned by a std::shared_ptr");
  if (!self) return;

  auto group = dispatch::DispatchGroup::create();
  for (int number = start; number <= end; ++number) {
    group->enter();
    std::string address = baseIp + std::to_string(number);

    std::vector<std::string> arguments = kPingArguments;
    arguments.push_back(address);

    // Runs on a thread of the launcher: it only builds the result and hands it, with
    // everything it holds, to the main queue, so nothing of the window is touched or
    // released on that thread.
    auto onTermination = [self, group, address](process::Termination termination) mutable {
      const bool success = termination.succeeded();
      dispatch::MainQueue& mainQueue = self->services_.mainQueue;
      mainQueue.async([self = std::move(self), group = std::move(group), address = std::move(address), success] {
        self->sendScanResult(address, success);
        group->leave();
      });
    };

    const auto launchError = services_.processes.launch(kPingPath, arguments, std::move(onTermination));
    if (launchError) {
      // Reported at once, before onListen returns; the handler above will never run.
      sendScanResult(address, false);
      group->leave();
    }
  }

  group->notify(services_.mainQueue, [self] { self->send(flutter::EncodableValue()); });
}
