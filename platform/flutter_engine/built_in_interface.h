#pragma once

#include <functional>

#include "platform/flutter_engine/interface_side.h"

namespace engine {

// The little interface the stand-in engine runs when no real one exists: it is the one
// that decides what a quit attempt means, and it decides to end the application.
// While a driver is attached, host calls go to the driver instead and this does not act.
class BuiltInInterface {
 public:
  static constexpr const char* kLifecycleChannel = "app.lifecycle.channel";

  // `quit` ends the application (main() passes one that stops the shared application).
  BuiltInInterface(InterfaceSide& interface, std::function<void()> quit);
  ~BuiltInInterface();
  BuiltInInterface(const BuiltInInterface&) = delete;
  BuiltInInterface& operator=(const BuiltInInterface&) = delete;

 private:
  InterfaceSide& interface_;
};

}  // namespace engine
