#include "engine/driver/json_value.h"

#include <cmath>
#include <limits>
#include <type_traits>

namespace engine::driver {
namespace {

using flutter::DecodeResult;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using Json = nlohmann::json;
using Result = DecodeResult<EncodableValue>;

constexpr int kMaxDepth = flutter::StandardMessageCodec::kMaxNestingDepth;

Json typed(const char* key, Json value) {
  Json object = Json::object();
  object[key] = std::move(value);
  return object;
}

Json floatToJson(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  return value;
}

template <typename T>
Json listToJson(const std::vector<T>& list) {
  Json array = Json::array();
  for (const T& element : list) {
    if constexpr (std::is_floating_point_v<T>) {
      array.push_back(floatToJson(element));
    } else {
      array.push_back(element);
    }
  }
  return array;
}

bool plainObjectKeys(const EncodableMap& map) {
  for (const auto& [key, value] : map) {
    if (!std::holds_alternative<std::string>(key)) return false;
  }
  if (map.size() == 1) {
    const auto& key = std::get<std::string>(map.begin()->first);
    if (!key.empty() && key[0] == '$') return false;
  }
  return true;
}

std::optional<double> floatFromJson(const Json& json) {
  if (json.is_number()) return json.get<double>();
  if (json.is_string()) {
    const auto& text = json.get_ref<const std::string&>();
    if (text == "NaN") return std::numeric_limits<double>::quiet_NaN();
    if (text == "Infinity") return std::numeric_limits<double>::infinity();
    if (text == "-Infinity") return -std::numeric_limits<double>::infinity();
  }
  return std::nullopt;
}

template <typename T>
std::optional<T> integerFromJson(const Json& json) {
  if (json.is_number_unsigned()) {
    auto value = json.get<uint64_t>();
    if (value > static_cast<uint64_t>(std::numeric_limits<T>::max())) return std::nullopt;
    return static_cast<T>(value);
  }
  if (json.is_number_integer()) {
    auto value = json.get<int64_t>();
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) return std::nullopt;
    return static_cast<T>(value);
  }
  return std::nullopt;
}

template <typename T>
Result listFromJson(const Json& json, const std::string& key) {
  if (!json.is_array()) return Result::failure(key + " needs an array");
  std::vector<T> list;
  list.reserve(json.size());
  for (const auto& element : json) {
    std::optional<T> value;
    if constexpr (std::is_floating_point_v<T>) {
      if (auto number = floatFromJson(element)) value = static_cast<T>(*number);
    } else {
      value = integerFromJson<T>(element);
    }
    if (!value) return Result::failure(key + " holds an element out of range or of the wrong kind");
    list.push_back(*value);
  }
  return EncodableValue(std::move(list));
}

Result fromJsonAt(const Json& json, int depth);

Result typedFromJson(const std::string& key, const Json& body, int depth) {
  if (key == "$int64") {
    auto value = integerFromJson<int64_t>(body);
    if (!value) return Result::failure("$int64 needs an integer");
    return EncodableValue(*value);
  }
  if (key == "$double") {
    auto value = floatFromJson(body);
    if (!value) return Result::failure("$double needs a number, \"NaN\", \"Infinity\" or \"-Infinity\"");
    return EncodableValue(*value);
  }
  if (key == "$bytes") return listFromJson<uint8_t>(body, key);
  if (key == "$int32s") return listFromJson<int32_t>(body, key);
  if (key == "$int64s") return listFromJson<int64_t>(body, key);
  if (key == "$float64s") return listFromJson<double>(body, key);
  if (key == "$float32s") return listFromJson<float>(body, key);
  if (key == "$map") {
    if (!body.is_array()) return Result::failure("$map needs an array of [key, value] pairs");
    EncodableMap map;
    for (const auto& pair : body) {
      if (!pair.is_array() || pair.size() != 2) return Result::failure("$map needs an array of [key, value] pairs");
      auto mapKey = fromJsonAt(pair[0], depth + 1);
      if (!mapKey) return mapKey;
      auto mapValue = fromJsonAt(pair[1], depth + 1);
      if (!mapValue) return mapValue;
      map.insert_or_assign(std::move(mapKey).value(), std::move(mapValue).value());
    }
    return EncodableValue(std::move(map));
  }
  return Result::failure("unknown typed value \"" + key + "\"");
}

Result fromJsonAt(const Json& json, int depth) {
  switch (json.type()) {
    case Json::value_t::null:
      return EncodableValue();
    case Json::value_t::boolean:
      return EncodableValue(json.get<bool>());
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      if (auto small = integerFromJson<int32_t>(json)) return EncodableValue(*small);
      if (auto large = integerFromJson<int64_t>(json)) return EncodableValue(*large);
      return Result::failure("integer out of the int64 range");
    }
    case Json::value_t::number_float:
      return EncodableValue(json.get<double>());
    case Json::value_t::string:
      return EncodableValue(json.get<std::string>());
    case Json::value_t::array: {
      if (depth >= kMaxDepth) return Result::failure("nesting too deep");
      EncodableList list;
      list.reserve(json.size());
      for (const auto& element : json) {
        auto value = fromJsonAt(element, depth + 1);
        if (!value) return value;
        list.push_back(std::move(value).value());
      }
      return EncodableValue(std::move(list));
    }
    case Json::value_t::object: {
      if (depth >= kMaxDepth) return Result::failure("nesting too deep");
      if (json.size() == 1 && !json.begin().key().empty() && json.begin().key()[0] == '$') {
        return typedFromJson(json.begin().key(), json.begin().value(), depth);
      }
      EncodableMap map;
      for (const auto& [key, element] : json.items()) {
        auto value = fromJsonAt(element, depth + 1);
        if (!value) return value;
        map.insert_or_assign(EncodableValue(key), std::move(value).value());
      }
      return EncodableValue(std::move(map));
    }
    default:  // binary and discarded values never come out of the text parser
      return Result::failure("unsupported JSON value");
  }
}

}  // namespace

Json toJson(const EncodableValue& value) {
  return std::visit(
      [](const auto& v) -> Json {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return nullptr;
        } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, int32_t> || std::is_same_v<T, std::string>) {
          return v;
        } else if constexpr (std::is_same_v<T, int64_t>) {
          bool fitsInt32 = v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
          return fitsInt32 ? typed("$int64", v) : Json(v);
        } else if constexpr (std::is_same_v<T, double>) {
          return std::isfinite(v) ? Json(v) : typed("$double", floatToJson(v));
        } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
          return typed("$bytes", listToJson(v));
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>>) {
          return typed("$int32s", listToJson(v));
        } else if constexpr (std::is_same_v<T, std::vector<int64_t>>) {
          return typed("$int64s", listToJson(v));
        } else if constexpr (std::is_same_v<T, std::vector<double>>) {
          return typed("$float64s", listToJson(v));
        } else if constexpr (std::is_same_v<T, std::vector<float>>) {
          return typed("$float32s", listToJson(v));
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          Json array = Json::array();
          for (const auto& element : v) array.push_back(toJson(element));
          return array;
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          if (plainObjectKeys(v)) {
            Json object = Json::object();
            for (const auto& [key, element] : v) object[std::get<std::string>(key)] = toJson(element);
            return object;
          }
          Json pairs = Json::array();
          for (const auto& [key, element] : v) pairs.push_back(Json::array({toJson(key), toJson(element)}));
          return typed("$map", std::move(pairs));
        } else {
          static_assert(sizeof(T) == 0, "every alternative of EncodableValue needs a JSON form");
        }
      },
      static_cast<const flutter::EncodableVariant&>(value));
}

Json toJson(const flutter::FlutterError& error) {
  return Json{{"code", error.code}, {"message", error.message}, {"details", toJson(error.details)}};
}

DecodeResult<EncodableValue> fromJson(const Json& json) { return fromJsonAt(json, 0); }

int jsonNestingDepth(std::string_view text) {
  int depth = 0;
  int deepest = 0;
  bool inString = false;
  bool escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

}  // namespace engine::driver
