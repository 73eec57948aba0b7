#include "Runner/discovery/local_network_discovery.h"

#include <cassert>
#include <ostream>

#include "Runner/channels/channels.h"
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
    // A listener waits for the null that ends a scan; without it this listen would never
    // end. It goes the way a sweep's end goes: later, through the main queue, to whoever
    // listens then.
    std::shared_ptr<LocalNetworkDiscovery> self = weak_from_this().lock();
    assert(self && "LocalNetworkDiscovery must be owned by a std::shared_ptr");
    if (self) services_.mainQueue.async([self] { self->send(flutter::EncodableValue()); });
    return std::nullopt;
  }
  pingRange(*prefix + ".", channels::kScan.firstHost, channels::kScan.lastHost);
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
      {flutter::EncodableValue(channels::kScan.ipKey), flutter::EncodableValue(address)},
      {flutter::EncodableValue(channels::kScan.successKey), flutter::EncodableValue(success)},
  }));
}
