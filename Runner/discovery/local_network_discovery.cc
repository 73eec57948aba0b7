#include "Runner/discovery/local_network_discovery.h"

#include <cassert>
#include <ostream>
#include <utility>

#include "Runner/channels/channels.h"
#include "Runner/embedding/printable_name.h"
#include "platform/dispatch/main_queue.h"

namespace discovery {

LocalNetworkDiscovery::LocalNetworkDiscovery(DiscoveryServices services)
    : mainQueue_(services.mainQueue),
      out_(services.out),
      subnet_(services.interfaces),
      sweep_(services.processes, services.mainQueue),
      permission_(services.connections, services.mainQueue, services.out) {}

LocalNetworkDiscovery::~LocalNetworkDiscovery() = default;

std::optional<flutter::FlutterError> LocalNetworkDiscovery::onListenWithArguments(const flutter::EncodableValue&,
                                                                                  flutter::FlutterEventSink sink) {
  assert(mainQueue_.isMainThread());
  eventSink = std::move(sink);
  const std::optional<std::string> prefix = getLocalSubnetPrefix();
  if (!prefix) {
    out_ << "❌ Failed to detect local subnet prefix" << std::endl;
    // A listener waits for the null that ends a scan; without it this listen would never
    // end. It goes the way a sweep's end goes: later, through the main queue, to whoever
    // listens then.
    std::shared_ptr<LocalNetworkDiscovery> self = weak_from_this().lock();
    assert(self && "LocalNetworkDiscovery must be owned by a std::shared_ptr");
    if (self) mainQueue_.async([self] { self->send(flutter::EncodableValue()); });
    return std::nullopt;
  }
  pingRange(*prefix + ".", channels::kScan.firstHost, channels::kScan.lastHost);
  return std::nullopt;
}

std::optional<flutter::FlutterError> LocalNetworkDiscovery::onCancelWithArguments(const flutter::EncodableValue&) {
  assert(mainQueue_.isMainThread());
  eventSink.reset();
  return std::nullopt;
}

void LocalNetworkDiscovery::pingRange(const std::string& baseIp, int start, int end) {
  // Children and their deliveries keep the window alive until the sweep has reported.
  std::shared_ptr<LocalNetworkDiscovery> self = weak_from_this().lock();
  assert(self && "LocalNetworkDiscovery must be owned by a std::shared_ptr");
  if (!self) return;
  sweep_.run(baseIp, start, end, [self](const flutter::EncodableValue& event) { self->send(event); });
}

void LocalNetworkDiscovery::handleLocalNetworkPermissionCall(const flutter::FlutterMethodCall& call,
                                                             flutter::FlutterResult result) {
  const std::string& method = call.method();
  if (method == channels::kPermission.checkMethod || method == channels::kPermission.requestMethod) {
    requestNetworkPermission([result](bool granted) { result(flutter::EncodableValue(granted)); });
    return;
  }
  // The name is the caller's choice: escaped, so that it cannot end the line or forge another.
  out_ << "Unsupported method: " << flutter::printableName(method) << std::endl;
  result(flutter::FlutterMethodNotImplemented);
}

void LocalNetworkDiscovery::send(const flutter::EncodableValue& event) {
  assert(mainQueue_.isMainThread());
  if (!eventSink || !*eventSink) return;
  // A copy: the listener may cancel, or listen again, from inside the sink.
  flutter::FlutterEventSink sink = *eventSink;
  sink(event);
}

}  // namespace discovery
