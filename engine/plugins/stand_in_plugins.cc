#include "engine/plugins/stand_in_plugins.h"

#include "Runner/embedding/method_channel.h"
#include "engine/plugins/window_manager_plugin.h"

namespace engine::plugins {

void installStandInChannel(flutter::FlutterPluginRegistrar& registrar, const char* channel) {
  flutter::FlutterMethodChannel::methodChannelWithName(channel, registrar.messenger())
      .setMethodCallHandler([](const flutter::FlutterMethodCall&, flutter::FlutterResult result) {
        result(flutter::FlutterMethodNotImplemented);
      });
}

}  // namespace engine::plugins

void AutoUpdaterMacosPlugin::registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar) {
  engine::plugins::installStandInChannel(registrar, "auto_updater_macos");
}

void ConnectivityPlusPlugin::registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar) {
  engine::plugins::installStandInChannel(registrar, "connectivity_plus");
}

void FileSelectorPlugin::registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar) {
  engine::plugins::installStandInChannel(registrar, "file_selector_macos");
}

void OpenDirMacosPlugin::registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar) {
  engine::plugins::installStandInChannel(registrar, "open_dir_macos");
}

void FPPPackageInfoPlusPlugin::registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar) {
  engine::plugins::installStandInChannel(registrar, "package_info_plus");
}

void PrintingPlugin::registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar) {
  engine::plugins::installStandInChannel(registrar, "printing");
}

void ScreenRetrieverMacosPlugin::registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar) {
  engine::plugins::installStandInChannel(registrar, "screen_retriever_macos");
}

void SharedPreferencesPlugin::registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar) {
  engine::plugins::installStandInChannel(registrar, "shared_preferences_foundation");
}

void TrayManagerPlugin::registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar) {
  engine::plugins::installStandInChannel(registrar, "tray_manager");
}

void UrlLauncherPlugin::registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar) {
  engine::plugins::installStandInChannel(registrar, "url_launcher_macos");
}
