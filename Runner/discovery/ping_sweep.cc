#include "Runner/discovery/ping_sweep.h"

#include <cassert>
#include <memory>
#include <utility>

#include "Runner/channels/channels.h"
#include "platform/dispatch/dispatch_group.h"
#include "platform/dispatch/main_queue.h"
#include "platform/process/process_launcher.h"

namespace discovery {
namespace {

flutter::EncodableValue scanResult(const std::string& address, bool success) {
  return flutter::EncodableValue(flutter::EncodableMap{
      {flutter::EncodableValue(channels::kScan.ipKey), flutter::EncodableValue(address)},
      {flutter::EncodableValue(channels::kScan.successKey), flutter::EncodableValue(success)},
  });
}

}  // namespace

void PingSweep::run(const std::string& baseIp, int start, int end, flutter::FlutterEventSink deliver) const {
  assert(mainQueue_.isMainThread());
  // One copy for the whole sweep, shared by every child's delivery and the completion.
  auto report = std::make_shared<const flutter::FlutterEventSink>(std::move(deliver));
  dispatch::MainQueue* mainQueue = &mainQueue_;  // outlives every sweep

  auto group = dispatch::DispatchGroup::create();
  for (int number = start; number <= end; ++number) {
    group->enter();
    std::string address = baseIp + std::to_string(number);

    std::vector<std::string> arguments = kPingArguments;
    arguments.push_back(address);

    // Runs on a thread of the launcher: it only builds the result and hands it, with
    // everything it holds, to the main queue, so nothing the delivery holds is touched or
    // released on that thread.
    auto onTermination = [mainQueue, report, group, address](process::Termination termination) mutable {
      const bool success = termination.succeeded();
      mainQueue->async([report = std::move(report), group = std::move(group), address = std::move(address), success] {
        (*report)(scanResult(address, success));
        group->leave();
      });
    };

    const auto launchError = processes_.launch(kPingPath, arguments, std::move(onTermination));
    if (launchError) {
      // Reported at once, before run returns; the handler above will never run.
      (*report)(scanResult(address, false));
      group->leave();
    }
  }

  group->notify(mainQueue_, [report] { (*report)(flutter::EncodableValue()); });
}

}  // namespace discovery
