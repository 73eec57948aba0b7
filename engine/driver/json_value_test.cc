#include "engine/driver/json_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace engine::driver {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using Json = nlohmann::json;

EncodableValue parse(const char* text) {
  auto value = fromJson(Json::parse(text));
  EXPECT_TRUE(value.ok()) << text << ": " << value.error();
  return value.ok() ? value.value() : EncodableValue();
}

TEST(JsonValue, PlainJsonMapsToTheValuesTheHostUses) {
  EXPECT_EQ(parse(R"({"ip":"192.168.1.4","success":true,"none":null})"),
            EncodableValue(EncodableMap{{"ip", "192.168.1.4"}, {"success", true}, {"none", EncodableValue()}}));
  EXPECT_EQ(parse("[1, -2147483648, 2147483648, 1.5, 2.0]"),
            EncodableValue(EncodableList{int32_t{1}, int32_t{-2147483648}, int64_t{2147483648}, 1.5, 2.0}));
  EXPECT_EQ(toJson(EncodableMap{{"ip", "10.0.0.1"}, {"success", false}}),
            Json::parse(R"({"ip":"10.0.0.1","success":false})"));
  EXPECT_EQ(toJson(EncodableValue()), Json(nullptr));
}

TEST(JsonValue, EveryCodecValueSurvivesTheRoundTrip) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const EncodableValue values[] = {
      int64_t{5},
      int64_t{1} << 40,
      std::numeric_limits<double>::infinity(),
      -std::numeric_limits<double>::infinity(),
      std::vector<uint8_t>{0, 255},
      std::vector<int32_t>{-1, 7},
      std::vector<int64_t>{int64_t{1} << 50},
      std::vector<double>{0.25, std::numeric_limits<double>::infinity()},
      std::vector<float>{1.5f},
      EncodableMap{{int32_t{1}, "one"}, {EncodableValue(), true}},
      EncodableMap{{"$bytes", "a plain key that looks typed"}},
      EncodableMap{{"$a", 1}, {"$b", 2}},
      EncodableList{EncodableMap{{"nested", EncodableList{}}}, ""},
  };
  for (const auto& value : values) {
    Json json = toJson(value);
    auto back = fromJson(Json::parse(json.dump()));
    ASSERT_TRUE(back.ok()) << json.dump() << ": " << back.error();
    EXPECT_EQ(back.value(), value) << json.dump();
  }
  auto back = fromJson(Json::parse(toJson(nan).dump()));
  ASSERT_TRUE(back.ok());
  EXPECT_TRUE(std::isnan(std::get<double>(back.value())));
}

TEST(JsonValue, BadTypedFormsAndOutOfRangeNumbersAreRefused) {
  const char* bad[] = {
      R"({"$unknown": 1})",           R"({"$bytes": [256]})", R"({"$bytes": [-1]})",   R"({"$bytes": "not a list"})",
      R"({"$int32s": [2147483648]})", R"({"$int64": 1.5})",   R"({"$double": "nan"})", R"({"$map": [[1]]})",
      R"({"$map": {"a": 1}})",        "18446744073709551615",
  };
  for (const char* text : bad) {
    auto value = fromJson(Json::parse(text));
    EXPECT_FALSE(value.ok()) << text;
    EXPECT_FALSE(value.error().empty()) << text;
  }
}

TEST(JsonValue, NestingIsCappedBothWays) {
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "[";
  for (int i = 0; i < 200; ++i) deep += "]";
  EXPECT_FALSE(fromJson(Json::parse(deep)).ok());
  EXPECT_EQ(jsonNestingDepth(deep), 200);
  EXPECT_EQ(jsonNestingDepth(R"({"a":"[[[\"[[["})"), 1) << "brackets inside strings do not count";
}

}  // namespace
}  // namespace engine::driver
