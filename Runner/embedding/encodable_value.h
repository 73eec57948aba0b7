#pragma once

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace flutter {

class EncodableValue;

// Orders map keys. std::variant's own ordering cannot be used here: in C++20 its
// constraints refer back to EncodableValue through the list and map alternatives and
// never settle. Values order by alternative first, then by content; floating-point NaN
// sorts after every number, so hostile keys still give a strict weak order.
struct EncodableValueLess {
  bool operator()(const EncodableValue& a, const EncodableValue& b) const;
};

using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue, EncodableValueLess>;

// The dynamically typed value that crosses a channel, as in Flutter's C++ client wrapper.
// The host itself reads and writes only null, bool, string and maps with string keys; the
// other alternatives exist so that whatever the standard codec carries can be decoded and
// looked at (and refused) without loss.
using EncodableVariant = std::variant<std::monostate, bool, int32_t, int64_t, double, std::string, std::vector<uint8_t>,
                                      std::vector<int32_t>, std::vector<int64_t>, std::vector<double>, EncodableList,
                                      EncodableMap, std::vector<float>>;

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

namespace internal {

template <typename T>
int compareScalars(const T& a, const T& b) {
  if constexpr (std::is_floating_point_v<T>) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) - std::isnan(b);
  }
  return a < b ? -1 : (b < a ? 1 : 0);
}

int compareEncodable(const EncodableValue& a, const EncodableValue& b);

template <typename Container, typename Compare>
int compareSequences(const Container& a, const Container& b, Compare compare) {
  auto i = a.begin();
  auto j = b.begin();
  for (; i != a.end() && j != b.end(); ++i, ++j) {
    if (int c = compare(*i, *j)) return c;
  }
  return (i == a.end() ? 0 : 1) - (j == b.end() ? 0 : 1);
}

inline int compareEncodable(const EncodableValue& a, const EncodableValue& b) {
  const EncodableVariant& x = a;
  const EncodableVariant& y = b;
  if (x.index() != y.index()) return x.index() < y.index() ? -1 : 1;
  return std::visit(
      [&y](const auto& left) -> int {
        using T = std::decay_t<decltype(left)>;
        const T& right = std::get<T>(y);
        if constexpr (std::is_same_v<T, std::monostate>) {
          return 0;
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          return compareSequences(left, right, compareEncodable);
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          return compareSequences(left, right, [](const auto& p, const auto& q) {
            if (int c = compareEncodable(p.first, q.first)) return c;
            return compareEncodable(p.second, q.second);
          });
        } else if constexpr (std::is_same_v<T, std::string> || std::is_arithmetic_v<T>) {
          return compareScalars(left, right);
        } else {
          return compareSequences(left, right, compareScalars<typename T::value_type>);
        }
      },
      x);
}

}  // namespace internal

inline bool EncodableValueLess::operator()(const EncodableValue& a, const EncodableValue& b) const {
  return internal::compareEncodable(a, b) < 0;
}

// Convenience lookup: the value under a string key, or nullptr when `map` holds none.
inline const EncodableValue* Find(const EncodableMap& map, const std::string& key) {
  auto it = map.find(EncodableValue(key));
  return it == map.end() ? nullptr : &it->second;
}

}  // namespace flutter
