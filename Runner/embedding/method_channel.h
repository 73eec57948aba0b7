#pragma once

#include <functional>
#include <string>

#include "Runner/embedding/binary_messenger.h"
#include "Runner/embedding/encodable_value.h"
#include "Runner/embedding/method_call.h"
#include "Runner/embedding/method_result.h"

namespace flutter {

using FlutterMethodCallHandler = std::function<void(const FlutterMethodCall& call, FlutterResult result)>;

// A named method channel over a messenger, encoded with the standard method codec. The
// channel object is a light handle: the handler it installs lives on the messenger and
// stays in force after the channel object is gone. Main thread only.
class FlutterMethodChannel {
 public:
  static FlutterMethodChannel methodChannelWithName(const std::string& name, FlutterBinaryMessenger& messenger);

  // Installs the handler for calls from the interface. Calls whose bytes do not decode are
  // logged and never reach the handler.
  void setMethodCallHandler(FlutterMethodCallHandler handler) const;
  // Sends a call to the interface without waiting for an answer.
  void invokeMethod(const std::string& method, const EncodableValue& arguments) const;
  // Sends a call and hands the interface's answer to `onReply` (main thread).
  void invokeMethod(const std::string& method, const EncodableValue& arguments,
                    std::function<void(FlutterReply)> onReply) const;

  const std::string& name() const { return name_; }

 private:
  FlutterMethodChannel(std::string name, FlutterBinaryMessenger& messenger)
      : name_(std::move(name)), messenger_(&messenger) {}

  std::string name_;
  FlutterBinaryMessenger* messenger_;
};

}  // namespace flutter
