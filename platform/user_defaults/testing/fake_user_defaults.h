#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/user_defaults/user_defaults.h"

namespace user_defaults::testing {

// In-memory defaults that record every read and write in order ("read KEY", "write KEY true"),
// also passed to `onCall`, so that a test can put them in one log with other fakes' calls.
class FakeUserDefaults : public UserDefaults {
 public:
  std::map<std::string, bool> values;
  bool writesSucceed = true;
  std::vector<std::string> calls;
  std::function<void(const std::string&)> onCall;

  bool boolForKey(const std::string& key) override {
    record("read " + key);
    auto it = values.find(key);
    return it != values.end() && it->second;
  }
  bool setBoolForKey(bool value, const std::string& key) override {
    record("write " + key + (value ? " true" : " false"));
    if (writesSucceed) values[key] = value;
    return writesSucceed;
  }

 private:
  void record(const std::string& call) {
    calls.push_back(call);
    if (onCall) onCall(call);
  }
};

}  // namespace user_defaults::testing
