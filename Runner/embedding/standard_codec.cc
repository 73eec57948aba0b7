#include "Runner/embedding/standard_codec.h"

#include <cstring>
#include <limits>
#include <type_traits>

namespace flutter {
namespace {

enum Tag : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,
  kFloat64 = 6,
  kString = 7,
  kUint8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

constexpr uint8_t kEnvelopeSuccess = 0;
constexpr uint8_t kEnvelopeError = 1;

// ---- writing ----

template <typename T>
void putRaw(Bytes& out, T value) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  out.insert(out.end(), bytes, bytes + sizeof(T));
}

void align(Bytes& out, size_t alignment) {
  while (out.size() % alignment != 0) out.push_back(0);
}

void putSize(Bytes& out, size_t size) {
  if (size < 254) {
    out.push_back(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    out.push_back(254);
    putRaw(out, static_cast<uint16_t>(size));
  } else {
    out.push_back(255);
    putRaw(out, static_cast<uint32_t>(size));
  }
}

template <typename T>
void putTypedList(Bytes& out, Tag tag, const std::vector<T>& list) {
  out.push_back(tag);
  putSize(out, list.size());
  // Padding is written even for an empty list, as the engine's codecs do.
  align(out, sizeof(T));
  if (list.empty()) return;
  const auto* first = reinterpret_cast<const uint8_t*>(list.data());
  out.insert(out.end(), first, first + list.size() * sizeof(T));
}

// ---- reading ----

class Reader {
 public:
  Reader(ByteView bytes, size_t& offset) : bytes_(bytes), offset_(offset) {}

  size_t left() const { return offset_ <= bytes_.size() ? bytes_.size() - offset_ : 0; }

  // Elements that the lists and maps being read still expect each take at least one byte of
  // what is left (claim on entering a list or map, release as each element starts). What
  // the claims leave over bounds the size of the next list or map, so that all the lists
  // open at once reserve room for no more elements than the message has bytes.
  size_t unclaimed() const { return claimed_ < left() ? left() - claimed_ : 0; }
  void claim(size_t bytes) { claimed_ += bytes; }
  void release(size_t bytes) { claimed_ -= bytes; }

  bool byte(uint8_t& value) {
    if (left() < 1) return false;
    value = bytes_[offset_++];
    return true;
  }

  template <typename T>
  bool raw(T& value) {
    if (left() < sizeof(T)) return false;
    std::memcpy(&value, bytes_.data() + offset_, sizeof(T));
    offset_ += sizeof(T);
    return true;
  }

  bool align(size_t alignment) {
    size_t padding = (alignment - offset_ % alignment) % alignment;
    if (left() < padding) return false;
    offset_ += padding;
    return true;
  }

  bool size(size_t& value) {
    uint8_t first = 0;
    if (!byte(first)) return false;
    if (first < 254) {
      value = first;
      return true;
    }
    if (first == 254) {
      uint16_t size16 = 0;
      if (!raw(size16)) return false;
      value = size16;
      return true;
    }
    uint32_t size32 = 0;
    if (!raw(size32)) return false;
    value = size32;
    return true;
  }

  bool bytes(size_t count, const uint8_t*& start) {
    if (left() < count) return false;
    start = bytes_.data() + offset_;
    offset_ += count;
    return true;
  }

  size_t offset() const { return offset_; }

 private:
  ByteView bytes_;
  size_t& offset_;
  size_t claimed_ = 0;
};

bool isValidUtf8(const uint8_t* text, size_t length) {
  size_t i = 0;
  while (i < length) {
    uint8_t lead = text[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t extra = 0;
    uint32_t codePoint = 0;
    if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      codePoint = lead & 0x07;
    } else {
      return false;
    }
    if (length - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      uint8_t next = text[i + k];
      if ((next & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[extra]) return false;                // overlong
    if (codePoint > 0x10FFFF) return false;                        // beyond Unicode
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return false;  // surrogate
    i += extra + 1;
  }
  return true;
}

using ValueResult = DecodeResult<EncodableValue>;

std::string at(const Reader& reader, const std::string& what) {
  return what + " at byte " + std::to_string(reader.offset());
}

template <typename T>
ValueResult readTypedList(Reader& reader) {
  size_t count = 0;
  if (!reader.size(count)) return ValueResult::failure(at(reader, "truncated list size"));
  if (!reader.align(sizeof(T))) return ValueResult::failure(at(reader, "truncated list padding"));
  // Compared by division so a huge count cannot overflow the product.
  if (count > reader.left() / sizeof(T)) return ValueResult::failure(at(reader, "list size exceeds message"));
  const uint8_t* start = nullptr;
  reader.bytes(count * sizeof(T), start);
  std::vector<T> list(count);
  if (count > 0) std::memcpy(list.data(), start, count * sizeof(T));
  return EncodableValue(std::move(list));
}

ValueResult readString(Reader& reader) {
  size_t length = 0;
  const uint8_t* start = nullptr;
  if (!reader.size(length)) return ValueResult::failure(at(reader, "truncated string size"));
  if (!reader.bytes(length, start)) return ValueResult::failure(at(reader, "string size exceeds message"));
  if (!isValidUtf8(start, length)) return ValueResult::failure(at(reader, "string is not UTF-8"));
  return EncodableValue(std::string(reinterpret_cast<const char*>(start), length));
}

ValueResult readValue(Reader& reader, int depth) {
  uint8_t tag = 0;
  if (!reader.byte(tag)) return ValueResult::failure(at(reader, "truncated: value expected"));
  switch (tag) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32: {
      int32_t value = 0;
      if (!reader.raw(value)) return ValueResult::failure(at(reader, "truncated int32"));
      return EncodableValue(value);
    }
    case kInt64: {
      int64_t value = 0;
      if (!reader.raw(value)) return ValueResult::failure(at(reader, "truncated int64"));
      return EncodableValue(value);
    }
    case kFloat64: {
      double value = 0;
      if (!reader.align(8) || !reader.raw(value)) return ValueResult::failure(at(reader, "truncated float64"));
      return EncodableValue(value);
    }
    case kLargeInt:  // written by old encoders as the number's text
    case kString:
      return readString(reader);
    case kUint8List:
      return readTypedList<uint8_t>(reader);
    case kInt32List:
      return readTypedList<int32_t>(reader);
    case kInt64List:
      return readTypedList<int64_t>(reader);
    case kFloat64List:
      return readTypedList<double>(reader);
    case kFloat32List:
      return readTypedList<float>(reader);
    case kList:
    case kMap: {
      if (depth >= StandardMessageCodec::kMaxNestingDepth) return ValueResult::failure(at(reader, "nesting too deep"));
      size_t count = 0;
      if (!reader.size(count)) return ValueResult::failure(at(reader, "truncated size"));
      // Every element takes at least one byte (two for a pair), beside those that the
      // enclosing lists and maps still expect: refuse before reserving. Measured against
      // the bytes left alone, each of 64 nested lists could reserve room for the whole
      // message, several GiB for a 1 MiB message.
      const size_t perElement = tag == kMap ? 2 : 1;
      if (count > reader.unclaimed() / perElement) return ValueResult::failure(at(reader, "size exceeds message"));
      reader.claim(count * perElement);
      if (tag == kList) {
        EncodableList list;
        list.reserve(count);
        for (size_t i = 0; i < count; ++i) {
          reader.release(1);
          auto element = readValue(reader, depth + 1);
          if (!element) return element;
          list.push_back(std::move(element).value());
        }
        return EncodableValue(std::move(list));
      }
      EncodableMap map;
      for (size_t i = 0; i < count; ++i) {
        reader.release(1);
        auto key = readValue(reader, depth + 1);
        if (!key) return key;
        reader.release(1);
        auto value = readValue(reader, depth + 1);
        if (!value) return value;
        // A repeated key keeps the last value, as a map literal would.
        map.insert_or_assign(std::move(key).value(), std::move(value).value());
      }
      return EncodableValue(std::move(map));
    }
    default:
      return ValueResult::failure("unsupported value tag " + std::to_string(tag) + " at byte " +
                                  std::to_string(reader.offset() - 1));
  }
}

std::string trailingBytes(ByteView message, size_t offset) {
  return std::to_string(message.size() - offset) + " trailing byte(s) after byte " + std::to_string(offset);
}

}  // namespace

// ---- StandardMessageCodec ----

void StandardMessageCodec::writeValue(Bytes& out, const EncodableValue& value) {
  std::visit(
      [&out](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          out.push_back(kNull);
        } else if constexpr (std::is_same_v<T, bool>) {
          out.push_back(v ? kTrue : kFalse);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          out.push_back(kInt32);
          putRaw(out, v);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          out.push_back(kInt64);
          putRaw(out, v);
        } else if constexpr (std::is_same_v<T, double>) {
          out.push_back(kFloat64);
          align(out, 8);
          putRaw(out, v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          out.push_back(kString);
          putSize(out, v.size());
          out.insert(out.end(), v.begin(), v.end());
        } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
          putTypedList(out, kUint8List, v);
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>>) {
          putTypedList(out, kInt32List, v);
        } else if constexpr (std::is_same_v<T, std::vector<int64_t>>) {
          putTypedList(out, kInt64List, v);
        } else if constexpr (std::is_same_v<T, std::vector<double>>) {
          putTypedList(out, kFloat64List, v);
        } else if constexpr (std::is_same_v<T, std::vector<float>>) {
          putTypedList(out, kFloat32List, v);
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          out.push_back(kList);
          putSize(out, v.size());
          for (const auto& element : v) writeValue(out, element);
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          out.push_back(kMap);
          putSize(out, v.size());
          for (const auto& [key, element] : v) {
            writeValue(out, key);
            writeValue(out, element);
          }
        } else {
          static_assert(sizeof(T) == 0, "every alternative of EncodableValue needs an encoding");
        }
      },
      static_cast<const EncodableVariant&>(value));
}

DecodeResult<EncodableValue> StandardMessageCodec::readValue(ByteView message, size_t& offset) {
  Reader reader(message, offset);
  return flutter::readValue(reader, 0);
}

Bytes StandardMessageCodec::encodeMessage(const EncodableValue& value) {
  Bytes out;
  writeValue(out, value);
  return out;
}

DecodeResult<EncodableValue> StandardMessageCodec::decodeMessage(ByteView message) {
  if (message.empty()) return EncodableValue();
  size_t offset = 0;
  auto value = readValue(message, offset);
  if (value && offset != message.size()) return DecodeResult<EncodableValue>::failure(trailingBytes(message, offset));
  return value;
}

// ---- StandardMethodCodec ----

Bytes StandardMethodCodec::encodeMethodCall(const FlutterMethodCall& call) {
  Bytes out;
  StandardMessageCodec::writeValue(out, EncodableValue(call.method()));
  StandardMessageCodec::writeValue(out, call.arguments());
  return out;
}

DecodeResult<FlutterMethodCall> StandardMethodCodec::decodeMethodCall(ByteView message) {
  using Result = DecodeResult<FlutterMethodCall>;
  size_t offset = 0;
  auto name = StandardMessageCodec::readValue(message, offset);
  if (!name) return Result::failure("method name: " + name.error());
  if (!std::holds_alternative<std::string>(name.value())) return Result::failure("method name is not a string");
  auto arguments = StandardMessageCodec::readValue(message, offset);
  if (!arguments) return Result::failure("arguments: " + arguments.error());
  if (offset != message.size()) return Result::failure(trailingBytes(message, offset));
  return FlutterMethodCall(std::get<std::string>(std::move(name).value()), std::move(arguments).value());
}

Bytes StandardMethodCodec::encodeSuccessEnvelope(const EncodableValue& value) {
  Bytes out{kEnvelopeSuccess};
  StandardMessageCodec::writeValue(out, value);
  return out;
}

Bytes StandardMethodCodec::encodeErrorEnvelope(const FlutterError& error) {
  Bytes out{kEnvelopeError};
  StandardMessageCodec::writeValue(out, EncodableValue(error.code));
  // The engine's codecs write an absent message as null; ours carries a string, and an
  // empty one means "no message".
  StandardMessageCodec::writeValue(out, error.message.empty() ? EncodableValue() : EncodableValue(error.message));
  StandardMessageCodec::writeValue(out, error.details);
  return out;
}

Bytes StandardMethodCodec::encodeReply(const FlutterReply& reply) {
  if (const auto* value = std::get_if<EncodableValue>(&reply)) return encodeSuccessEnvelope(*value);
  if (const auto* error = std::get_if<FlutterError>(&reply)) return encodeErrorEnvelope(*error);
  return {};
}

DecodeResult<FlutterReply> StandardMethodCodec::decodeReply(ByteView envelope) {
  using Result = DecodeResult<FlutterReply>;
  if (envelope.empty()) return FlutterReply(FlutterMethodNotImplemented);
  size_t offset = 1;
  if (envelope[0] == kEnvelopeSuccess) {
    auto value = StandardMessageCodec::readValue(envelope, offset);
    if (!value) return Result::failure("success envelope: " + value.error());
    if (offset != envelope.size()) return Result::failure(trailingBytes(envelope, offset));
    return FlutterReply(std::move(value).value());
  }
  if (envelope[0] != kEnvelopeError) {
    return Result::failure("unknown envelope byte " + std::to_string(envelope[0]));
  }
  auto code = StandardMessageCodec::readValue(envelope, offset);
  if (!code) return Result::failure("error code: " + code.error());
  if (!std::holds_alternative<std::string>(code.value())) return Result::failure("error code is not a string");
  auto message = StandardMessageCodec::readValue(envelope, offset);
  if (!message) return Result::failure("error message: " + message.error());
  if (!message.value().IsNull() && !std::holds_alternative<std::string>(message.value())) {
    return Result::failure("error message is neither a string nor null");
  }
  auto details = StandardMessageCodec::readValue(envelope, offset);
  if (!details) return Result::failure("error details: " + details.error());
  if (offset != envelope.size()) {
    auto stackTrace = StandardMessageCodec::readValue(envelope, offset);
    if (!stackTrace) return Result::failure("error stack trace: " + stackTrace.error());
    if (!stackTrace.value().IsNull() && !std::holds_alternative<std::string>(stackTrace.value())) {
      return Result::failure("error stack trace is neither a string nor null");
    }
    if (offset != envelope.size()) return Result::failure(trailingBytes(envelope, offset));
  }
  FlutterError error;
  error.code = std::get<std::string>(std::move(code).value());
  if (!message.value().IsNull()) error.message = std::get<std::string>(std::move(message).value());
  error.details = std::move(details).value();
  return FlutterReply(std::move(error));
}

}  // namespace flutter
