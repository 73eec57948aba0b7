#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Runner/embedding/flutter_engine.h"
#include "engine/interface_program.h"
#include "engine/messaging/interface_side.h"
#include "platform/dispatch/main_queue.h"

namespace dispatch {
class SignalConnection;
}  // namespace dispatch

namespace engine {
namespace driver {
class DriverServer;
}
class EngineView;

// Makes the program the engine runs on its interface side; called once, by the engine's
// constructor.
using InterfaceProgramFactory = std::function<std::unique_ptr<InterfaceProgram>(messaging::InterfaceSide& side)>;

struct StandInEngineOptions {
  // Where to serve the driver endpoint; none by default.
  std::optional<std::string> driverSocketPath;
  // The interface the engine runs; none (an empty view) when not given.
  InterfaceProgramFactory runInterface;
  // Event channels whose every listen starts work that ends with a null event (see
  // InterfaceSide::declareSweepChannel).
  std::vector<std::string> sweepChannels;
};

// The engine the host runs on this platform: an in-process interface side behind a real
// standard-codec messenger, the interface program running there, the optional driver
// endpoint and a GTK view. Created and used on the main thread; messages cross through
// `queue`. The driver endpoint stops, and its socket file goes, when the application shuts
// down (GApplication's "shutdown"), as a real engine shuts down when the application ends:
// the program ends with exit(), which runs no destructor.
class StandInEngine : public flutter::FlutterEngine {
 public:
  StandInEngine(dispatch::MainQueue& queue, StandInEngineOptions options);
  ~StandInEngine() override;

  flutter::FlutterBinaryMessenger& binaryMessenger() override;
  // Made on first use, since it needs GTK.
  appkit::NSView& view() override;
  void notePluginRegistered(const std::string& key) override;

  const std::vector<std::string>& registeredPlugins() const { return registeredPlugins_; }
  messaging::InterfaceSide& interfaceSide() { return *interface_; }
  // Null when no driver endpoint was asked for or it could not start.
  driver::DriverServer* driver() { return driver_.get(); }
  // Whether the interface program gets host-to-interface calls now (it does not while a
  // driver is attached: the engine answers them on the driver's behalf), and so can put a
  // question to the user.
  bool interfaceProgramHearsHost() const;

 private:
  std::unique_ptr<messaging::InProcessMessenger> messenger_;
  std::unique_ptr<messaging::InterfaceSide> interface_;
  std::unique_ptr<InterfaceProgram> program_;
  std::unique_ptr<driver::DriverServer> driver_;
  std::unique_ptr<EngineView> view_;
  std::vector<std::string> registeredPlugins_;
  // The application's shutdown, which stops the driver endpoint.
  std::unique_ptr<dispatch::SignalConnection> shutdown_;
};

// What main() hands to FlutterViewController::setEngineFactory: an engine running the
// interface `runInterface` makes. Reads TESSRA_DRIVER_SOCKET (the engine's setting; the
// host reads no environment); problems with it are reported on standard error and the
// application runs without a driver.
std::unique_ptr<StandInEngine> makeStandInEngine(dispatch::MainQueue& queue, InterfaceProgramFactory runInterface,
                                                 std::vector<std::string> sweepChannels);

}  // namespace engine
