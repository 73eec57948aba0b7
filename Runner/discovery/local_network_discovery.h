#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "Runner/discovery/discovery_services.h"
#include "Runner/discovery/local_subnet.h"
#include "Runner/discovery/permission_probe.h"
#include "Runner/discovery/ping_sweep.h"
#include "Runner/embedding/method_call.h"
#include "Runner/embedding/method_result.h"
#include "Runner/embedding/stream_handler.h"

namespace dispatch {
class MainQueue;
}

namespace discovery {

// The main window's LAN discovery side: stream handler of the scan channel, owner of
// `eventSink`, handler of the permission channel, and the window's operations under the
// names its contract gives them, each handed to the type that does the work: LocalSubnet,
// PingSweep, PermissionProbe. MainFlutterWindow inherits it; it must be owned by a
// std::shared_ptr (sweeps keep it alive). Main thread only.
class LocalNetworkDiscovery : public flutter::FlutterStreamHandler,
                              public std::enable_shared_from_this<LocalNetworkDiscovery> {
 public:
  explicit LocalNetworkDiscovery(DiscoveryServices services);
  ~LocalNetworkDiscovery() override;

  // Stores the sink and starts a sweep of the local /24; every launch has happened (and
  // every refused launch has been reported) when it returns. With no local network it says
  // so on `out` and sends the completion null alone, through the main queue as a sweep's.
  std::optional<flutter::FlutterError> onListenWithArguments(const flutter::EncodableValue& arguments,
                                                             flutter::FlutterEventSink eventSink) override;
  // Forgets the sink: results still arriving are dropped; the pings run on.
  std::optional<flutter::FlutterError> onCancelWithArguments(const flutter::EncodableValue& arguments) override;

  // The method handler of the "com.brovak.tessra/localNetworkPermission" channel: both
  // methods answer with a probe's answer; any other name is printed and not implemented.
  void handleLocalNetworkPermissionCall(const flutter::FlutterMethodCall& call, flutter::FlutterResult result);

  // LocalSubnet::prefix.
  std::optional<std::string> getLocalSubnetPrefix() const { return subnet_.prefix(); }
  // PingSweep::run, each event to the current sink; the sweep keeps this object alive
  // until it has reported.
  void pingRange(const std::string& baseIp, int start, int end);
  // PermissionProbe::request.
  void requestNetworkPermission(std::function<void(bool)> completion) const {
    permission_.request(std::move(completion));
  }

 protected:
  std::optional<flutter::FlutterEventSink> eventSink;

 private:
  // Hands one event to the current sink, if there is one.
  void send(const flutter::EncodableValue& event);

  dispatch::MainQueue& mainQueue_;
  std::ostream& out_;
  LocalSubnet subnet_;
  PingSweep sweep_;
  PermissionProbe permission_;
};

}  // namespace discovery
