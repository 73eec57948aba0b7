#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Runner/embedding/method_call.h"
#include "Runner/embedding/method_result.h"
#include "Runner/embedding/stream_handler.h"

namespace dispatch {
class MainQueue;
}
namespace netif {
class InterfaceAddresses;
}
namespace process {
class ProcessLauncher;
}
namespace network {
class ConnectionFactory;
}

// The platform facilities the main window's discovery operations use.
struct DiscoveryServices {
  netif::InterfaceAddresses& interfaces;
  process::ProcessLauncher& processes;
  dispatch::MainQueue& mainQueue;
  network::ConnectionFactory& connections;
  std::ostream& out;  // where the diagnostic lines go (standard output in the program)
};

// The system ping utility (iputils) and the arguments of one probe, before the address:
// one echo request, waiting one second for the reply.
inline constexpr const char* kPingPath = "/usr/bin/ping";
inline const std::vector<std::string> kPingArguments = {"-c", "1", "-W", "1"};

// The permission probe connects here.
inline constexpr const char* kPermissionProbeHost = "127.0.0.1";
inline constexpr uint16_t kPermissionProbePort = 80;
// A loopback connection is accepted or refused within milliseconds; one that is neither
// after this long is stuck (no usable path, a firewall dropping packets) and would
// otherwise leave the interface's call unanswered for good.
inline constexpr std::chrono::milliseconds kPermissionProbeTimeout{5000};

// The main window's LAN discovery side: stream handler of the scan channel, owner of
// `eventSink`, and the subnet, sweep and permission-probe operations. MainFlutterWindow
// inherits it; it must be owned by a std::shared_ptr (sweeps and probes keep it alive).
// Main thread only.
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

  // The first three components of the first IPv4 address on an "en" (Ethernet) interface,
  // or where there is none, on a "wl" (Wi-Fi) interface.
  std::optional<std::string> getLocalSubnetPrefix();
  // Pings baseIp + n for n in [start, end], all at once; one result per address through
  // the current sink, then null.
  void pingRange(const std::string& baseIp, int start, int end);
  // Answers through `completion`, later and once, whether a TCP connection to the
  // loopback address became ready.
  void requestNetworkPermission(std::function<void(bool)> completion);

 protected:
  std::optional<flutter::FlutterEventSink> eventSink;

 private:
  friend void handleLocalNetworkPermissionCall(LocalNetworkDiscovery& discovery, const flutter::FlutterMethodCall& call,
                                               flutter::FlutterResult result);

  // Hands one event to the current sink, if there is one.
  void send(const flutter::EncodableValue& event);
  void sendScanResult(const std::string& address, bool success);

  DiscoveryServices services_;
};

// The handler of the "com.brovak.tessra/localNetworkPermission" method channel.
void handleLocalNetworkPermissionCall(LocalNetworkDiscovery& discovery, const flutter::FlutterMethodCall& call,
                                      flutter::FlutterResult result);
