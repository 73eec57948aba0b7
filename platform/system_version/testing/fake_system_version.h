#pragma once

#include "platform/system_version/system_version.h"

namespace system_version::testing {

// A settable version; counts the questions so tests can see that nothing caches it.
class FakeSystemVersion : public SystemVersion {
 public:
  OperatingSystemVersion version{13, 0, 0};
  mutable int queries = 0;

  bool isOperatingSystemAtLeastVersion(OperatingSystemVersion wanted) const override {
    ++queries;
    return version >= wanted;
  }
};

}  // namespace system_version::testing
