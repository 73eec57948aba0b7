#pragma once

#include <string>

#include "platform/xdg/xdg_folders.h"

namespace user_defaults {

// Port: small per-user settings that outlive the process. Reads never fail: a key that is
// absent, or that cannot be read for any reason, reads as false. Called on the caller's
// thread; the Linux adapter reads and writes a file at every call and shares nothing.
class UserDefaults {
 public:
  virtual ~UserDefaults() = default;
  UserDefaults() = default;
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  virtual bool boolForKey(const std::string& key) = 0;
  // False when the value could not be stored; callers that cannot do anything about it
  // may ignore that.
  virtual bool setBoolForKey(bool value, const std::string& key) = 0;
};

// The defaults as a key file, <config home>/<application id>/user-defaults.ini in the XDG
// folders handed in, written atomically so that a crash leaves the old or the new file,
// never half of one. An unreadable or corrupt file reads as absent keys; the next write
// replaces it.
class KeyFileUserDefaults : public UserDefaults {
 public:
  KeyFileUserDefaults(const xdg::Folders& folders, const std::string& applicationId);

  bool boolForKey(const std::string& key) override;
  bool setBoolForKey(bool value, const std::string& key) override;

  // Where the file is.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace user_defaults
