#include "platform/flutter_engine/built_in_interface.h"

namespace engine {

BuiltInInterface::BuiltInInterface(InterfaceSide& interface, std::function<void()> quit) : interface_(interface) {
  interface_.setMethodCallHandler(kLifecycleChannel, [quit = std::move(quit)](const flutter::FlutterMethodCall& call,
                                                                             flutter::FlutterResult result) {
    if (call.method() != "onQuitAttempt") {
      result(flutter::FlutterMethodNotImplemented);
      return;
    }
    result(flutter::EncodableValue());
    if (quit) quit();
  });
}

BuiltInInterface::~BuiltInInterface() { interface_.setMethodCallHandler(kLifecycleChannel, {}); }

}  // namespace engine
