#pragma once

#include "Runner/discovery/local_network_discovery.h"
#include "platform/appkit/ns_window.h"

// The application's main window: shows the interface through a FlutterViewController and
// joins the host's native services to it. It is the stream handler of the scan channel and
// keeps that channel's event sink (LocalNetworkDiscovery). Created once by the main
// interface description and owned by a std::shared_ptr for the whole run. Main thread only.
class MainFlutterWindow : public appkit::NSWindow, public discovery::LocalNetworkDiscovery {
 public:
  // initWithContentRect:styleMask:backing:defer:, plus the facilities the discovery
  // operations use. The window starts without an event sink.
  MainFlutterWindow(const appkit::NSRect& contentRect, appkit::NSWindowStyleMask styleMask,
                    appkit::NSBackingStoreType backing, bool defer, discovery::DiscoveryServices services);
  ~MainFlutterWindow() override;

  // Installs the view controller, opens the host's three channels, registers the plugins,
  // and completes the base class's loading last.
  void awakeFromNib() override;

  // The base ordering, then the window-manager plugin's say, after every change of order.
  void orderWindow(appkit::NSWindowOrderingMode mode, long relativeTo) override;

  // Whether an interface is listening on the scan channel.
  bool hasEventSink() const { return eventSink.has_value(); }
};
