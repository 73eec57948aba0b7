#pragma once

#include "Runner/embedding/plugin_registrar.h"

// Registers the interface's platform plugins with `registry`, each under its own key, in the
// order the interface's build lists them.
void RegisterGeneratedPlugins(flutter::FlutterPluginRegistry& registry);
