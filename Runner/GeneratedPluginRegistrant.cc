#include "Runner/GeneratedPluginRegistrant.h"

#include <memory>
#include <string>

#include "engine/plugins/stand_in_plugins.h"
#include "engine/plugins/window_manager_plugin.h"

namespace {

template <typename Plugin>
void registerPlugin(flutter::FlutterPluginRegistry& registry, const std::string& key) {
  // The registrar is only needed while the plugin installs itself.
  std::shared_ptr<flutter::FlutterPluginRegistrar> registrar = registry.registrarForPlugin(key);
  if (registrar) Plugin::registerWithRegistrar(*registrar);
}

}  // namespace

void RegisterGeneratedPlugins(flutter::FlutterPluginRegistry& registry) {
  registerPlugin<AutoUpdaterMacosPlugin>(registry, "AutoUpdaterMacosPlugin");
  registerPlugin<ConnectivityPlusPlugin>(registry, "ConnectivityPlusPlugin");
  registerPlugin<FileSelectorPlugin>(registry, "FileSelectorPlugin");
  registerPlugin<OpenDirMacosPlugin>(registry, "OpenDirMacosPlugin");
  registerPlugin<FPPPackageInfoPlusPlugin>(registry, "FPPPackageInfoPlusPlugin");
  registerPlugin<PrintingPlugin>(registry, "PrintingPlugin");
  registerPlugin<ScreenRetrieverMacosPlugin>(registry, "ScreenRetrieverMacosPlugin");
  registerPlugin<SharedPreferencesPlugin>(registry, "SharedPreferencesPlugin");
  registerPlugin<TrayManagerPlugin>(registry, "TrayManagerPlugin");
  registerPlugin<UrlLauncherPlugin>(registry, "UrlLauncherPlugin");
  registerPlugin<WindowManagerPlugin>(registry, "WindowManagerPlugin");
}
