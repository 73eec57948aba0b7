#pragma once

#include <memory>
#include <string>

#include "Runner/embedding/binary_messenger.h"
#include "platform/appkit/ns_view.h"

namespace flutter {

// Port: the engine that runs the interface. The stand-in (engine/) runs an
// in-process interface; an adapter to the real engine would replace it, not the host.
// Created on the main thread; everything it calls back runs on the main thread.
class FlutterEngine {
 public:
  virtual ~FlutterEngine() = default;
  FlutterEngine() = default;
  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  virtual FlutterBinaryMessenger& binaryMessenger() = 0;
  // The view that shows the interface; lives as long as the engine.
  virtual appkit::NSView& view() = 0;
  // Records that a plugin registered under `key` (diagnostics and tests).
  virtual void notePluginRegistered(const std::string& key) = 0;
};

}  // namespace flutter
