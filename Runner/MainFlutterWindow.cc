#include "Runner/MainFlutterWindow.h"

#include <memory>
#include <utility>

#include "Runner/GeneratedPluginRegistrant.h"
#include "Runner/LaunchAtStartupHandler.h"
#include "Runner/channels/channels.h"
#include "Runner/embedding/event_channel.h"
#include "Runner/embedding/flutter_view_controller.h"
#include "Runner/embedding/method_channel.h"
#include "engine/plugins/window_manager_plugin.h"

namespace {

constexpr const char* kScanRegistrarKey = "ScanForPingableDevices";
constexpr const char* kPermissionRegistrarKey = "LocalNetworkPermission";

// Hands the scan channel's listen and cancel to the window while the window lives. The
// channel's handler is kept by the messenger, which lives inside the window's own view
// controller: a strong reference from there back to the window would keep the window, its
// view controller and the engine alive for ever, even after the run.
class WindowStreamHandler : public flutter::FlutterStreamHandler {
 public:
  explicit WindowStreamHandler(std::weak_ptr<discovery::LocalNetworkDiscovery> window) : window_(std::move(window)) {}

  std::optional<flutter::FlutterError> onListenWithArguments(const flutter::EncodableValue& arguments,
                                                             flutter::FlutterEventSink eventSink) override {
    if (auto window = window_.lock()) return window->onListenWithArguments(arguments, std::move(eventSink));
    return std::nullopt;
  }
  std::optional<flutter::FlutterError> onCancelWithArguments(const flutter::EncodableValue& arguments) override {
    if (auto window = window_.lock()) return window->onCancelWithArguments(arguments);
    return std::nullopt;
  }

 private:
  std::weak_ptr<discovery::LocalNetworkDiscovery> window_;
};

}  // namespace

MainFlutterWindow::MainFlutterWindow(const appkit::NSRect& contentRect, appkit::NSWindowStyleMask styleMask,
                                     appkit::NSBackingStoreType backing, bool defer,
                                     discovery::DiscoveryServices services)
    : appkit::NSWindow(contentRect, styleMask, backing, defer), discovery::LocalNetworkDiscovery(services) {}

MainFlutterWindow::~MainFlutterWindow() = default;

void MainFlutterWindow::awakeFromNib() {
  // The window comes back empty at each launch; the interface restores what it wants itself.
  setRestorable(false);

  auto flutterViewController = std::make_shared<flutter::FlutterViewController>();
  // Installing the controller may resize the window to fit its view; keep the frame the
  // interface description gave.
  const appkit::NSRect windowFrame = frame();
  setContentViewController(flutterViewController);
  setFrame(windowFrame, true);

  flutter::FlutterBinaryMessenger& messenger = flutterViewController->engine().binaryMessenger();

  flutter::FlutterMethodChannel::methodChannelWithName(channels::kLaunchAtStartup.name, messenger)
      .setMethodCallHandler(handleLaunchAtStartupCall);

  std::shared_ptr<flutter::FlutterPluginRegistrar> scanRegistrar =
      flutterViewController->registrarForPlugin(kScanRegistrarKey);
  flutter::FlutterEventChannel::eventChannelWithName(channels::kScan.name, scanRegistrar->messenger())
      .setStreamHandler(std::make_shared<WindowStreamHandler>(weak_from_this()));

  std::shared_ptr<flutter::FlutterPluginRegistrar> permissionRegistrar =
      flutterViewController->registrarForPlugin(kPermissionRegistrarKey);
  std::weak_ptr<discovery::LocalNetworkDiscovery> self = weak_from_this();
  flutter::FlutterMethodChannel::methodChannelWithName(channels::kPermission.name, permissionRegistrar->messenger())
      .setMethodCallHandler([self](const flutter::FlutterMethodCall& call, flutter::FlutterResult result) {
        if (auto window = self.lock()) {
          window->handleLocalNetworkPermissionCall(call, std::move(result));
        } else {
          result(flutter::FlutterMethodNotImplemented);
        }
      });

  RegisterGeneratedPlugins(*flutterViewController);

  appkit::NSWindow::awakeFromNib();
}

void MainFlutterWindow::orderWindow(appkit::NSWindowOrderingMode mode, long relativeTo) {
  appkit::NSWindow::orderWindow(mode, relativeTo);
  WindowManagerPlugin::hiddenWindowAtLaunch(*this);
}
