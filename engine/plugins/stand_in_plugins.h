#pragma once

#include "Runner/embedding/plugin_registrar.h"

// Stand-ins for the platform plugins the interface was built with. The plugins' own native
// sides are not part of this host; each stand-in installs a method channel of its own,
// named after the plugin's package, that answers every call "not implemented", so the
// interface gets a prompt answer instead of silence. Registration itself is noted by the
// registry (FlutterViewController hands the key to its engine). Main thread only.

class AutoUpdaterMacosPlugin {
 public:
  static void registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar);
};

class ConnectivityPlusPlugin {
 public:
  static void registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar);
};

class FileSelectorPlugin {
 public:
  static void registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar);
};

class OpenDirMacosPlugin {
 public:
  static void registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar);
};

class FPPPackageInfoPlusPlugin {
 public:
  static void registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar);
};

class PrintingPlugin {
 public:
  static void registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar);
};

class ScreenRetrieverMacosPlugin {
 public:
  static void registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar);
};

class SharedPreferencesPlugin {
 public:
  static void registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar);
};

class TrayManagerPlugin {
 public:
  static void registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar);
};

class UrlLauncherPlugin {
 public:
  static void registerWithRegistrar(flutter::FlutterPluginRegistrar& registrar);
};

namespace engine::plugins {
// Installs a stand-in's channel on the registrar's messenger.
void installStandInChannel(flutter::FlutterPluginRegistrar& registrar, const char* channel);
}  // namespace engine::plugins
