#include "Runner/embedding/standard_codec.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>

// A counting allocator for this test binary: while a measurement runs it keeps the peak of
// the heap bytes live, and refuses to go beyond a budget as a memory limit would, so that a
// decoder that over-reserves fails here instead of taking GiBs of the machine.
namespace heap {
bool counting = false;
int64_t live = 0;
int64_t peak = 0;
constexpr int64_t kBudget = int64_t{512} << 20;

void start() {
  live = peak = 0;
  counting = true;
}
int64_t stop() {
  counting = false;
  return peak;
}
}  // namespace heap

void* operator new(std::size_t size) {
  if (heap::counting && heap::live + static_cast<int64_t>(size) > heap::kBudget) throw std::bad_alloc();
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  if (heap::counting) {
    heap::live += static_cast<int64_t>(malloc_usable_size(block));
    if (heap::live > heap::peak) heap::peak = heap::live;
  }
  return block;
}

void operator delete(void* block) noexcept {
  if (block != nullptr && heap::counting) heap::live -= static_cast<int64_t>(malloc_usable_size(block));
  std::free(block);
}

void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

namespace flutter {
namespace {

Bytes encode(const EncodableValue& value) { return StandardMessageCodec::encodeMessage(value); }

EncodableValue roundTrip(const EncodableValue& value) {
  auto decoded = StandardMessageCodec::decodeMessage(encode(value));
  EXPECT_TRUE(decoded.ok()) << decoded.error();
  return decoded.ok() ? decoded.value() : EncodableValue();
}

Bytes withText(Bytes prefix, const std::string& text) {
  prefix.insert(prefix.end(), text.begin(), text.end());
  return prefix;
}

// A message that uses every tag, nesting and alignment, for the truncation and mutation runs.
EncodableValue everything() {
  return EncodableList{
      EncodableValue(),
      true,
      false,
      int32_t{-7},
      int64_t{1} << 40,
      2.5,
      "text ü",
      std::vector<uint8_t>{1, 2, 3},
      std::vector<int32_t>{-1, 5},
      std::vector<int64_t>{9},
      std::vector<double>{0.5, -1.25},
      std::vector<float>{1.5f},
      EncodableMap{{"ip", "192.168.1.7"}, {"success", true}, {int32_t{3}, EncodableList{EncodableValue()}}},
  };
}

// ---- the bytes the engine's own codecs write ----

TEST(StandardCodecBytes, MatchTheEngineForTheKnownCases) {
  EXPECT_EQ(encode(int32_t{0x12345678}), (Bytes{0x03, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(encode(EncodableList{}), (Bytes{0x0c, 0x00}));
  EXPECT_EQ(StandardMethodCodec::encodeSuccessEnvelope({}), (Bytes{0x00, 0x00}));
  EXPECT_EQ(StandardMethodCodec::encodeSuccessEnvelope(int32_t{42}), (Bytes{0x00, 0x03, 0x2a, 0x00, 0x00, 0x00}));
  EXPECT_EQ(encode("hello world"), withText({0x07, 0x0b}, "hello world"));
  EXPECT_EQ(encode(EncodableValue()), (Bytes{0x00}));
  EXPECT_EQ(encode(true), (Bytes{0x01}));
  EXPECT_EQ(encode(false), (Bytes{0x02}));
}

TEST(StandardCodecBytes, SizesUseOneThreeOrFiveBytes) {
  EXPECT_EQ(encode(std::string(253, 'a'))[1], 253);
  Bytes medium = encode(std::string(254, 'a'));
  EXPECT_EQ((Bytes{medium[1], medium[2], medium[3]}), (Bytes{254, 254, 0}));
  Bytes large = encode(std::string(0x10000, 'a'));
  EXPECT_EQ((Bytes{large[1], large[2], large[3], large[4], large[5]}), (Bytes{255, 0, 0, 1, 0}));
  EXPECT_EQ(large.size(), 6u + 0x10000);
  for (size_t size : {253u, 254u, 0xFFFFu, 0x10000u}) {
    EXPECT_EQ(std::get<std::string>(roundTrip(std::string(size, 'x'))).size(), size);
  }
}

TEST(StandardCodecBytes, AlignmentCountsFromTheStartOfTheWholeMessage) {
  // Tag at 0, padding to 8, value at 8.
  EXPECT_EQ(encode(2.0).size(), 16u);
  // In an envelope the tag sits at 1, so the padding is one byte shorter.
  Bytes envelope = StandardMethodCodec::encodeSuccessEnvelope(2.0);
  ASSERT_EQ(envelope.size(), 16u);
  EXPECT_EQ((Bytes(envelope.begin(), envelope.begin() + 8)), (Bytes{0, 6, 0, 0, 0, 0, 0, 0}));
  double value = 0;
  std::memcpy(&value, envelope.data() + 8, 8);
  EXPECT_EQ(value, 2.0);
  auto decoded = StandardMethodCodec::decodeReply(envelope);
  ASSERT_TRUE(decoded.ok()) << decoded.error();
  EXPECT_EQ(std::get<EncodableValue>(decoded.value()), EncodableValue(2.0));
  // Inside a list: tag 0c, size, tag 06 at 2, padding to 8.
  EXPECT_EQ(encode(EncodableList{1.0}).size(), 16u);
}

TEST(StandardCodecBytes, TypedListsPadEvenWhenEmpty) {
  EXPECT_EQ(encode(std::vector<int64_t>{}), (Bytes{0x0a, 0x00, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(encode(std::vector<int32_t>{}), (Bytes{0x09, 0x00, 0, 0}));
  EXPECT_EQ(encode(std::vector<float>{}), (Bytes{0x0e, 0x00, 0, 0}));
  EXPECT_EQ(encode(std::vector<uint8_t>{}), (Bytes{0x08, 0x00}));
  EXPECT_EQ(encode(std::vector<int32_t>{1}), (Bytes{0x09, 0x01, 0, 0, 1, 0, 0, 0}));
}

TEST(StandardCodecBytes, MethodCallsAndEnvelopes) {
  Bytes call = StandardMethodCodec::encodeMethodCall(FlutterMethodCall("onQuitAttempt", EncodableValue()));
  Bytes expected = withText({0x07, 13}, "onQuitAttempt");
  expected.push_back(0x00);
  EXPECT_EQ(call, expected);

  Bytes error = StandardMethodCodec::encodeErrorEnvelope(FlutterError{"E", "", EncodableValue()});
  EXPECT_EQ(error, (Bytes{0x01, 0x07, 0x01, 'E', 0x00, 0x00}));
  EXPECT_TRUE(StandardMethodCodec::encodeReply(FlutterMethodNotImplemented).empty());
  // The Dart side may add a stack trace as a fourth value.
  StandardMessageCodec::writeValue(error, "at main.dart:1");
  EXPECT_TRUE(StandardMethodCodec::decodeReply(error).ok());
}

// ---- round trips ----

TEST(StandardCodecRoundTrip, EveryKindOfValueComesBackUnchanged) {
  EXPECT_EQ(roundTrip(everything()), everything());
  EXPECT_EQ(roundTrip(int64_t{-1}), EncodableValue(int64_t{-1}));
  EXPECT_EQ(roundTrip(std::nan("")).index(), EncodableValue(0.0).index());
  EXPECT_EQ(roundTrip("").index(), EncodableValue("").index());
  // An empty message is null.
  auto empty = StandardMessageCodec::decodeMessage({});
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty.value().IsNull());
}

TEST(StandardCodecRoundTrip, MethodCallsAndReplies) {
  FlutterMethodCall call("launchAtStartupSetEnabled", EncodableMap{{"isEnabled", true}});
  auto decoded = StandardMethodCodec::decodeMethodCall(StandardMethodCodec::encodeMethodCall(call));
  ASSERT_TRUE(decoded.ok()) << decoded.error();
  EXPECT_EQ(decoded.value().method(), call.method());
  EXPECT_EQ(decoded.value().arguments(), call.arguments());

  for (const FlutterReply& reply : {FlutterReply(EncodableValue(true)), FlutterReply(FlutterMethodNotImplemented),
                                    FlutterReply(FlutterError{"busy", "try later", EncodableMap{{"n", int32_t{1}}}}),
                                    FlutterReply(FlutterError{"bare", "", EncodableValue()})}) {
    auto back = StandardMethodCodec::decodeReply(StandardMethodCodec::encodeReply(reply));
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(back.value(), reply);
  }
}

// ---- hostile input ----

TEST(StandardCodecMalformed, EveryTruncationIsRefused) {
  Bytes full = encode(everything());
  for (size_t length = 1; length < full.size(); ++length) {
    // Copied so that AddressSanitizer sees the real end of the buffer.
    Bytes prefix(full.begin(), full.begin() + static_cast<long>(length));
    EXPECT_FALSE(StandardMessageCodec::decodeMessage(prefix).ok()) << "length " << length;
  }
  Bytes reply = StandardMethodCodec::encodeErrorEnvelope(FlutterError{"c", "m", everything()});
  for (size_t length = 1; length < reply.size(); ++length) {
    Bytes prefix(reply.begin(), reply.begin() + static_cast<long>(length));
    EXPECT_FALSE(StandardMethodCodec::decodeReply(prefix).ok()) << "length " << length;
  }
}

TEST(StandardCodecMalformed, BadTagsSizesAndTrailingBytesAreRefusedWithAReason) {
  struct Case {
    const char* what;
    Bytes bytes;
  };
  const Case cases[] = {
      {"unknown tag", {15}},
      {"extension tag", {128}},
      {"list size beyond message", {0x0c, 0x05, 0x00}},
      {"huge list size", {0x0c, 255, 0xff, 0xff, 0xff, 0xff, 0x00}},
      {"huge typed list size", {0x0a, 255, 0xff, 0xff, 0xff, 0x7f, 0, 0}},
      {"huge map size", {0x0d, 255, 0xff, 0xff, 0xff, 0xff}},
      {"string size beyond message", {0x07, 0x03, 'a'}},
      {"truncated medium size", {0x07, 254, 0x01}},
      {"trailing byte", {0x00, 0x00}},
      {"overlong UTF-8", {0x07, 0x02, 0xc0, 0xaf}},
      {"UTF-8 surrogate", {0x07, 0x03, 0xed, 0xa0, 0x80}},
      {"cut UTF-8 sequence", {0x07, 0x01, 0xe2}},
  };
  for (const auto& c : cases) {
    auto decoded = StandardMessageCodec::decodeMessage(c.bytes);
    EXPECT_FALSE(decoded.ok()) << c.what;
    EXPECT_FALSE(decoded.error().empty()) << c.what;
  }
}

TEST(StandardCodecMalformed, MethodCallsAndEnvelopesOfTheWrongShape) {
  EXPECT_FALSE(StandardMethodCodec::decodeMethodCall(encode(int32_t{1})).ok()) << "name is not a string";
  EXPECT_FALSE(StandardMethodCodec::decodeMethodCall(encode("name")).ok()) << "arguments missing";
  Bytes trailing = StandardMethodCodec::encodeMethodCall(FlutterMethodCall("m", EncodableValue()));
  trailing.push_back(0);
  EXPECT_FALSE(StandardMethodCodec::decodeMethodCall(trailing).ok());
  EXPECT_FALSE(StandardMethodCodec::decodeMethodCall({}).ok());

  EXPECT_FALSE(StandardMethodCodec::decodeReply(Bytes{2, 0}).ok()) << "unknown envelope byte";
  EXPECT_FALSE(StandardMethodCodec::decodeReply(Bytes{0}).ok()) << "success without a value";
  EXPECT_FALSE(StandardMethodCodec::decodeReply(Bytes{0, 0, 0}).ok()) << "trailing byte";
  Bytes badCode{1};
  StandardMessageCodec::writeValue(badCode, int32_t{1});
  badCode.insert(badCode.end(), {0, 0});
  EXPECT_FALSE(StandardMethodCodec::decodeReply(badCode).ok()) << "error code is not a string";
  Bytes tooLong = StandardMethodCodec::encodeErrorEnvelope(FlutterError{"c", "m", EncodableValue()});
  tooLong.insert(tooLong.end(), {0, 0});
  EXPECT_FALSE(StandardMethodCodec::decodeReply(tooLong).ok()) << "a fifth value";
}

TEST(StandardCodecMalformed, NestingIsCapped) {
  auto nested = [](int depth, uint8_t tag) {
    Bytes bytes;
    for (int i = 0; i < depth; ++i) {
      bytes.push_back(tag);
      bytes.push_back(1);
      if (tag == 0x0d) bytes.push_back(0x00);  // key null, value nests
    }
    bytes.push_back(0x00);
    return bytes;
  };
  const int cap = StandardMessageCodec::kMaxNestingDepth;
  EXPECT_TRUE(StandardMessageCodec::decodeMessage(nested(cap, 0x0c)).ok());
  EXPECT_FALSE(StandardMessageCodec::decodeMessage(nested(cap + 1, 0x0c)).ok());
  EXPECT_FALSE(StandardMessageCodec::decodeMessage(nested(100000, 0x0c)).ok());
  EXPECT_FALSE(StandardMessageCodec::decodeMessage(nested(100000, 0x0d)).ok());
}

// Lists (tag 0x0c) nested `depth` deep, each claiming as many elements as there are bytes
// after its own size, then nulls up to `size` bytes: each claim alone fits the message.
Bytes overclaimingNest(int depth, size_t size) {
  Bytes bytes;
  for (int i = 0; i < depth; ++i) {
    bytes.push_back(0x0c);
    bytes.push_back(255);
    const auto claim = static_cast<uint32_t>(size - bytes.size() - sizeof(uint32_t));
    const auto* raw = reinterpret_cast<const uint8_t*>(&claim);
    bytes.insert(bytes.end(), raw, raw + sizeof(claim));
  }
  bytes.resize(size, 0x00);
  return bytes;
}

TEST(StandardCodecMalformed, NoMessageMakesTheDecoderAllocateMoreThanOneValuePerByte) {
  // A quarter of the size for the list that is read to its end, which is slow in a debug build.
  constexpr size_t kSize = size_t{1} << 20;
  Bytes flatNulls{0x0c, 255};
  const auto count = static_cast<uint32_t>(kSize / 4 - 6);
  const auto* raw = reinterpret_cast<const uint8_t*>(&count);
  flatNulls.insert(flatNulls.end(), raw, raw + sizeof(count));
  flatNulls.resize(kSize / 4, 0x00);
  struct Case {
    const char* what;
    Bytes bytes;
    bool valid;
  };
  const Case cases[] = {
      {"lists nested to the cap, each claiming the whole message",
       overclaimingNest(StandardMessageCodec::kMaxNestingDepth, kSize), false},
      {"one list of nulls, the most values a message can hold", flatNulls, true},
  };
  // Room for the error text and the allocator's rounding of a large block.
  constexpr int64_t kSlack = 64 << 10;
  for (const auto& c : cases) {
    heap::start();
    auto decoded = StandardMessageCodec::decodeMessage(c.bytes);
    const int64_t peak = heap::stop();
    EXPECT_EQ(decoded.ok(), c.valid) << c.what << ": " << decoded.error();
    EXPECT_LE(peak, static_cast<int64_t>(sizeof(EncodableValue) * c.bytes.size()) + kSlack) << c.what;
    std::printf("%s: %zu bytes, %lld bytes allocated at most\n", c.what, c.bytes.size(), static_cast<long long>(peak));
  }
}

TEST(StandardCodecMalformed, RandomMutationsNeverCrash) {
  const Bytes seed = StandardMethodCodec::encodeErrorEnvelope(FlutterError{"code", "message", everything()});
  std::mt19937 random(1234);  // fixed seed: the same run every time
  for (int round = 0; round < 5000; ++round) {
    Bytes bytes = seed;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
    bytes.resize(random() % (bytes.size() + 1));
    (void)StandardMethodCodec::decodeReply(bytes);
    (void)StandardMethodCodec::decodeMethodCall(bytes);
    (void)StandardMessageCodec::decodeMessage(bytes);
  }
}

}  // namespace
}  // namespace flutter
