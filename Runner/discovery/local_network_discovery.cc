#include "Runner/discovery/local_network_discovery.h"

#include <cassert>
#include <ostream>

#include "platform/dispatch/main_queue.h"

LocalNetworkDiscovery::LocalNetworkDiscovery(DiscoveryServices services) : services_(services) {}

LocalNetworkDiscovery::~LocalNetworkDiscovery() = default;

std::optional<flutter::FlutterError> LocalNetworkDiscovery::onListenWithArguments(const flutter::EncodableValue&,
                                                                                  flutter::FlutterEventSink sink) {
  assert(services_.mainQueue.isMainThread());
  eventSink = std::move(sink);
  const std::optional<std::string> prefix = getLocalSubnetPrefix();
  if (!prefix) {
    services_.out << "❌ Failed to detect local subnet prefix" << std::endl;
    return std::nullopt;
  }
  pingRange(*prefix + ".", 1, 254);
  return std::nullopt;
}

std::optional<flutter::FlutterError> LocalNetworkDiscovery::onCancelWithArguments(const flutter::EncodableValue&) {
  assert(services_.mainQueue.isMainThread());
  eventSink.reset();
  return std::nullopt;
}

void LocalNetworkDiscovery::send(const flutter::EncodableValue& event) {
  assert(services_.mainQueue.isMainThread());
  if (!eventSink || !*eventSink) return;
  // A copy: the listener may cancel, or listen again, from inside the sink.
  flutter::FlutterEventSink sink = *eventSink;
  sink(event);
}

void LocalNetworkDiscovery::sendScanResult(const std::string& address, bool success) {
  send(flutter::EncodableValue(flutter::EncodableMap{
      {flutter::EncodableValue("ip"), flutter::EncodableValue(address)},
      {flutter::EncodableValue("success"), flutter::EncodableValue(success)},
  }));
}
