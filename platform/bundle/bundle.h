#pragma once

#include <optional>
#include <string>

namespace bundle {

// Port: the running application's identity. Any thread; the answers do not change while
// the process runs.
class Bundle {
 public:
  virtual ~Bundle() = default;
  Bundle() = default;
  Bundle(const Bundle&) = delete;
  Bundle& operator=(const Bundle&) = delete;

  // The reverse-domain application id; nothing when the build carries none.
  virtual std::optional<std::string> bundleIdentifier() const = 0;
  // The absolute path of the running executable, asked anew at every call: where it is
  // now, or, when the file was replaced while running (a package upgrade), the program
  // installed at its path. Nothing when it cannot be found out or no program is there.
  virtual std::optional<std::string> executablePath() const = 0;
};

// The Linux bundle: the application id the program was built with, and /proc/self/exe.
class LinuxBundle : public Bundle {
 public:
  std::optional<std::string> bundleIdentifier() const override;
  std::optional<std::string> executablePath() const override;
};

}  // namespace bundle
