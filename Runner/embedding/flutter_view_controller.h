#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Runner/embedding/flutter_engine.h"
#include "Runner/embedding/plugin_registrar.h"
#include "platform/appkit/ns_view.h"

namespace flutter {

// The view controller that shows the interface and owns its engine. It is also the
// registry plugins register through. Main thread only.
class FlutterViewController : public appkit::NSViewController, public FlutterPluginRegistry {
 public:
  using EngineFactory = std::function<std::unique_ptr<FlutterEngine>()>;

  // The plain initialiser: makes its own engine with the installed factory. main() installs
  // the stand-in engine's factory; tests install one that makes a fake.
  FlutterViewController();
  explicit FlutterViewController(std::unique_ptr<FlutterEngine> engine);
  ~FlutterViewController() override;

  static void setEngineFactory(EngineFactory factory);

  FlutterEngine& engine() { return *engine_; }
  appkit::NSView& view() override { return engine_->view(); }
  std::shared_ptr<FlutterPluginRegistrar> registrarForPlugin(const std::string& key) override;

  // Keys asked for so far, in order.
  const std::vector<std::string>& registrarKeys() const { return registrarKeys_; }

 private:
  std::unique_ptr<FlutterEngine> engine_;
  std::vector<std::string> registrarKeys_;
};

}  // namespace flutter
