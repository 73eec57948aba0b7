#pragma once

#include <memory>
#include <string>

#include "Runner/embedding/binary_messenger.h"

namespace flutter {

// What a plugin is handed when it registers: the messenger its channels use. Main thread.
class FlutterPluginRegistrar {
 public:
  virtual ~FlutterPluginRegistrar() = default;
  virtual FlutterBinaryMessenger& messenger() = 0;
  // The key the registrar was asked for (also the plugin's class name).
  virtual const std::string& key() const = 0;
};

// Hands out one registrar per plugin key. Main thread.
class FlutterPluginRegistry {
 public:
  virtual ~FlutterPluginRegistry() = default;
  // Each key is asked for once; the registry keeps track of who registered.
  virtual std::shared_ptr<FlutterPluginRegistrar> registrarForPlugin(const std::string& key) = 0;
};

}  // namespace flutter
