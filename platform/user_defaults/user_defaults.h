#pragma once

#include <string>

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

// The defaults as a key file, $XDG_CONFIG_HOME/<application id>/user-defaults.ini (with
// ~/.config when XDG_CONFIG_HOME is unset, looked up at every call), written atomically so
// that a crash leaves the old or the new file, never half of one. An unreadable or corrupt
// file reads as absent keys; the next write replaces it.
class KeyFileUserDefaults : public UserDefaults {
 public:
  explicit KeyFileUserDefaults(std::string applicationId);

  bool boolForKey(const std::string& key) override;
  bool setBoolForKey(bool value, const std::string& key) override;

  // Where the file is at this moment.
  std::string path() const;

 private:
  std::string applicationId_;
};

}  // namespace user_defaults
