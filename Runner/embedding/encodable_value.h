#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace flutter {

class EncodableValue;
using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue>;

// The dynamically typed value that crosses a channel, as in Flutter's C++ client wrapper.
// The host itself reads and writes only null, bool, string and maps with string keys; the
// other alternatives exist so that whatever the standard codec carries can be decoded and
// looked at (and refused) without loss.
using EncodableVariant = std::variant<std::monostate, bool, int32_t, int64_t, double, std::string,
                                      std::vector<uint8_t>, std::vector<int32_t>, std::vector<int64_t>,
                                      std::vector<double>, EncodableList, EncodableMap, std::vector<float>>;

class EncodableValue : public EncodableVariant {
 public:
  using EncodableVariant::EncodableVariant;
  using EncodableVariant::operator=;

  EncodableValue() = default;
  // Without this a string literal would pick the bool alternative.
  EncodableValue(const char* string) : EncodableVariant(std::string(string)) {}
  EncodableValue& operator=(const char* string) {
    *this = EncodableValue(string);
    return *this;
  }

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }
};

// Convenience lookup: the value under a string key, or nullptr when `map` holds none.
inline const EncodableValue* Find(const EncodableMap& map, const std::string& key) {
  auto it = map.find(EncodableValue(key));
  return it == map.end() ? nullptr : &it->second;
}

}  // namespace flutter
