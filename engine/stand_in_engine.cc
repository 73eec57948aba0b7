#define G_LOG_DOMAIN "tessra-engine"

#include "engine/stand_in_engine.h"

#include <gio/gio.h>

#include <cstdlib>

#include "engine/driver/driver_server.h"
#include "engine/engine_view.h"
#include "platform/dispatch/signal_connection.h"

namespace engine {

StandInEngine::StandInEngine(dispatch::MainQueue& queue, StandInEngineOptions options)
    : messenger_(std::make_unique<messaging::InProcessMessenger>(queue)),
      interface_(std::make_unique<messaging::InterfaceSide>(*messenger_)) {
  for (const auto& channel : options.sweepChannels) interface_->declareSweepChannel(channel);
  if (options.runInterface) program_ = options.runInterface(*interface_);
  if (options.driverSocketPath) {
    std::string whyNot;
    driver_ = driver::DriverServer::start(*options.driverSocketPath, *interface_, whyNot);
    if (!driver_) g_warning("no driver endpoint: %s", whyNot.c_str());
  }
  GApplication* application = g_application_get_default();
  if (driver_ && application) {
    shutdown_ = std::make_unique<dispatch::SignalConnection>();
    shutdown_->connect(application, "shutdown", G_CALLBACK(+[](StandInEngine* self) { self->driver_.reset(); }), this,
                       G_CONNECT_SWAPPED);
  }
}

StandInEngine::~StandInEngine() {
  // The interface's widgets live inside the view.
  if (program_) program_->dismantle();
}

flutter::FlutterBinaryMessenger& StandInEngine::binaryMessenger() { return *messenger_; }

appkit::NSView& StandInEngine::view() {
  if (!view_) {
    view_ = std::make_unique<EngineView>();
    if (program_) program_->showIn(*view_);
  }
  return *view_;
}

bool StandInEngine::interfaceProgramHearsHost() const { return program_ && !(driver_ && driver_->hasClient()); }

void StandInEngine::notePluginRegistered(const std::string& key) { registeredPlugins_.push_back(key); }

std::unique_ptr<StandInEngine> makeStandInEngine(dispatch::MainQueue& queue, InterfaceProgramFactory runInterface,
                                                 std::vector<std::string> sweepChannels) {
  StandInEngineOptions options;
  const char* socketPath = std::getenv("TESSRA_DRIVER_SOCKET");
  if (socketPath != nullptr && *socketPath != '\0') options.driverSocketPath = socketPath;
  options.runInterface = std::move(runInterface);
  options.sweepChannels = std::move(sweepChannels);
  return std::make_unique<StandInEngine>(queue, std::move(options));
}

}  // namespace engine
