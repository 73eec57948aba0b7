#pragma once

#include <compare>

namespace system_version {

struct OperatingSystemVersion {
  long majorVersion = 0;
  long minorVersion = 0;
  long patchVersion = 0;
  friend auto operator<=>(const OperatingSystemVersion&, const OperatingSystemVersion&) = default;
};

// Port: the version of the running system, on the scale the login-item code picks its
// mechanism by. Asked anew at every operation; any thread; cannot fail.
class SystemVersion {
 public:
  virtual ~SystemVersion() = default;
  SystemVersion() = default;
  SystemVersion(const SystemVersion&) = delete;
  SystemVersion& operator=(const SystemVersion&) = delete;

  virtual bool isOperatingSystemAtLeastVersion(OperatingSystemVersion version) const = 0;
};

// Linux has only the autostart mechanism, which plays the part of the modern one, so it
// reports a version that selects it.
class LinuxSystemVersion : public SystemVersion {
 public:
  static constexpr OperatingSystemVersion kReported{13, 0, 0};
  bool isOperatingSystemAtLeastVersion(OperatingSystemVersion version) const override { return kReported >= version; }
};

}  // namespace system_version
