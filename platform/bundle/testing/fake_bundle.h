#pragma once

#include "platform/bundle/bundle.h"

namespace bundle::testing {

class FakeBundle : public Bundle {
 public:
  std::optional<std::string> identifier = "com.example.app";
  std::optional<std::string> executable = "/opt/example/app";

  std::optional<std::string> bundleIdentifier() const override { return identifier; }
  std::optional<std::string> executablePath() const override { return executable; }
};

}  // namespace bundle::testing
