#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/user_defaults/user_defaults.h"

namespace user_defaults::testing {

// In-memory defaults that record every read and write in order ("read KEY", "write KEY true").
class FakeUserDefaults : public UserDefaults {
 public:
  std::map<std::string, bool> values;
  bool writesSucceed = true;
  std::vector<std::string> calls;

  bool boolForKey(const std::string& key) override {
    calls.push_back("read " + key);
    auto it = values.find(key);
    return it != values.end() && it->second;
  }
  bool setBoolForKey(bool value, const std::string& key) override {
    calls.push_back("write " + key + (value ? " true" : " false"));
    if (writesSucceed) values[key] = value;
    return writesSucceed;
  }
};

}  // namespace user_defaults::testing
