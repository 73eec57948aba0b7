#include "Runner/embedding/flutter_view_controller.h"

#include <cstdio>
#include <cstdlib>

#include "Runner/embedding/embedding_log.h"

namespace flutter {
namespace {

FlutterViewController::EngineFactory& installedFactory() {
  static FlutterViewController::EngineFactory factory;
  return factory;
}

std::unique_ptr<FlutterEngine> makeEngine() {
  auto& factory = installedFactory();
  std::unique_ptr<FlutterEngine> engine = factory ? factory() : nullptr;
  if (!engine) {
    // A view controller without an engine has nothing to show or carry: a wiring mistake in
    // main() or a test, not something to run on from. Said on standard error: this layer
    // includes no GLib.
    std::fputs("tessra: FlutterViewController created without an engine factory\n", stderr);
    std::abort();
  }
  return engine;
}

// Hands a plugin the engine's messenger under its key.
class EngineRegistrar : public FlutterPluginRegistrar {
 public:
  EngineRegistrar(FlutterEngine& engine, std::string key) : engine_(engine), key_(std::move(key)) {}
  FlutterBinaryMessenger& messenger() override { return engine_.binaryMessenger(); }
  const std::string& key() const override { return key_; }

 private:
  FlutterEngine& engine_;
  std::string key_;
};

}  // namespace

FlutterViewController::FlutterViewController() : engine_(makeEngine()) {}

FlutterViewController::FlutterViewController(std::unique_ptr<FlutterEngine> engine) : engine_(std::move(engine)) {
  if (!engine_) {
    std::fputs("tessra: FlutterViewController given no engine\n", stderr);
    std::abort();
  }
}

FlutterViewController::~FlutterViewController() = default;

void FlutterViewController::setEngineFactory(EngineFactory factory) { installedFactory() = std::move(factory); }

std::shared_ptr<FlutterPluginRegistrar> FlutterViewController::registrarForPlugin(const std::string& key) {
  for (const auto& known : registrarKeys_) {
    if (known == key) logEmbeddingProblem("plugin key \"" + key + "\" asked for more than once");
  }
  registrarKeys_.push_back(key);
  engine_->notePluginRegistered(key);
  return std::make_shared<EngineRegistrar>(*engine_, key);
}

}  // namespace flutter
