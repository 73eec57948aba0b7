#pragma once

#include <string>
#include <utility>

#include "Runner/embedding/encodable_value.h"

namespace flutter {

// One call on a method channel: the method name and its arguments (null when absent).
class FlutterMethodCall {
 public:
  FlutterMethodCall(std::string method, EncodableValue arguments)
      : method_(std::move(method)), arguments_(std::move(arguments)) {}

  const std::string& method() const { return method_; }
  const EncodableValue& arguments() const { return arguments_; }

 private:
  std::string method_;
  EncodableValue arguments_;
};

}  // namespace flutter
