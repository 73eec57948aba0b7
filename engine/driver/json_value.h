#pragma once

#include <nlohmann/json.hpp>

#include "Runner/embedding/encodable_value.h"
#include "Runner/embedding/flutter_error.h"
#include "Runner/embedding/standard_codec.h"

namespace engine::driver {

// The driver's JSON form of a channel value. Plain JSON covers what the host uses:
//   null, true/false, strings, arrays (lists) and objects (maps with string keys);
//   integers become int32 when they fit, int64 otherwise; numbers with a fraction or an
//   exponent become float64.
// What plain JSON cannot say is written as an object with a single "$" key:
//   {"$int64": n}            an int64 that would fit in an int32
//   {"$double": x}           x is "NaN", "Infinity" or "-Infinity"
//   {"$bytes": [...]}        uint8 list        {"$int32s": [...]}   int32 list
//   {"$int64s": [...]}       int64 list        {"$float64s": [...]} float64 list
//   {"$float32s": [...]}     float32 list (float lists may hold the strings above)
//   {"$map": [[k, v], ...]}  a map with a key that is not a string, or whose only key
//                            begins with "$" (so a plain object never looks typed)
// Any other single-key object whose key begins with "$" is refused. Every value the
// standard codec carries survives toJson then fromJson unchanged.
nlohmann::json toJson(const flutter::EncodableValue& value);
nlohmann::json toJson(const flutter::FlutterError& error);

// Nesting deeper than the codec's own cap is refused.
flutter::DecodeResult<flutter::EncodableValue> fromJson(const nlohmann::json& json);

// Depth of brackets in a JSON text, counted outside strings without parsing; lets a line be
// refused before the parser builds (and later destroys) a deep tree.
int jsonNestingDepth(std::string_view text);

}  // namespace engine::driver
